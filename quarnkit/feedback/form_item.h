// The questions of a feedback form: FeedbackFormItem is the base every kind
// shares (id, kind, answer key, whether it is required, question text), and
// each kind adds its own members: a hint for free text, the options for the
// choice kinds (text options or image options).
//
// Questions are shared objects decoded through the items registry
// (form_items_registry.h), base members first, then the kind's own:
//
//   {"id": 3, "type": "single_choice", "isRequired": true, "text": "How often?",
//    "items": [{"id": 1, "text": "Daily"}, {"id": 2, "text": "Weekly"}]}
//
// A question encodes back under the same keys, optional members only when
// present.
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
  using RawStringValue::RawStringValue;

  static const FeedbackFormItemType text;
  static const FeedbackFormItemType singleChoice;
  static const FeedbackFormItemType singleChoiceSelect;
  static const FeedbackFormItemType multiChoice;
  static const FeedbackFormItemType imageSingleChoice;
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

  std::int64_t id = 0;
  FeedbackFormItemType type;
  /// The key its answer is sent under.
  std::optional<std::string> key;
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
  void encode(Encoder& e) const;
  /// The members decodeMembers() reads, for the form's JSON Schema; a
  /// subclass that reads more hides this with a list that starts with its
  /// base's.
  static std::vector<json_schema::Member> jsonSchemaMembers();

 protected:
  FeedbackFormItem() = default;
  FeedbackFormItem(const FeedbackFormItem&) = default;
  FeedbackFormItem& operator=(const FeedbackFormItem&) = default;

  /// Reads (writes) this class's members; an override calls its base first.
  virtual void decodeMembers(KeyedDecodingContainer& c);
  virtual void encodeMembers(KeyedEncodingContainer& c) const;
};

/// A free-text question.
class FeedbackFormTextItem : public FeedbackFormItem {
 public:
  std::optional<std::string> hint;

  static std::shared_ptr<FeedbackFormTextItem> decode(Decoder& d) {
    return decodeAs<FeedbackFormTextItem>(d);
  }
  /// The base members and "hint".
  static std::vector<json_schema::Member> jsonSchemaMembers();

 protected:
  void decodeMembers(KeyedDecodingContainer& c) override;
  void encodeMembers(KeyedEncodingContainer& c) const override;
};

/// An option with a text.
struct FeedbackFormChoiceTextElement {
  std::int64_t id = 0;
  std::optional<std::string> text;

  static FeedbackFormChoiceTextElement decode(Decoder& d);
  /// The JSON Schema of an option as decode() reads it.
  static Value jsonSchema();
  void encode(Encoder& e) const;
  friend bool operator==(const FeedbackFormChoiceTextElement&,
                         const FeedbackFormChoiceTextElement&) = default;
};

/// An option shown as an image, optionally with a caption and a link.
struct FeedbackFormChoiceImageElement {
  std::int64_t id = 0;
  std::optional<std::string> caption;
  std::optional<URL> imageUrl;
  std::optional<URL> link;
  std::optional<std::int64_t> entityId;
  std::optional<std::string> entityType;

  static FeedbackFormChoiceImageElement decode(Decoder& d);
  /// The JSON Schema of an option as decode() reads it.
  static Value jsonSchema();
  void encode(Encoder& e) const;
  friend bool operator==(const FeedbackFormChoiceImageElement&,
                         const FeedbackFormChoiceImageElement&) = default;
};

/// A question answered by choosing one of its options.
template <class Element>
class FeedbackFormChoiceItem : public FeedbackFormItem {
 public:
  static constexpr bool isMultipleChoice = false;

  std::vector<Element> items;
  std::optional<std::string> hint;

  /// isMultipleChoice of the question's own class.
  [[nodiscard]] virtual bool multipleChoice() const { return isMultipleChoice; }

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
  static constexpr bool isMultipleChoice = true;

  [[nodiscard]] bool multipleChoice() const override { return isMultipleChoice; }

  static std::shared_ptr<FeedbackFormMultiChoiceItem> decode(Decoder& d) {
    return FeedbackFormItem::decodeAs<FeedbackFormMultiChoiceItem>(d);
  }
};

}  // namespace quarn
