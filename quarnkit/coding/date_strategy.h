/// @file
/// How a JSON decoder reads dates and a JSON encoder writes them.
///
/// The default, deferredToDate, is the platform's own date form: seconds since
/// 2001-01-01T00:00:00Z as a number.
#pragma once

#include <functional>

namespace quarn {

class Date;
class Decoder;
class Encoder;

/// How a JSON decoder reads dates. A value.
struct DateDecodingStrategy {
  /// Which form dates are read in.
  enum class Kind { deferredToDate, secondsSince1970, millisecondsSince1970, iso8601, custom };
  /// Which form dates are read in.
  Kind kind = Kind::deferredToDate;
  /// Reads a date, for the custom kind.
  std::function<Date(Decoder&)> custom;

  /// Seconds since 2001-01-01T00:00:00Z as a number.
  static DateDecodingStrategy deferredToDate() { return {Kind::deferredToDate, {}}; }
  /// Seconds since 1970 as a number.
  static DateDecodingStrategy secondsSince1970() { return {Kind::secondsSince1970, {}}; }
  /// Milliseconds since 1970 as a number.
  static DateDecodingStrategy millisecondsSince1970() { return {Kind::millisecondsSince1970, {}}; }
  /// Internet date-time text ("2024-01-31T10:00:00Z").
  static DateDecodingStrategy iso8601() { return {Kind::iso8601, {}}; }
  /// `read` is called with a decoder positioned at the date's value.
  static DateDecodingStrategy customFunction(std::function<Date(Decoder&)> read) {
    return {Kind::custom, std::move(read)};
  }
};

/// How a JSON encoder writes dates. A value.
struct DateEncodingStrategy {
  /// Which form dates are written in.
  enum class Kind { deferredToDate, secondsSince1970, millisecondsSince1970, iso8601, custom };
  /// Which form dates are written in.
  Kind kind = Kind::deferredToDate;
  /// Writes a date, for the custom kind.
  std::function<void(const Date&, Encoder&)> custom;

  /// Seconds since 2001-01-01T00:00:00Z as a number.
  static DateEncodingStrategy deferredToDate() { return {Kind::deferredToDate, {}}; }
  /// Seconds since 1970 as a number.
  static DateEncodingStrategy secondsSince1970() { return {Kind::secondsSince1970, {}}; }
  /// Milliseconds since 1970 as a number.
  static DateEncodingStrategy millisecondsSince1970() { return {Kind::millisecondsSince1970, {}}; }
  /// Internet date-time text ("2024-01-31T10:00:00Z").
  static DateEncodingStrategy iso8601() { return {Kind::iso8601, {}}; }
  /// `write` is called with the date and an encoder positioned at its value.
  static DateEncodingStrategy customFunction(std::function<void(const Date&, Encoder&)> write) {
    return {Kind::custom, std::move(write)};
  }
};

}  // namespace quarn
