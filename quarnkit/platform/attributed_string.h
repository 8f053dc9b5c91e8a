/// @file
/// AttributedString: text whose runs carry attributes, the platform's attributed text.

/// @class quarn::platform::AttributedString
/// Text whose runs carry attributes, the platform's
/// attributed text. Attributes are named values; the names of the platform's
/// own inline styles are constants here, and other components add theirs
/// (formatting marks the runs it substituted).
///
/// Kinds: all values.
///
/// ```
///   AttributedString s("Only $4.99");
///   s.setAttribute(*s.range("$4.99"), kInlinePresentationIntentAttribute,
///                  Value(std::int64_t{InlinePresentationIntent::stronglyEmphasized}));
///   s.runs().size();  // 2: "Only " and "$4.99"
/// ```
///
/// Ranges are byte offsets into the UTF-8 text. Runs cover the whole text,
/// none is empty, and neighbours differ in their attributes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "quarnkit/core/value.h"

namespace quarn::platform {

/// The inline styles of markdown, as bits of the kInlinePresentationIntentAttribute value.
enum InlinePresentationIntent : std::int64_t {
  emphasized = 1,
  stronglyEmphasized = 2,
  code = 4,
  strikethrough = 32,
};

inline constexpr std::string_view kInlinePresentationIntentAttribute = "NSInlinePresentationIntent";
/// A link's target, as text.
inline constexpr std::string_view kLinkAttribute = "NSLink";

/// Named attribute values, in the order they were set.
class AttributeContainer {
 public:
  [[nodiscard]] const Value* find(std::string_view name) const;
  void set(std::string_view name, Value value);
  void remove(std::string_view name);
  /// Sets every attribute of `other` here.
  void merge(const AttributeContainer& other);
  [[nodiscard]] bool isEmpty() const { return entries_.empty(); }
  [[nodiscard]] const std::vector<std::pair<std::string, Value>>& entries() const {
    return entries_;
  }

  friend bool operator==(const AttributeContainer& a, const AttributeContainer& b);

 private:
  std::vector<std::pair<std::string, Value>> entries_;
};

/// A byte range [begin, end) of a text.
struct TextRange {
  std::size_t begin = 0;
  std::size_t end = 0;
  friend bool operator==(const TextRange&, const TextRange&) = default;
};

class AttributedString {
 public:
  struct Run {
    TextRange range;
    AttributeContainer attributes;
  };

  AttributedString() = default;
  explicit AttributedString(std::string text, AttributeContainer attributes = {});

  [[nodiscard]] const std::string& string() const { return text_; }
  [[nodiscard]] bool isEmpty() const { return text_.empty(); }
  [[nodiscard]] const std::vector<Run>& runs() const { return runs_; }
  /// The attributes at byte `offset` (empty past the end).
  [[nodiscard]] const AttributeContainer& attributes(std::size_t offset) const;

  void append(std::string_view text, const AttributeContainer& attributes = {});
  void append(const AttributedString& other);

  /// The first occurrence of `text`, compared literally; nothing when absent
  /// or when `text` is empty.
  [[nodiscard]] std::optional<TextRange> range(std::string_view text) const;
  /// Sets one attribute over `range` (clamped to the text).
  void setAttribute(TextRange range, std::string_view name, const Value& value);
  /// Replaces the characters of `range` by `replacement` with its attributes.
  void replaceSubrange(TextRange range, const AttributedString& replacement);

  /// A copy in which every strongly emphasized run loses that intent and
  /// gets `attributes` instead (how templates restyle their bold parts).
  [[nodiscard]] AttributedString replacingStronglyEmphasizedAttributes(
      const AttributeContainer& attributes) const;

  friend bool operator==(const AttributedString& a, const AttributedString& b);

 private:
  void coalesce();

  std::string text_;
  std::vector<Run> runs_;
};

}  // namespace quarn::platform
