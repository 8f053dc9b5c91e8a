#include "quarnkit/paging/data_key_path_serializer.h"

#include <vector>

namespace quarn {

std::string AlamofireDecodableError::description() const {
  switch (kind_) {
    case Kind::invalidKeyPath:
      return "Nested object doesn't exist by this keyPath.";
    case Kind::emptyKeyPath:
      return "KeyPath can not be empty.";
    case Kind::invalidJSON:
      break;
  }
  return "Invalid nested json.";
}

namespace detail {

namespace {

using Reason = http::RequestError::SerializationFailureReason;

[[noreturn]] void fail(AlamofireDecodableError::Kind kind) { throw AlamofireDecodableError(kind); }

std::vector<std::string_view> components(std::string_view path) {
  std::vector<std::string_view> out;
  while (true) {
    const std::size_t dot = path.find('.');
    out.push_back(path.substr(0, dot));
    if (dot == std::string_view::npos) return out;
    path.remove_prefix(dot + 1);
  }
}

// Whether the value is an array or an object (what can be written as JSON
// on its own).
bool isContainer(Decoder& d) {
  if (d.decodeNil()) return false;
  try {
    (void)d.unkeyedContainer();
    return true;
  } catch (const DecodingError&) {
  }
  try {
    (void)d.container();
    return true;
  } catch (const DecodingError&) {
    return false;
  }
}

void descend(Decoder& d, const std::vector<std::string_view>& keys, std::size_t index,
             DecodeFn fn) {
  if (index == keys.size()) {
    if (!isContainer(d)) fail(AlamofireDecodableError::Kind::invalidJSON);
    fn(d);
    return;
  }
  std::unique_ptr<KeyedDecodingContainer> object;
  try {
    object = d.container();
  } catch (const DecodingError&) {
    fail(AlamofireDecodableError::Kind::invalidKeyPath);
  }
  const std::string_view key = keys[index];
  if (!object->contains(key)) fail(AlamofireDecodableError::Kind::invalidKeyPath);
  object->decodeNested(key, [&](Decoder& member) { descend(member, keys, index + 1, fn); });
}

}  // namespace

void decodeAtKeyPath(std::string_view body, const std::optional<std::string>& keyPath,
                     const JSONDecoder& decoder, DecodeFn fn) {
  try {
    if (keyPath && keyPath->empty()) fail(AlamofireDecodableError::Kind::emptyKeyPath);
    const std::vector<std::string_view> keys =
        keyPath ? components(*keyPath) : std::vector<std::string_view>();
    bool parsed = false;
    try {
      decoder.decode(body, [&](Decoder& root) {
        parsed = true;
        if (keyPath) {
          descend(root, keys, 0, fn);
        } else {
          fn(root);
        }
      });
    } catch (const DecodingError&) {
      // Before the root was reached, the text itself is not JSON.
      if (!parsed) {
        throw http::RequestError::responseSerializationFailed(Reason::jsonSerializationFailed,
                                                              std::current_exception());
      }
      throw;
    }
  } catch (const AlamofireDecodableError&) {
    throw http::RequestError::responseSerializationFailed(Reason::decodingFailed,
                                                          std::current_exception());
  } catch (const DecodingError&) {
    throw http::RequestError::responseSerializationFailed(Reason::decodingFailed,
                                                          std::current_exception());
  }
}

}  // namespace detail
}  // namespace quarn
