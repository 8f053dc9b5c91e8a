// Decodes arbitrary bytes as a composite-list template through a registry
// with built-in and host descriptions, on both device classes. Any input must
// decode or fail with DecodingError.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "bench/composite_list_generator.h"
#include "quarnkit/core/log.h"
#include "quarnkit/platform/device.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto registry = [] {
    auto r = quarn::bench::makeRegistry();
    r->register_<quarn::TemplateProvidingItemDescription>();
    return r;
  }();
  static const bool quiet = (quarn::setLogLevel(quarn::LogLevel::off), true);
  (void)quiet;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (auto idiom :
       {quarn::platform::UserInterfaceIdiom::phone, quarn::platform::UserInterfaceIdiom::tablet}) {
    quarn::platform::ScopedService<quarn::platform::Device> device(
        std::make_shared<quarn::platform::FixedDevice>(idiom));
    try {
      auto items = quarn::decodeCompositeListTemplate(text, registry);
      (void)items;
    } catch (const quarn::DecodingError&) {
    }
  }
  return 0;
}
