/// @file
/// CompositeListTemplateSource: where an included template comes from: a document at a URL, a
/// template the host registered under a key, or a key that names another key (resolved by the
/// host).

/// @class quarn::CompositeListTemplateSource
/// Where an included template comes from: a
/// document at a URL, a template the host registered under a key, or a key
/// that names another key (resolved by the host).
#pragma once

#include <functional>
#include <string>
#include <variant>

#include "quarnkit/core/url.h"

namespace quarn {

class CompositeListTemplateSource {
 public:
  /// Where the template is found.
  enum class Kind { url, key, keyReference };

  /// A template at URL `u`.
  static CompositeListTemplateSource url(URL u) {
    return CompositeListTemplateSource(std::move(u));
  }
  /// A template under the key `k`.
  static CompositeListTemplateSource key(std::string k) {
    return CompositeListTemplateSource(Kind::key, std::move(k));
  }
  /// A template under the key that the reference `k` maps to.
  static CompositeListTemplateSource keyReference(std::string k) {
    return CompositeListTemplateSource(Kind::keyReference, std::move(k));
  }

  /// Where the template is found.
  [[nodiscard]] Kind kind() const { return kind_; }
  /// The URL of a `url` source.
  [[nodiscard]] const URL* urlValue() const { return std::get_if<URL>(&payload_); }
  /// The URL's absolute string, or the key text.
  [[nodiscard]] std::string rawValue() const;

  /// Equal when kind and payload are.
  friend bool operator==(const CompositeListTemplateSource&,
                         const CompositeListTemplateSource&) = default;
  /// The case's position combined first, then the payload.
  [[nodiscard]] std::size_t hash() const;

 private:
  explicit CompositeListTemplateSource(URL u) : kind_(Kind::url), payload_(std::move(u)) {}
  CompositeListTemplateSource(Kind kind, std::string k) : kind_(kind), payload_(std::move(k)) {}
  Kind kind_;
  std::variant<URL, std::string> payload_;
};

}  // namespace quarn

/// Hashes a source as CompositeListTemplateSource::hash() does.
template <>
struct std::hash<quarn::CompositeListTemplateSource> {
  /// CompositeListTemplateSource::hash().
  std::size_t operator()(const quarn::CompositeListTemplateSource& s) const noexcept {
    return s.hash();
  }
};
