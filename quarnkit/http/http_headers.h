/// @file
/// HTTPMethod and HTTPHeaders: the method and header fields of requests and
/// responses. Both are values.
///
/// ```
///   HTTPHeaders headers{{"Authorization", "Bearer abc"}, {"Accept", "application/json"}};
///   headers.value("accept");   // "application/json": names are compared ignoring case
/// ```
///
/// A header name may appear more than once; value() joins the fields of one
/// name with ", ", as HTTP allows a recipient to.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarn::http {

/// An HTTP method: an open string value with the common methods as constants.
struct HTTPMethod {
  /// The method's name ("GET").
  std::string rawValue;

  /// "GET".
  static const HTTPMethod get;
  /// "HEAD".
  static const HTTPMethod head;
  /// "POST".
  static const HTTPMethod post;
  /// "PUT".
  static const HTTPMethod put;
  /// "PATCH".
  static const HTTPMethod patch;
  /// "DELETE".
  static const HTTPMethod delete_;
  /// "OPTIONS".
  static const HTTPMethod options;

  /// Equal when the names are.
  friend bool operator==(const HTTPMethod&, const HTTPMethod&) = default;
};

/// One header field as sent or received.
struct HTTPHeader {
  /// The field name, as written.
  std::string name;
  /// The field value.
  std::string value;
  /// Equal when name and value are.
  friend bool operator==(const HTTPHeader&, const HTTPHeader&) = default;
};

/// Header fields in the order they were added or received.
class HTTPHeaders {
 public:
  HTTPHeaders() = default;
  /// The fields in order.
  HTTPHeaders(std::initializer_list<HTTPHeader> fields) : fields_(fields) {}

  /// Appends a field (another field of the same name stays).
  void add(std::string name, std::string value);
  /// Replaces every field named `name` (ignoring case) with one field.
  void update(std::string name, std::string value);
  /// Removes every field named `name` (ignoring case).
  void remove(std::string_view name);

  /// The value of the fields named `name`, ignoring case (several joined
  /// with ", "); nothing when there is none.
  [[nodiscard]] std::optional<std::string> value(std::string_view name) const;
  /// The value of the first field whose name is exactly `name`.
  [[nodiscard]] std::optional<std::string> exactValue(std::string_view name) const;
  /// Whether some field is named `name`, ignoring case.
  [[nodiscard]] bool contains(std::string_view name) const { return value(name).has_value(); }

  /// The fields in order.
  [[nodiscard]] const std::vector<HTTPHeader>& fields() const { return fields_; }
  /// The number of fields.
  [[nodiscard]] std::size_t size() const { return fields_.size(); }
  /// Whether there is no field.
  [[nodiscard]] bool empty() const { return fields_.empty(); }
  /// The first field.
  [[nodiscard]] auto begin() const { return fields_.begin(); }
  /// Past the last field.
  [[nodiscard]] auto end() const { return fields_.end(); }

  /// Equal when the same fields are in the same order.
  friend bool operator==(const HTTPHeaders&, const HTTPHeaders&) = default;

 private:
  std::vector<HTTPHeader> fields_;
};

/// Whether two header names are equal ignoring ASCII letter case.
bool headerNamesEqual(std::string_view a, std::string_view b);

}  // namespace quarn::http
