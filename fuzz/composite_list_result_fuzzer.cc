// Decodes arbitrary bytes as a composite-list result through the class map,
// then applies every result item to records of each entity shape. Any input
// must decode or fail with DecodingError; applying never fails.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "bench/composite_list_generator.h"
#include "quarnkit/composite_list/model/result.h"
#include "quarnkit/core/log.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto classMap = *quarn::bench::makeRegistry()->entityClassMap();
  static const bool quiet = (quarn::setLogLevel(quarn::LogLevel::off), true);
  (void)quiet;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  quarn::CompositeListResult result;
  try {
    result = quarn::decodeCompositeListResult(text, classMap);
  } catch (const quarn::DecodingError&) {
    return 0;
  }
  quarn::CompositeListContext context(std::make_shared<quarn::ArbitraryRandomNumberGenerator>(1));
  quarn::CompositeListSectionItem<quarn::bench::Product> single("s", "banner", std::nullopt);
  quarn::CompositeListSectionItem<std::vector<quarn::CompositeListRow>> rows("r", "rows",
                                                                             std::nullopt);
  for (const auto& item : result.items) {
    single.update(item, context);
    rows.update(item, context);
  }
  return 0;
}
