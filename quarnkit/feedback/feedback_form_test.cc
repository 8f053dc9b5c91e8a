#include "quarnkit/feedback/feedback_form.h"

#include <gtest/gtest.h>

#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/coding/json_encoder.h"
#include "quarnkit/feedback/feedback_form_answer.h"
#include "quarnkit/feedback/form_items_registry.h"
#include "quarnkit/testing/support.h"

namespace quarn {
namespace {

using TextChoice = FeedbackFormChoiceItem<FeedbackFormChoiceTextElement>;
using TextMultiChoice = FeedbackFormMultiChoiceItem<FeedbackFormChoiceTextElement>;
using ImageChoice = FeedbackFormChoiceItem<FeedbackFormChoiceImageElement>;
using ImageMultiChoice = FeedbackFormMultiChoiceItem<FeedbackFormChoiceImageElement>;

constexpr const char* kForm = R"({
  "id": 12, "title": "Your opinion", "alias": "onboarding", "expiryDate": "2027-01-31T00:00:00Z",
  "items": [
    {"id": 1, "type": "text", "key": "comment", "isRequired": false, "hint": "Anything"},
    {"id": 2, "type": "single_choice", "key": "often", "isRequired": true,
     "items": [{"id": 1, "text": "Daily"}, {"id": 2}]},
    {"id": 3, "type": "rating", "isRequired": true},
    {"text": "no type: dropped"},
    {"id": 4, "type": "single_choice_select", "isRequired": true, "items": []},
    {"id": 5, "type": "multi_choice", "isRequired": false, "items": [{"id": 9, "text": "A"}]},
    {"id": 6, "type": "image_single_choice", "isRequired": false, "items": [{"id": 1}]},
    {"id": 7, "type": "image_multi_choice", "isRequired": false,
     "items": [{"id": 1, "caption": "Cat", "imageUrl": "https://example.com/c.png",
                "link": "https://example.com/c", "entityId": 5, "entityType": "pet"}]}
  ]})";

JSONDecoder isoDecoder() {
  JSONDecoder d;
  d.dateDecodingStrategy = DateDecodingStrategy::iso8601();
  return d;
}

TEST(FeedbackFormTest, DecodesEveryKindAndDropsWhatItCannotPlace) {
  const FeedbackForm form = isoDecoder().decode<FeedbackForm>(kForm);
  EXPECT_EQ(form.id, 12);
  EXPECT_EQ(form.alias, "onboarding");
  EXPECT_TRUE(form.refill);
  EXPECT_EQ(form.expiryDate->timeIntervalSince1970(), 1801353600);

  std::vector<std::int64_t> ids;
  for (const auto& item : form.items) ids.push_back(item->id);
  EXPECT_EQ(ids, (std::vector<std::int64_t>{1, 2, 4, 5, 6, 7}));

  const auto& text = dynamic_cast<const FeedbackFormTextItem&>(*form.items[0]);
  EXPECT_EQ(text.hint, "Anything");
  EXPECT_EQ(text.key, "comment");
  // The two single-choice kinds share a class.
  const FeedbackFormItem& second = *form.items[1];
  const FeedbackFormItem& third = *form.items[2];
  EXPECT_EQ(typeid(second), typeid(TextChoice));
  EXPECT_EQ(typeid(third), typeid(TextChoice));
  const auto& often = dynamic_cast<const TextChoice&>(*form.items[1]);
  EXPECT_EQ(often.items, (std::vector<FeedbackFormChoiceTextElement>{{1, "Daily"}, {2, {}}}));
  EXPECT_FALSE(often.multipleChoice());
  EXPECT_TRUE(dynamic_cast<const TextMultiChoice&>(*form.items[3]).multipleChoice());
  FeedbackFormChoiceImageElement onlyId;
  onlyId.id = 1;
  EXPECT_EQ(dynamic_cast<const ImageChoice&>(*form.items[4]).items[0], onlyId);
  const auto& pets = dynamic_cast<const ImageMultiChoice&>(*form.items[5]);
  EXPECT_EQ(pets.items[0].link->absoluteString(), "https://example.com/c");
  EXPECT_EQ(pets.items[0].entityId, 5);
  static_assert(ImageMultiChoice::isMultipleChoice && !ImageChoice::isMultipleChoice);

  EXPECT_FALSE(JSONDecoder().decode<FeedbackForm>(R"({"id":1,"items":[],"refill":false})").refill);
}

