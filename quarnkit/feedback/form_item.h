/// @file
/// The questions of a feedback form: FeedbackFormItem is the base every kind
/// shares (id, kind, answer key, whether it is required, question text), and
/// each kind adds its own members: a hint for free text, the options for the
/// choice kinds (text options or image options).
///
/// Questions are shared objects decoded through the items registry
/// (form_items_registry.h), base members first, then the kind's own:
///
/// ```
///   {"id": 3, "type": "single_choice", "isRequired": true, "text": "How often?",
///    "items": [{"id": 1, "text": "Daily"}, {"id": 2, "text": "Weekly"}]}
/// ```
///
/// A question encodes back under the same keys, optional members only when
/// present.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "quarnkit/coding/decoder.h"
#include "quarnkit/coding/encoder.h"
#include "quarnkit/coding/json_schema.h"
#include "quarnkit/coding/raw_string_value.h"
#include "quarnkit/core/url.h"

namespace quarn {

/// The kind of a question: any string; the library's kinds are constants.
struct FeedbackFormItemType : RawStringValue<FeedbackFormItemType> {
  /// Made from its raw text, as any raw string value is.
  using RawStringValue::RawStringValue;

  /// "text": a free-text question.
  static const FeedbackFormItemType text;
  /// "single_choice": one option of a list.
  static const FeedbackFormItemType singleChoice;
  /// "single_choice_select": one option, picked from a menu.
  static const FeedbackFormItemType singleChoiceSelect;
  /// "multi_choice": any number of options of a list.
  static const FeedbackFormItemType multiChoice;
  /// "image_single_choice": one image option.
  static const FeedbackFormItemType imageSingleChoice;
  /// "image_multi_choice": any number of image options.
  static const FeedbackFormItemType imageMultiChoice;
};

inline const FeedbackFormItemType FeedbackFormItemType::text{"text"};
inline const FeedbackFormItemType FeedbackFormItemType::singleChoice{"single_choice"};
inline const FeedbackFormItemType FeedbackFormItemType::singleChoiceSelect{"single_choice_select"};
inline const FeedbackFormItemType FeedbackFormItemType::multiChoice{"multi_choice"};
inline const FeedbackFormItemType FeedbackFormItemType::imageSingleChoice{"image_single_choice"};
inline const FeedbackFormItemType FeedbackFormItemType::imageMultiChoice{"image_multi_choice"};

/// A question. Subclasses add the members of their kind.
class FeedbackFormItem {
 public:
  virtual ~FeedbackFormItem() = default;

  /// The question's identifier in the form.
  std::int64_t id = 0;
  /// The kind of question.
  FeedbackFormItemType type;
  /// The key its answer is sent under.
  std::optional<std::string> key;
  /// Whether the form cannot be sent without an answer.
  bool isRequired = false;
  /// The question.
  std::optional<std::string> text;

  /// Decodes a T (this class or a subclass) from an object: the base
  /// members, then T's.
  template <class T>
  static std::shared_ptr<T> decodeAs(Decoder& d) {
    auto item = std::make_shared<T>();
    auto c = d.container();
    static_cast<FeedbackFormItem&>(*item).decodeMembers(*c);
    return item;
  }
  /// Writes the question as an object: the base members, then its class's.
  void encode(Encoder& e) const;
  /// The members decodeMembers() reads, for the form's JSON Schema; a
  /// subclass that reads more hides this with a list that starts with its
  /// base's.
  static std::vector<json_schema::Member> jsonSchemaMembers();

 protected:
  FeedbackFormItem() = default;
  /// Copied as a value, by subclasses.
  FeedbackFormItem(const FeedbackFormItem&) = default;
  /// Copied as a value, by subclasses.
  FeedbackFormItem& operator=(const FeedbackFormItem&) = default;

  /// Reads (writes) this class's members; an override calls its base first.
  virtual void decodeMembers(KeyedDecodingContainer& c);
  /// Writes this class's members; an override calls its base first.
  virtual void encodeMembers(KeyedEncodingContainer& c) const;
};

/// A free-text question.
class FeedbackFormTextItem : public FeedbackFormItem {
 public:
  /// The placeholder text of the answer field.
  std::optional<std::string> hint;

