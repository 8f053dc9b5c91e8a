#include "quarnkit/composite_list/model/fetch_mode.h"

#include <fmt/format.h>

namespace quarn {

namespace {
constexpr CompositeListFetchMode kModes[] = {
    CompositeListFetchMode::automatic, CompositeListFetchMode::compose,
    CompositeListFetchMode::individual, CompositeListFetchMode::skip, CompositeListFetchMode::one};
}

std::string_view rawValue(CompositeListFetchMode mode) {
  switch (mode) {
    case CompositeListFetchMode::automatic:
      return "automatic";
    case CompositeListFetchMode::compose:
      return "compose";
    case CompositeListFetchMode::individual:
      return "individual";
    case CompositeListFetchMode::skip:
      return "skip";
    case CompositeListFetchMode::one:
      return "one";
  }
  return "automatic";
}

std::optional<CompositeListFetchMode> compositeListFetchModeFromRawValue(std::string_view raw) {
  for (auto m : kModes) {
    if (rawValue(m) == raw) return m;
  }
  return std::nullopt;
}

CompositeListFetchMode Decodable<CompositeListFetchMode>::decode(Decoder& d) {
  const auto raw = d.decode<std::string>();
  if (auto m = compositeListFetchModeFromRawValue(raw)) return *m;
  throw DecodingError::dataCorrupted(
      {d.codingPath(),
       fmt::format("Cannot initialize CompositeListFetchMode from invalid String value {}", raw)});
}

void Encodable<CompositeListFetchMode>::encode(CompositeListFetchMode mode, Encoder& e) {
  e.encode(std::string(rawValue(mode)));
}

}  // namespace quarn
