// URL: a parsed URI reference (absolute or relative), as the platform's URL
// type is used by the library: parsed from text, compared by its text, asked
// for its parts.
//
//   auto u = quarn::URL::parse("https://example.com/a/b.json?x=1");
//   u->host();               // "example.com"
//   u->lastPathComponent();  // "b.json"
//
// Parsing follows RFC 3986 (Boost.URL): text with characters a URI may not
// contain (spaces, for instance) or an empty text gives nothing.
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
    std::string name;
    std::optional<std::string> value;
    friend bool operator==(const QueryItem&, const QueryItem&) = default;
  };

  [[nodiscard]] const std::string& absoluteString() const { return text_; }
  [[nodiscard]] std::string scheme() const;
  [[nodiscard]] std::optional<std::string> host() const;
  [[nodiscard]] std::optional<int> port() const;
  /// The decoded path ("/a/b c" for "/a/b%20c").
  [[nodiscard]] std::string path() const;
  /// "/" followed by each decoded segment, as the platform lists them.
  [[nodiscard]] std::vector<std::string> pathComponents() const;
  [[nodiscard]] std::string lastPathComponent() const;
  [[nodiscard]] std::optional<std::string> query() const;
  /// The query split at "&" into items ("+" stays a plus sign); nothing
  /// without a query, no items for an empty one.
  [[nodiscard]] std::optional<std::vector<QueryItem>> queryItems() const;
  [[nodiscard]] std::optional<std::string> fragment() const;
  [[nodiscard]] bool isFileURL() const;
  /// The local path of a file URL.
  [[nodiscard]] std::filesystem::path filePath() const;
  /// This URL with one more path segment (percent-encoded as needed).
  [[nodiscard]] URL appendingPathComponent(std::string_view component) const;

  friend bool operator==(const URL&, const URL&) = default;

 private:
  explicit URL(std::string text) : text_(std::move(text)) {}
  std::string text_;
};

}  // namespace quarn

template <>
struct std::hash<quarn::URL> {
  size_t operator()(const quarn::URL& u) const noexcept {
    return std::hash<std::string>()(u.absoluteString());
  }
};