TEST(FeedbackFormTest, FailuresNameTheCodingPath) {
  struct Row {
    const char* json;
    DecodingError::Kind kind;
    const char* path;
  };
  const Row rows[] = {
      {R"({"items":[]})", DecodingError::Kind::keyNotFound, ""},
      {R"({"id":1})", DecodingError::Kind::keyNotFound, ""},
      {R"({"id":1,"items":{}})", DecodingError::Kind::typeMismatch, "items"},
      {R"({"id":1,"refill":"yes","items":[]})", DecodingError::Kind::typeMismatch, "refill"},
      {R"({"id":1,"items":[{"type":"text"},{"id":2,"type":"text","isRequired":true}]})",
       DecodingError::Kind::keyNotFound, "items[0]"},
      {R"({"id":1,"items":[{"x":1},{"id":2,"type":"text"}]})", DecodingError::Kind::keyNotFound,
       "items[1]"},
      {R"({"id":1,"items":[{"id":2,"type":"text","isRequired":"no"}]})",
       DecodingError::Kind::typeMismatch, "items[0].isRequired"},
      {R"({"id":1,"items":[{"id":2,"type":7,"isRequired":true}]})",
       DecodingError::Kind::typeMismatch, "items[0].type"},
      {R"({"id":1,"items":[{"id":2,"type":"multi_choice","isRequired":true}]})",
       DecodingError::Kind::keyNotFound, "items[0]"},
      {R"({"id":1,"items":[{"id":2,"type":"multi_choice","isRequired":true,"items":[{"id":1},{}]}]})",
       DecodingError::Kind::keyNotFound, "items[0].items[1]"},
      {R"({"id":1,"items":[{"id":2,"type":"image_single_choice","isRequired":true,)"
       R"("items":[{"id":1,"imageUrl":3}]}]})",
       DecodingError::Kind::typeMismatch, "items[0].items[0].imageUrl"},
      {R"({"id":1,"items":[7]})", DecodingError::Kind::typeMismatch, "items[0]"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.json);
    try {
      (void)JSONDecoder().decode<FeedbackForm>(row.json);
      ADD_FAILURE() << "decoded";
    } catch (const DecodingError& e) {
      EXPECT_EQ(e.kind(), row.kind) << e.description();
      EXPECT_EQ(codingPathDescription(e.codingPath()), row.path) << e.description();
    }
  }
}

// A host's own question kind.
class RatingItem final : public FeedbackFormItem {
 public:
  std::int64_t stars = 5;

 protected:
  void decodeMembers(KeyedDecodingContainer& c) override {
    FeedbackFormItem::decodeMembers(c);
    stars = c.decodeIfPresent<std::int64_t>("stars").value_or(5);
  }
};

TEST(FeedbackFormTest, RegisteredKindsAreDecodedWithTheSharedRegistry) {
  const auto saved = FeedbackFormItemsRegistry::shared();
  auto registry = std::make_shared<FeedbackFormItemsRegistry>();
  registry->register_<RatingItem>(FeedbackFormItemType("rating"));
  registry->replace<TextMultiChoice>(FeedbackFormItemType::singleChoice);
  FeedbackFormItemsRegistry::setShared(registry);
  const FeedbackForm form = isoDecoder().decode<FeedbackForm>(kForm);
  FeedbackFormItemsRegistry::setShared(saved);

  ASSERT_EQ(form.items.size(), 7U);
  const FeedbackFormItem& second = *form.items[1];
  EXPECT_EQ(typeid(second), typeid(TextMultiChoice));
  EXPECT_EQ(dynamic_cast<const RatingItem&>(*form.items[2]).stars, 5);
  EXPECT_EQ(FeedbackFormItemsRegistry().itemClassMap().size(), 6U);
}

using RegistryCase = FeedbackFormItemsRegistryError::Case;

template <class F>
std::optional<RegistryCase> refusal(F&& f) {
  const auto error = quarn::testing::errorOfType<FeedbackFormItemsRegistryError>(f);
  if (!error) return std::nullopt;
  return error->errorCase();
}