  /// Decodes a text question; throws DecodingError.
  static std::shared_ptr<FeedbackFormTextItem> decode(Decoder& d) {
    return decodeAs<FeedbackFormTextItem>(d);
  }
  /// The base members and "hint".
  static std::vector<json_schema::Member> jsonSchemaMembers();

 protected:
  void decodeMembers(KeyedDecodingContainer& c) override;
  /// Writes the base members, then the hint.
  void encodeMembers(KeyedEncodingContainer& c) const override;
};

/// An option with a text.
struct FeedbackFormChoiceTextElement {
  /// The option's identifier.
  std::int64_t id = 0;
  /// The option's text.
  std::optional<std::string> text;

  /// Decodes an option; throws DecodingError.
  static FeedbackFormChoiceTextElement decode(Decoder& d);
  /// The JSON Schema of an option as decode() reads it.
  static Value jsonSchema();
  /// Writes the option as an object.
  void encode(Encoder& e) const;
  /// Equal when every field is.
  friend bool operator==(const FeedbackFormChoiceTextElement&,
                         const FeedbackFormChoiceTextElement&) = default;
};

/// An option shown as an image, optionally with a caption and a link.
struct FeedbackFormChoiceImageElement {
  /// The option's identifier.
  std::int64_t id = 0;
  /// The text under the image.
  std::optional<std::string> caption;
  /// The image.
  std::optional<URL> imageUrl;
  /// Where tapping the option leads.
  std::optional<URL> link;
  /// The entity the option stands for.
  std::optional<std::int64_t> entityId;
  /// The type of that entity.
  std::optional<std::string> entityType;

  /// Decodes an option; throws DecodingError.
  static FeedbackFormChoiceImageElement decode(Decoder& d);
  /// The JSON Schema of an option as decode() reads it.
  static Value jsonSchema();
  /// Writes the option as an object.
  void encode(Encoder& e) const;
  /// Equal when every field is.
  friend bool operator==(const FeedbackFormChoiceImageElement&,
                         const FeedbackFormChoiceImageElement&) = default;
};

/// A question answered by choosing one of its options.
template <class Element>
class FeedbackFormChoiceItem : public FeedbackFormItem {
 public:
  /// Whether several options may be chosen: no.
  static constexpr bool isMultipleChoice = false;

  /// The options, in order.
  std::vector<Element> items;
  /// The hint shown with the options.
  std::optional<std::string> hint;

  /// isMultipleChoice of the question's own class.
  [[nodiscard]] virtual bool multipleChoice() const { return isMultipleChoice; }

  /// Decodes a choice question; throws DecodingError.
  static std::shared_ptr<FeedbackFormChoiceItem> decode(Decoder& d) {
    return decodeAs<FeedbackFormChoiceItem>(d);
  }
  /// The base members, "items" (the options) and "hint".
  static std::vector<json_schema::Member> jsonSchemaMembers() {
    auto members = FeedbackFormItem::jsonSchemaMembers();
    // The decoder takes an empty list; a choice question without options
    // cannot be answered, so the schema asks for one.
    Value options = json_schema::array(Element::jsonSchema(), "The options, in the order shown.");
    options.ifObject()->set("minItems", 1);
    members.push_back({"items", std::move(options), true});
    members.push_back({"hint", json_schema::string("A hint shown with the options.")});
    return members;
  }

 protected:
  void decodeMembers(KeyedDecodingContainer& c) override {
    FeedbackFormItem::decodeMembers(c);
    items = c.decode<std::vector<Element>>("items");
    hint = c.decodeIfPresent<std::string>("hint");
  }
  /// Writes the base members, then the options and the hint.
  void encodeMembers(KeyedEncodingContainer& c) const override {
    FeedbackFormItem::encodeMembers(c);
    c.encode(items, "items");
    c.encodeIfPresent(hint, "hint");
  }
};

/// A question answered by choosing any number of its options.
template <class Element>
class FeedbackFormMultiChoiceItem : public FeedbackFormChoiceItem<Element> {
 public:
  /// Whether several options may be chosen: yes.
  static constexpr bool isMultipleChoice = true;

  [[nodiscard]] bool multipleChoice() const override { return isMultipleChoice; }

  /// Decodes a multiple-choice question; throws DecodingError.
  static std::shared_ptr<FeedbackFormMultiChoiceItem> decode(Decoder& d) {
    return FeedbackFormItem::decodeAs<FeedbackFormMultiChoiceItem>(d);
  }
};

}  // namespace quarn
