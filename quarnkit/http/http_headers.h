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
  std::string rawValue;

  static const HTTPMethod get;
  static const HTTPMethod head;
  static const HTTPMethod post;
  static const HTTPMethod put;
  static const HTTPMethod patch;
  static const HTTPMethod delete_;
  static const HTTPMethod options;

  friend bool operator==(const HTTPMethod&, const HTTPMethod&) = default;
};

/// One header field as sent or received.
struct HTTPHeader {
  std::string name;
  std::string value;
  friend bool operator==(const HTTPHeader&, const HTTPHeader&) = default;
};

/// Header fields in the order they were added or received.
class HTTPHeaders {
 public:
  HTTPHeaders() = default;
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
  [[nodiscard]] bool contains(std::string_view name) const { return value(name).has_value(); }

  [[nodiscard]] const std::vector<HTTPHeader>& fields() const { return fields_; }
  [[nodiscard]] std::size_t size() const { return fields_.size(); }
  [[nodiscard]] bool empty() const { return fields_.empty(); }
  [[nodiscard]] auto begin() const { return fields_.begin(); }
  [[nodiscard]] auto end() const { return fields_.end(); }

  friend bool operator==(const HTTPHeaders&, const HTTPHeaders&) = default;

 private:
  std::vector<HTTPHeader> fields_;
};

/// Whether two header names are equal ignoring ASCII letter case.
bool headerNamesEqual(std::string_view a, std::string_view b);

}  // namespace quarn::http
