#include <quarnkit/coding/json_decoder.h>
#include <quarnkit/core/value.h>

#include <cstdio>

int main() {
  const auto v = quarn::JSONDecoder().decode<quarn::Value>(R"({"ok": true})");
  std::puts(v.find("ok")->description().c_str());
  return v.find("ok")->asBool().value_or(false) ? 0 : 1;
}
