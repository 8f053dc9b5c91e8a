/// @file
/// The standard types every container reads and writes directly: strings,
/// booleans, integers of every width, both floating widths, URL, Date, Data,
/// Decimal, UUID, and Value (the generic JSON value). Every other type is coded
/// through a nested decoder or encoder.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <variant>

namespace quarn {

class URL;
class Date;
struct Data;
class Decimal;
class UUID;
class Value;

/// An output slot for one standard value.
using PrimitiveRef =
    std::variant<bool*, std::string*, double*, float*, std::int8_t*, std::int16_t*, std::int32_t*,
                 std::int64_t*, std::uint8_t*, std::uint16_t*, std::uint32_t*, std::uint64_t*, URL*,
                 Date*, Data*, Decimal*, UUID*, Value*>;

/// One standard value to write.
using PrimitiveCRef =
    std::variant<const bool*, const std::string*, const double*, const float*, const std::int8_t*,
                 const std::int16_t*, const std::int32_t*, const std::int64_t*, const std::uint8_t*,
                 const std::uint16_t*, const std::uint32_t*, const std::uint64_t*, const URL*,
                 const Date*, const Data*, const Decimal*, const UUID*, const Value*>;

/// Whether T is one of Ts.
template <class T, class... Ts>
inline constexpr bool kIsOneOf = (std::is_same_v<T, Ts> || ...);

/// True for the standard types listed above.
template <class T>
concept CodingPrimitive =
    kIsOneOf<T, bool, std::string, double, float, std::int8_t, std::int16_t, std::int32_t,
             std::int64_t, std::uint8_t, std::uint16_t, std::uint32_t, std::uint64_t, URL, Date,
             Data, Decimal, UUID, Value>;

}  // namespace quarn
