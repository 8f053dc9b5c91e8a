/// @file
/// URL: a parsed URI reference (absolute or relative), as the platform's URL type is used by the
/// library: parsed from text, compared by its text, asked for its parts.

/// @class quarn::URL
/// A parsed URI reference (absolute or relative), as the platform's URL
/// type is used by the library: parsed from text, compared by its text, asked
/// for its parts.
///
/// ```
///   auto u = quarn::URL::parse("https://example.com/a/b.json?x=1");
///   u->host();               // "example.com"
///   u->lastPathComponent();  // "b.json"
/// ```
///
/// Parsing follows RFC 3986 (Boost.URL): text with characters a URI may not
/// contain (spaces, for instance) or an empty text gives nothing.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarn {

class URL {
 public:
  /// The empty URL: a placeholder (an output slot to decode into), not a
  /// URL any parse returns.
  URL() = default;
  /// The URL of `text`, or nothing when it is not a valid URI reference.
  static std::optional<URL> parse(std::string_view text);
  /// A "file://" URL for a local path (made absolute, percent-encoded).
  static URL fileURL(const std::filesystem::path& path);

  /// `text` with every byte outside the ASCII characters of `allowed` (and
  /// every "%") written as a %XX escape; nothing when `text` is not valid UTF-8.
  static std::optional<std::string> addingPercentEncoding(std::string_view text,
                                                          std::string_view allowed);
  /// `text` with its %XX escapes decoded; nothing when an escape is malformed
  /// or the decoded bytes are not valid UTF-8.
  static std::optional<std::string> removingPercentEncoding(std::string_view text);

  /// One item of a query: its decoded name and, after a "=", its decoded value.
  struct QueryItem {
    std::string name;                  ///< The decoded name.
    std::optional<std::string> value;  ///< The decoded value; none without a "=".
    /// Equal when name and value are.
    friend bool operator==(const QueryItem&, const QueryItem&) = default;
  };

  /// The URL's text, as parsed.
  [[nodiscard]] const std::string& absoluteString() const { return text_; }
  /// The scheme ("https"); empty for a relative reference.
  [[nodiscard]] std::string scheme() const;
  /// The host, or nothing without an authority.
  [[nodiscard]] std::optional<std::string> host() const;
  /// The port, or nothing when none is written.
  [[nodiscard]] std::optional<int> port() const;
  /// The decoded path ("/a/b c" for "/a/b%20c").
  [[nodiscard]] std::string path() const;
  /// "/" followed by each decoded segment, as the platform lists them.
  [[nodiscard]] std::vector<std::string> pathComponents() const;
  /// The last of pathComponents() ("b.json"); "/" for the root, empty without a path.
  [[nodiscard]] std::string lastPathComponent() const;
  /// The query as written (still percent-encoded), or nothing without a "?".
  [[nodiscard]] std::optional<std::string> query() const;
  /// The query split at "&" into items ("+" stays a plus sign); nothing
  /// without a query, no items for an empty one.
  [[nodiscard]] std::optional<std::vector<QueryItem>> queryItems() const;
  /// The fragment as written, or nothing without a "#".
  [[nodiscard]] std::optional<std::string> fragment() const;
  /// Whether the scheme is "file".
  [[nodiscard]] bool isFileURL() const;
  /// The local path of a file URL.
  [[nodiscard]] std::filesystem::path filePath() const;
  /// This URL with one more path segment (percent-encoded as needed).
  [[nodiscard]] URL appendingPathComponent(std::string_view component) const;

  /// Equal when the texts are.
  friend bool operator==(const URL&, const URL&) = default;

 private:
  explicit URL(std::string text) : text_(std::move(text)) {}
  std::string text_;
};

}  // namespace quarn

/// Hashes a URL by its text.
template <>
struct std::hash<quarn::URL> {
  /// The hash of absoluteString().
  size_t operator()(const quarn::URL& u) const noexcept {
    return std::hash<std::string>()(u.absoluteString());
  }
};
