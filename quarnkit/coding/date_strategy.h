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

struct DateDecodingStrategy {
  enum class Kind { deferredToDate, secondsSince1970, millisecondsSince1970, iso8601, custom };
  Kind kind = Kind::deferredToDate;
  std::function<Date(Decoder&)> custom;

  static DateDecodingStrategy deferredToDate() { return {Kind::deferredToDate, {}}; }
  static DateDecodingStrategy secondsSince1970() { return {Kind::secondsSince1970, {}}; }
  static DateDecodingStrategy millisecondsSince1970() { return {Kind::millisecondsSince1970, {}}; }
  /// Internet date-time text ("2024-01-31T10:00:00Z").
  static DateDecodingStrategy iso8601() { return {Kind::iso8601, {}}; }
  /// `read` is called with a decoder positioned at the date's value.
  static DateDecodingStrategy customFunction(std::function<Date(Decoder&)> read) {
    return {Kind::custom, std::move(read)};
  }
};

struct DateEncodingStrategy {
  enum class Kind { deferredToDate, secondsSince1970, millisecondsSince1970, iso8601, custom };
  Kind kind = Kind::deferredToDate;
  std::function<void(const Date&, Encoder&)> custom;

  static DateEncodingStrategy deferredToDate() { return {Kind::deferredToDate, {}}; }
  static DateEncodingStrategy secondsSince1970() { return {Kind::secondsSince1970, {}}; }
  static DateEncodingStrategy millisecondsSince1970() { return {Kind::millisecondsSince1970, {}}; }
  static DateEncodingStrategy iso8601() { return {Kind::iso8601, {}}; }
  static DateEncodingStrategy customFunction(std::function<void(const Date&, Encoder&)> write) {
    return {Kind::custom, std::move(write)};
  }
};

}  // namespace quarn
