// Fuzz target of the text templates: a random template against random values,
// in single-pass or scanner mode, with expressions off or on.
//
// Input: one byte choosing the call (bit 0: scanner mode, else single-pass;
// bit 1: expressions allowed), the template, then a NUL byte, then the
// values, one per line as
// key<kind><payload>, where kind is
//   "=" a string          "#" a number          "?" a boolean ("1" is true)
//   "~" null              ":" a list of strings, "|" between them
//   "{" a dictionary of strings, "k=v|k=v"      "[" a list of one-entry
//   dictionaries, "k=v|k=v"
// merged over a fixed set of values that refer to themselves and to each
// other, hold lists, dictionaries with "*" and dotted keys. The environment
// variable QUARNKIT_TEXT_TEMPLATE_MODE=single or =scanner fuzzes one mode
// whatever the first byte says.
//
// Each input makes one call, and the expansion bounds are small (kLimits), so
// that inputs reach them, and the code that ends expansion there, after
// little work: at the default bounds one call may make a thousand
// replacements, and an input that made all four calls touched so much code
// that libFuzzer's bookkeeping of it dominated the run.
//
// Beyond not crashing, hanging or leaking: only the documented errors come out
// (ExpressionEvaluationError from single-pass look-ups, nothing from the
// scanner), no output grows past the length bound, and a text without "${"
// comes back unchanged.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "quarnkit/composite_list/model/text_template.h"
#include "quarnkit/core/log.h"

namespace quarn::fuzz {
namespace {

constexpr TextTemplateLimits kLimits{.maxDepth = 8, .maxReplacements = 64, .maxLength = 4096};

enum class Modes { both, single, scanner };
Modes modes = Modes::both;

void check(bool condition) {
  if (!condition) std::abort();
}

const ValueDictionary& baseValues() {
  static const ValueDictionary v{
      {"name", "Ann"},
      {"self", "x${self}"},
      {"p", "${q}"},
      {"q", "${p}"},
      {"x.a", "${x.b}${x.b}"},
      {"x.b", "${x.a}"},
      {"twice", "${name}${name}"},
      {"open", "${"},
      {"close", "}${close}"},
      {"$sum", "2 * 3"},
      {"$bad", "2 +"},
      {"count", 3},
      {"ratio", 0.5},
      {"flag", true},
      {"nothing", nullptr},
      {"date", Date(1706695200)},
      {"app.version", "2.1"},
      {"items", Value::Array{"a", "${items.1}", "${name}"}},
      {"empty", Value::Array{}},
      {"people",
       Value::Array{Value{{"name", "Bo"}, {"age", 4}}, Value{{"name", "${people.0.name}"}}}},
      {"labels",
       {{"a", "A"}, {"*", "${labels.b}"}, {"nested", {{"n", Value::Array{1, "${name}"}}}}}},
  };
  return v;
}

std::size_t split(std::string_view& text, char separator, std::string_view& head) {
  const std::size_t at = text.find(separator);
  head = text.substr(0, at);
  text = at == std::string_view::npos ? std::string_view() : text.substr(at + 1);
  return at;
}

Value number(std::string_view payload) {
  std::int64_t i = 0;
  auto [end, error] = std::from_chars(payload.data(), payload.data() + payload.size(), i);
  if (error == std::errc() && end == payload.data() + payload.size()) return Value(i);
  double d = 0;
  std::from_chars(payload.data(), payload.data() + payload.size(), d);
  return Value(d);
}

ValueDictionary entries(std::string_view payload) {
  ValueDictionary out;
  while (!payload.empty()) {
    std::string_view entry, key;
    split(payload, '|', entry);
    split(entry, '=', key);
    out.set(std::string(key), std::string(entry));
  }
  return out;
}

ValueDictionary parseValues(std::string_view lines) {
  ValueDictionary values = baseValues();
  while (!lines.empty()) {
    std::string_view line;
    split(lines, '\n', line);
    const std::size_t at = line.find_first_of("=#?~:{[");
    if (at == std::string_view::npos) continue;
    const std::string key(line.substr(0, at));
    const std::string_view payload = line.substr(at + 1);
    switch (line[at]) {
      case '=':
        values.set(key, std::string(payload));
        break;
      case '#':
        values.set(key, number(payload));
        break;
      case '?':
        values.set(key, payload == "1");
        break;
      case '~':
        values.set(key, nullptr);
        break;
      case ':': {
        Value::Array list;
        for (std::string_view rest = payload, item; !rest.empty();) {
          split(rest, '|', item);
          list.emplace_back(std::string(item));
        }
        values.set(key, std::move(list));
        break;
      }
      case '{':
        values.set(key, entries(payload));
        break;
      default: {  // '['
        Value::Array list;
        for (auto& [k, v] : entries(payload)) list.emplace_back(ValueDictionary{{k, v}});
        values.set(key, std::move(list));
        break;
      }
    }
  }
  return values;
}

}  // namespace

int textTemplateOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool quiet = (setLogLevel(LogLevel::off), true);
  (void)quiet;
  if (size == 0) return 0;
  const bool scanner = modes == Modes::both ? (data[0] & 1) != 0 : modes == Modes::scanner;
  const bool expressions = (data[0] & 2) != 0;
  std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string_view text;
  split(input, '\0', text);
  const ValueDictionary values = parseValues(input);
  std::string out;
  if (scanner) {
    out = recursiveTemplateString(text, values, expressions, kLimits);  // throws nothing
  } else {
    try {
      out = templateString(text, values, expressions, false, kLimits);
    } catch (const ExpressionEvaluationError&) {
      return 0;
    }
  }
  check(out.size() <= std::max(kLimits.maxLength, text.size()));
  if (text.find("${") == std::string_view::npos) check(out == text);
  return 0;
}

}  // namespace quarn::fuzz

#ifndef QUARNKIT_FUZZ_HARNESS_ONLY
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (const char* mode = std::getenv("QUARNKIT_TEXT_TEMPLATE_MODE")) {
    const std::string_view m(mode);
    if (m == "single") quarn::fuzz::modes = quarn::fuzz::Modes::single;
    if (m == "scanner") quarn::fuzz::modes = quarn::fuzz::Modes::scanner;
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return quarn::fuzz::textTemplateOneInput(data, size);
}
#endif
