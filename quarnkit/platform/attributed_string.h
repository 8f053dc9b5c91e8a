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

/// The attribute holding a run's InlinePresentationIntent flags, as an integer.
inline constexpr std::string_view kInlinePresentationIntentAttribute = "NSInlinePresentationIntent";
/// A link's target, as text.
inline constexpr std::string_view kLinkAttribute = "NSLink";

/// Named attribute values, in the order they were set.
class AttributeContainer {
 public:
  /// The value of attribute `name`, or null.
  [[nodiscard]] const Value* find(std::string_view name) const;
  /// Sets attribute `name` (in place when present, else last).
  void set(std::string_view name, Value value);
  /// Removes attribute `name`.
  void remove(std::string_view name);
  /// Sets every attribute of `other` here.
  void merge(const AttributeContainer& other);
  /// Whether there is no attribute.
  [[nodiscard]] bool isEmpty() const { return entries_.empty(); }
  /// The attributes in the order they were set.
  [[nodiscard]] const std::vector<std::pair<std::string, Value>>& entries() const {
    return entries_;
  }

  /// Equal when they hold the same attributes with equal values.
  friend bool operator==(const AttributeContainer& a, const AttributeContainer& b);

 private:
  std::vector<std::pair<std::string, Value>> entries_;
};

/// A byte range [begin, end) of a text.
struct TextRange {
  /// The first byte.
  std::size_t begin = 0;
  /// Past the last byte.
  std::size_t end = 0;
  /// Equal when both ends are.
  friend bool operator==(const TextRange&, const TextRange&) = default;
};

class AttributedString {
 public:
  /// A range of the text and its attributes.
  struct Run {
    /// The bytes the run covers.
    TextRange range;
    /// The run's attributes.
    AttributeContainer attributes;
  };

  AttributedString() = default;
  /// `text` with `attributes` over all of it.
  explicit AttributedString(std::string text, AttributeContainer attributes = {});

  /// The plain text.
  [[nodiscard]] const std::string& string() const { return text_; }
  /// Whether the text is empty.
  [[nodiscard]] bool isEmpty() const { return text_.empty(); }
  /// The runs, in order, covering the text.
  [[nodiscard]] const std::vector<Run>& runs() const { return runs_; }
  /// The attributes at byte `offset` (empty past the end).
  [[nodiscard]] const AttributeContainer& attributes(std::size_t offset) const;

  /// Appends `text` with `attributes`.
  void append(std::string_view text, const AttributeContainer& attributes = {});
  /// Appends `other` with its attributes.
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

  /// Equal when text and runs are.
  friend bool operator==(const AttributedString& a, const AttributedString& b);

 private:
  void coalesce();

  std::string text_;
  std::vector<Run> runs_;
};

}  // namespace quarn::platform
