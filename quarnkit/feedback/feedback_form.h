/// @file
/// FeedbackForm: a server-defined questionnaire, its texts and its ordered questions.

/// @struct quarn::FeedbackForm
/// A server-defined questionnaire, its texts and its ordered
/// questions.
///
/// ```
///   auto form = quarn::JSONDecoder().decode<quarn::FeedbackForm>(json);
///   for (const auto& question : form.items) { ... }  // in the data's order
/// ```
///
/// Questions are decoded through FeedbackFormItemsRegistry::shared(): an
/// element without "type", or of a kind with no registered class, is dropped
/// silently; any other failure of a question fails the form with the coding
/// path of the failing member ("items[2].isRequired"). "refill" absent means
/// true. The form encodes back under the same keys.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "quarnkit/core/date.h"
#include "quarnkit/feedback/form_item.h"

namespace quarn {

struct FeedbackForm {
  /// The kind of a question.
  using ItemType = FeedbackFormItemType;
  /// A question.
  using Item = FeedbackFormItem;

  /// The form's identifier.
  std::int64_t id = 0;
  /// The form's title.
  std::optional<std::string> title;
  /// The text under the title.
  std::optional<std::string> description;
  /// The host's name for the form.
  std::optional<std::string> alias;
  /// The title of the send button.
  std::optional<std::string> buttonTitle;
  /// The text under the questions.
  std::optional<std::string> footerText;
  /// Read and written as the coder's date strategy says.
  std::optional<Date> expiryDate;
  /// Whether the form may be filled again after it was sent.
  bool refill = true;
  /// The questions, in order (each of its kind's class).
  std::vector<std::shared_ptr<FeedbackFormItem>> items;

  /// Decodes a form, each question as the item registry's class for its kind; throws DecodingError.
  static FeedbackForm decode(Decoder& d);
  /// Writes the form as an object.
  void encode(Encoder& e) const;
};

class FeedbackFormItemsRegistry;

/// The JSON Schema document (json_schema.h) of a form as FeedbackForm::decode
/// reads it with `registry` as the shared one: each kind of the registry
/// with its class's members, dates as internet date-times. Looks the kinds
/// up, so it freezes the registry.
Value feedbackFormSchema(const FeedbackFormItemsRegistry& registry, const std::string& id);

}  // namespace quarn
