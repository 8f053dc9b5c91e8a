// What the JSON decoder's containers need from a parsed document, and the
// vocabulary its two back-ends share. A back-end (BoostDom, TapeDom) is a
// struct of static functions over its value handle `Value`: kind, isNull,
// getBool, getInt64, getUint64, getDouble, getString, toValue, null (the
// value of an absent member), and the classes Members (an object's members
// by position, with find by name) and Elements (an array's elements, read in
// order). Internal to the JSON decoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quarn::detail {
// Internal linkage: see json_containers.h.
namespace {

// The kinds of JSON value, as the two document back-ends report them.
enum class JSONKind : std::uint8_t { null, boolean, int64, uint64, double_, string, array, object };

inline std::string_view kindDescription(JSONKind kind) {
  switch (kind) {
    case JSONKind::null:
      return "null";
    case JSONKind::boolean:
      return "a boolean";
    case JSONKind::int64:
    case JSONKind::uint64:
    case JSONKind::double_:
      return "a number";
    case JSONKind::string:
      return "a string";
    case JSONKind::array:
      return "an array";
    case JSONKind::object:
      return "a dictionary";
  }
  return "a value";
}

inline constexpr std::size_t kNoMember = static_cast<std::size_t>(-1);

}  // namespace
}  // namespace quarn::detail
