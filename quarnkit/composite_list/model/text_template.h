/// @file
/// Text templates: placeholders "${field}" in template texts, filled from a
/// dictionary of values (the environment's facts and the element's vars).
///
/// ```
///   templateString("Hello ${user.first}", {{"user", {{"first", "Ann"}}}});  // "Hello Ann"
/// ```
///
/// Two modes.
///
/// Single-pass (allowRecursion false; every composite-list text uses it): the
/// matches of "\$\{([^\}]+)\}" are found left to right and replaced from the
/// last to the first. The field is looked up as a key path (key_path.h:
/// nested dictionaries, lists element-wise, collection operators such as
/// "@count", dotted keys such as "app.version"). Nothing or null gives "", a
/// string is itself templated (see below), any other value gives its text
/// form (Value::description()). With allowExpressions, a field whose last
/// component starts with "$" ("config.$total") has its replacement evaluated
/// as an expression of the expression language (predicate.h) over no values:
/// a result replaces it, a null result or a failure (logged "Expression error:
/// ...") leaves it as it is. A failure of the key look-up itself (an unknown
/// "@" operator, a key asked of a number) is thrown as ExpressionEvaluationError.
///
/// A string value is templated with "<recursion>" written at its key path
/// (DictKeyPath, dict_key_path.h) in the values it reads, on top of the paths
/// of the values it is itself nested in; so a value that refers back into that
/// chain ("a" holding "x${a}") ends in "<recursion>". Only the chain is marked:
/// placeholders side by side, the same one twice included, each read the
/// values as given ("${name} and ${name}" gives "Ann and Ann").
///
/// Scanner (allowRecursion true; recursiveTemplateString): the values are first
/// passed through resolveValuesForPredicateOrTemplate() (lists and dictionaries
/// become NSArrayProxy and NSDictionaryProxy, value_proxies.h). Then, again and
/// again, the innermost placeholder is found (the last "${" before the first
/// "}"; a "}" before any "${" ends the search), its field resolved and the
/// result put in its place, and the text is scanned anew, so placeholders that
/// replacements form are expanded too. A field that is a key path
/// (hasKeyPath(), or one with list subscripts such as "items.[1]") is looked
/// up, failures logged ("Expression error: ...") as "": a string is expanded
/// the same way with "<recursion>" written at its path as above, and, with allowExpressions and a
/// last component starting with "$", evaluated as an expression over the values as given (a failure
/// is logged and gives "<error>"); another non-null value gives its text form. Otherwise, with
/// allowExpressions, the field itself is evaluated as an expression over the values as given
/// ("${price * 2}"; a failure is logged and gives ""), and without, it gives "".
///
/// Each evaluated expression logs "Evaluate expression: <text> = <result>)" at
/// debug level.
///
/// Bounds. Templates and values come from servers, so expansion is bounded
/// (TextTemplateLimits, whose defaults are given below) whatever they hold (values referring to
/// each other in a cycle, to ever new paths, or doubling at each level):
/// - string values nest at most kTextTemplateMaxDepth deep, and a value whose
///   path is already being expanded further up gives "<recursion>" even where
///   the "<recursion>" write cannot reach it (dotted keys, list elements);
///   both are logged as "Expression error: ..." and give "<recursion>";
/// - one call replaces at most kTextTemplateMaxReplacements placeholders (all
///   nesting levels together) and no text it builds grows beyond
///   kTextTemplateMaxLength bytes; past either, it logs "Expression error: ..."
///   once and stops: the remaining placeholders stay in the text as they are.
/// So one call does at most about kTextTemplateMaxReplacements *
/// kTextTemplateMaxLength bytes of copying and scanning.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "quarnkit/composite_list/model/dict_key_path.h"
#include "quarnkit/composite_list/model/value_proxies.h"
#include "quarnkit/core/error.h"
#include "quarnkit/core/value.h"

namespace quarn {

/// How deep string values may expand inside one another.
inline constexpr std::size_t kTextTemplateMaxDepth = 32;
/// Most placeholders one templating call replaces, all levels together.
inline constexpr std::size_t kTextTemplateMaxReplacements = 1024;
/// Longest text (in bytes) a templating call builds.
inline constexpr std::size_t kTextTemplateMaxLength = std::size_t{64} * 1024;

/// The bounds of one templating call. Calls use the defaults; tests and the
/// fuzz target pass smaller ones to reach the bounds with little work.
struct TextTemplateLimits {
  /// The deepest nesting of values expanded.
  std::size_t maxDepth = kTextTemplateMaxDepth;
  /// The most placeholders replaced.
  std::size_t maxReplacements = kTextTemplateMaxReplacements;
  /// The longest text built, in bytes.
  std::size_t maxLength = kTextTemplateMaxLength;
};

/// The marker written at the path of a value being expanded.
inline constexpr std::string_view kRecursionMarker = "<recursion>";
/// The text of a failed expression variable in scanner mode.
inline constexpr std::string_view kErrorMarker = "<error>";

/// A failure of a guarded evaluation: the key look-up or the expression
/// evaluator failed; the message is the failure's description.
class ExpressionEvaluationError : public Error {
 public:
  /// The failure, described by `message`.
  explicit ExpressionEvaluationError(std::string message) : message_(std::move(message)) {}
  [[nodiscard]] std::string description() const override { return message_; }

 private:
  std::string message_;
};

/// An error of the expression helpers, in the domain "ExpressionError": code
/// -1, "Invalid expression result", for an expression that gives no value.
class ExpressionError : public Error {
 public:
  /// The error domain.
  static constexpr std::string_view kDomain = "ExpressionError";
  /// The error `code` with `description`.
  ExpressionError(int code, std::string description)
      : code_(code), description_(std::move(description)) {}
  /// The error code.
  [[nodiscard]] int code() const { return code_; }
  [[nodiscard]] std::string description() const override { return description_; }

 private:
  int code_;
  std::string description_;
};

/// `text` with its placeholders filled from `values` (see the file comment).
/// Throws ExpressionEvaluationError for a failed key look-up in single-pass
/// mode; the scanner mode throws nothing.
std::string templateString(std::string_view text, const ValueDictionary& values,
                           bool allowExpressions = false, bool allowRecursion = false,
                           const TextTemplateLimits& limits = {});

/// The scanner mode alone: templateString(text, values, allowExpressions, true).
std::string recursiveTemplateString(std::string_view text, const ValueDictionary& values,
                                    bool allowExpressions = false,
                                    const TextTemplateLimits& limits = {});

/// Whether the whole of `text` matches "^[a-zA-Z0-9.@_$]+$".
bool hasKeyPath(std::string_view text);

/// The value at `keyPath` in `values` (key_path.h), or nothing: the guarded
/// look-up. Throws ExpressionEvaluationError with the failure's description
/// when the look-up fails (an unknown collection operator, a key asked of a
/// value that has none, a host object's exception).
std::optional<Value> getValue(const ValueDictionary& values, std::string_view keyPath);

}  // namespace quarn
