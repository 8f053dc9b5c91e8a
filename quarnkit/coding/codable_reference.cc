#include "quarnkit/coding/codable_reference.h"

namespace quarn {

const CodableReferenceStorage* codableReferenceStorage(const Decoder& d) {
  // An entry of another kind counts as missing.
  const CodingUserInfo& info = d.userInfo();
  if (const auto* s =
          info.get<std::shared_ptr<CodableReferenceStorage>>(kCodableReferenceStorageKey)) {
    return s->get();
  }
  if (const auto* s =
          info.get<std::shared_ptr<const CodableReferenceStorage>>(kCodableReferenceStorageKey)) {
    return s->get();
  }
  return nullptr;
}

namespace detail {

void throwReferenceNotFound(CodingPath path, const std::string& type, const std::string& id) {
  throw DecodingError::dataCorrupted({std::move(path), "Couldn't find " + type + " with id " + id});
}

}  // namespace detail

}  // namespace quarn
