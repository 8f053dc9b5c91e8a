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
  enum class Kind { url, key, keyReference };

  static CompositeListTemplateSource url(URL u) {
    return CompositeListTemplateSource(std::move(u));
  }
  static CompositeListTemplateSource key(std::string k) {
    return CompositeListTemplateSource(Kind::key, std::move(k));
  }
  static CompositeListTemplateSource keyReference(std::string k) {
    return CompositeListTemplateSource(Kind::keyReference, std::move(k));
  }

  [[nodiscard]] Kind kind() const { return kind_; }
  /// The URL of a `url` source.
  [[nodiscard]] const URL* urlValue() const { return std::get_if<URL>(&payload_); }
  /// The URL's absolute string, or the key text.
  [[nodiscard]] std::string rawValue() const;

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

template <>
struct std::hash<quarn::CompositeListTemplateSource> {
  std::size_t operator()(const quarn::CompositeListTemplateSource& s) const noexcept {
    return s.hash();
  }
};