TEST(FeedbackFormItemsRegistryTest, AKindIsNeverRepointedSilently) {
  FeedbackFormItemsRegistry registry;
  const FeedbackFormItemType rating("rating");
  registry.register_<RatingItem>(rating);
  registry.register_<RatingItem>(rating);
  EXPECT_EQ(refusal([&] { registry.register_<FeedbackFormTextItem>(rating); }),
            RegistryCase::kindRegisteredForAnotherClass);
  EXPECT_EQ(refusal([&] { registry.register_<TextMultiChoice>(FeedbackFormItemType::text); }),
            RegistryCase::kindRegisteredForAnotherClass);
  EXPECT_EQ(*registry.itemClass(rating), FeedbackFormItemClass::of<RatingItem>());
  EXPECT_EQ(*registry.itemClass(FeedbackFormItemType::text),
            FeedbackFormItemClass::of<FeedbackFormTextItem>());

  const auto error = quarn::testing::errorOfType<FeedbackFormItemsRegistryError>(
      [] { FeedbackFormItemsRegistry().register_<RatingItem>(FeedbackFormItemType::multiChoice); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->description(), "kindRegisteredForAnotherClass(multi_choice)");
}

TEST(FeedbackFormItemsRegistryTest, UseFreezesTheRegistryAndACopyIsANewSetUp) {
  const auto saved = FeedbackFormItemsRegistry::shared();
  auto registry = std::make_shared<FeedbackFormItemsRegistry>();
  FeedbackFormItemsRegistry::setShared(registry);
  EXPECT_FALSE(registry->isFrozen());
  EXPECT_EQ(isoDecoder().decode<FeedbackForm>(kForm).items.size(), 6U);
  EXPECT_TRUE(registry->isFrozen());

  // A late registration is loud, and the forms decode as before.
  EXPECT_EQ(refusal([&] { registry->register_<RatingItem>(FeedbackFormItemType("rating")); }),
            RegistryCase::registeredAfterFirstUse);
  EXPECT_EQ(refusal([&] { registry->replace<RatingItem>(FeedbackFormItemType::text); }),
            RegistryCase::registeredAfterFirstUse);
  EXPECT_EQ(refusal([&] { *registry = FeedbackFormItemsRegistry(); }),
            RegistryCase::registeredAfterFirstUse);
  EXPECT_EQ(registry->itemClass(FeedbackFormItemType("rating")), nullptr);
  EXPECT_EQ(isoDecoder().decode<FeedbackForm>(kForm).items.size(), 6U);

  // The way to change kinds later: a copy, changed, made the shared one.
  auto next = std::make_shared<FeedbackFormItemsRegistry>(*registry);
  EXPECT_FALSE(next->isFrozen());
  next->register_<RatingItem>(FeedbackFormItemType("rating"));
  FeedbackFormItemsRegistry::setShared(next);
  EXPECT_EQ(isoDecoder().decode<FeedbackForm>(kForm).items.size(), 7U);
  EXPECT_EQ(registry->itemClassMap().size(), 6U);
  FeedbackFormItemsRegistry::setShared(saved);

  // A class without a decode places nothing, as an unknown kind.
  FeedbackFormItemsRegistry empty;
  empty.register_(FeedbackFormItemClass{}, FeedbackFormItemType("void"));
  auto withEmpty = std::make_shared<FeedbackFormItemsRegistry>(empty);
  FeedbackFormItemsRegistry::setShared(withEmpty);
  EXPECT_TRUE(JSONDecoder()
                  .decode<FeedbackForm>(R"({"id":1,"items":[{"id":1,"type":"void"}]})")
                  .items.empty());
  FeedbackFormItemsRegistry::setShared(saved);
}

TEST(FeedbackFormTest, EncodesUnderTheSameKeys) {
  JSONEncoder encoder;
  encoder.dateEncodingStrategy = DateEncodingStrategy::iso8601();
  const FeedbackForm form = isoDecoder().decode<FeedbackForm>(kForm);
  const std::string json = encoder.encode(form);
  EXPECT_EQ(encoder.encode(isoDecoder().decode<FeedbackForm>(json)), json);
  EXPECT_EQ(
      json.substr(0, 97),
      R"({"id":12,"title":"Your opinion","alias":"onboarding","expiryDate":"2027-01-31T00:00:00Z",)"
      R"("refill")");
  EXPECT_NE(json.find(R"({"id":2,"type":"single_choice","key":"often","isRequired":true,)"
                      R"("items":[{"id":1,"text":"Daily"},{"id":2}]})"),
            std::string::npos);
}

TEST(FeedbackFormAnswerTest, EncodesABareArrayOfPresentMembers) {
  const JSONEncoder encoder;
  EXPECT_EQ(encoder.encode(FeedbackFormAnswer({})), "[]");
  const FeedbackFormAnswer answer({
      FeedbackFormAnswer::item<std::string>("comment", std::nullopt),
      FeedbackFormAnswer::item<std::int64_t>("often", 2),
      FeedbackFormAnswer::item<std::vector<std::int64_t>>(std::nullopt,
                                                          std::vector<std::int64_t>{1, 3}),
  });
  const std::string json = encoder.encode(answer);
  EXPECT_EQ(json, R"([{"key":"comment"},{"key":"often","answer":2},{"answer":[1,3]}])");
  const auto back =
      JSONDecoder().decode<FeedbackFormAnswer::Item<std::int64_t>>(R"({"key":"often","answer":2})");
  EXPECT_EQ(back.key(), "often");
  EXPECT_EQ(back.answer(), 2);
}

}  // namespace
}  // namespace quarn
