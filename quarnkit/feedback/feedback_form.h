// FeedbackForm: a server-defined questionnaire, its texts and its ordered
// questions.
//
//   auto form = quarn::JSONDecoder().decode<quarn::FeedbackForm>(json);
//   for (const auto& question : form.items) { ... }  // in the data's order
//
// Questions are decoded through FeedbackFormItemsRegistry::shared(): an
// element without "type", or of a kind with no registered class, is dropped
// silently; any other failure of a question fails the form with the coding
// path of the failing member ("items[2].isRequired"). "refill" absent means
// true. The form encodes back under the same keys.
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
  using ItemType = FeedbackFormItemType;
  using Item = FeedbackFormItem;

  std::int64_t id = 0;
  std::optional<std::string> title;
  std::optional<std::string> description;
  /// The host's name for the form.
  std::optional<std::string> alias;
  std::optional<std::string> buttonTitle;
  std::optional<std::string> footerText;
  /// Read and written as the coder's date strategy says.
  std::optional<Date> expiryDate;
  bool refill = true;
  std::vector<std::shared_ptr<FeedbackFormItem>> items;

  static FeedbackForm decode(Decoder& d);
  void encode(Encoder& e) const;
};

class FeedbackFormItemsRegistry;

/// The JSON Schema document (json_schema.h) of a form as FeedbackForm::decode
/// reads it with `registry` as the shared one: each kind of the registry
/// with its class's members, dates as internet date-times. Looks the kinds
/// up, so it freezes the registry.
Value feedbackFormSchema(const FeedbackFormItemsRegistry& registry, const std::string& id);

}  // namespace quarn
