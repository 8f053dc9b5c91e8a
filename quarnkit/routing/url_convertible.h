/// @file
/// URLConvertible: anything that can act as a URL wherever the routing code expects one.

/// @class quarn::URLConvertible
/// Anything that can act as a URL wherever the routing code
/// expects one. An interface with two built-in forms, text and a URL, which
/// the class itself provides as values:
///
/// ```
///   URLConvertible link = "myapp://profile/42?tab=posts";
///   link.urlValue();          // the parsed URL
///   link.queryParameters();   // {"tab": "posts"}
/// ```
///
/// A host's own URL type implements it by deriving and overriding urlValue()
/// and urlStringValue(); the query members have defaults built on those two:
///
/// ```
///   class DeepLink : public quarn::URLConvertible {
///    public:
///     std::optional<quarn::URL> urlValue() const override { ... }
///     std::string urlStringValue() const override { ... }
///   };
///   matcher.match(DeepLink(...), patterns);
/// ```
///
/// Text that is not a valid URL as written (spaces, "<", ">", a stray "%")
/// still has a URL: the one of the text percent-encoded with the characters a
/// host, path, query or fragment may hold. The text itself is kept as given.
///
/// Copying is for the built-in forms and for derived classes: a
/// URLConvertible cannot be copied as the base of something else, so a host's
/// URL is never cut down to an empty text by accident. The routing code only
/// reads it during a call (a resolved handler keeps a snapshot of what the
/// four members answered).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quarnkit/core/url.h"

namespace quarn {

class URLConvertible {
 public:
  ///@{
  /// Text or a URL, converted implicitly wherever a URL is taken.
  URLConvertible(std::string text)
      : text_(std::move(text)) {}                         // NOLINT(google-explicit-constructor)
  URLConvertible(std::string_view text) : text_(text) {}  // NOLINT(google-explicit-constructor)
  URLConvertible(const char* text) : text_(text) {}       // NOLINT(google-explicit-constructor)
  URLConvertible(URL url)                                 // NOLINT(google-explicit-constructor)
      : text_(url.absoluteString()), url_(std::move(url)) {}
  ///@}
  virtual ~URLConvertible() = default;

  /// The URL: a URL as it is; text parsed, or else parsed percent-encoded;
  /// nothing when neither parses (or the text is not valid UTF-8).
  [[nodiscard]] virtual std::optional<URL> urlValue() const;
  /// The text as given, or the URL's absolute string.
  [[nodiscard]] virtual std::string urlStringValue() const { return text_; }
  /// The query of urlValue() split at "&" into key "=" value pairs: keys as
  /// written, values percent-decoded (as written when that fails); pieces
  /// without "=" are skipped and a later key replaces an earlier one.
  [[nodiscard]] virtual std::map<std::string, std::string> queryParameters() const;
  /// The query items of urlStringValue() parsed as a URL; nothing when it
  /// does not parse or has no query.
  [[nodiscard]] virtual std::optional<std::vector<URL::QueryItem>> queryItems() const;

 protected:
  /// For a host's own URL type, which answers urlValue() and
  /// urlStringValue() itself.
  URLConvertible() = default;
  ///@{
  /// Copied and moved by value, by the types derived from it.
  URLConvertible(const URLConvertible&) = default;
  URLConvertible(URLConvertible&&) = default;
  URLConvertible& operator=(const URLConvertible&) = default;
  URLConvertible& operator=(URLConvertible&&) = default;
  ///@}

 private:
  std::string text_;
  std::optional<URL> url_;
};

/// The URL of `text`, percent-encoding it when it does not parse as written.
std::optional<URL> urlOfText(std::string_view text);

}  // namespace quarn
