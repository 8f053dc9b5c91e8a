// Fuzz target of the file-backed key-value store's reader: any text is read
// as a store file. Beyond not crashing, hanging or leaking, whatever it reads
// must be writable, and the written text must read back to exactly the same
// values and write again to the same text.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "quarnkit/platform/detail/key_value_file.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quarn::platform::detail;
  const auto file = readKeyValueFile(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!file) return 0;
  if (file->laterFormat) {
    check(file->values.empty());
    return 0;
  }
  const std::string written = writeKeyValueFile(file->values);
  const auto again = readKeyValueFile(written);
  check(again && !again->laterFormat && identical(again->values, file->values));
  check(writeKeyValueFile(again->values) == written);
  return 0;
}
