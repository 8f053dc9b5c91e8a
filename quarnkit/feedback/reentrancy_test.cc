// What a host may do from inside a question class's decode, which form
// decoding calls through the shared items registry.
#include "quarnkit/testing/reentrancy.h"

#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/feedback/feedback_form.h"
#include "quarnkit/feedback/form_items_registry.h"
#include "quarnkit/testing/support.h"

namespace quarn {
namespace {

using testing::HostAction;

// What the host's question class does before decoding, set by each row.
std::function<void()>& inside() {
  static std::function<void()> hook;
  return hook;
}

class HookedItem final : public FeedbackFormItem {
 protected:
  void decodeMembers(KeyedDecodingContainer& c) override {
    if (const auto hook = inside()) hook();
    FeedbackFormItem::decodeMembers(c);
  }
};

const FeedbackFormItemType kHooked("hooked");

constexpr const char* kForm =
    R"({"id":1,"items":[{"id":1,"type":"hooked","isRequired":true},)"
    R"({"id":2,"type":"text","isRequired":false},{"id":3,"type":"hooked","isRequired":true}]})";

std::vector<std::int64_t> ids(const FeedbackForm& form) {
  std::vector<std::int64_t> out;
  for (const auto& item : form.items) out.push_back(item->id);
  return out;
}

// Makes a registry with the hooked kind the shared one while it lives.
struct SharedHooked {
  std::shared_ptr<FeedbackFormItemsRegistry> saved = FeedbackFormItemsRegistry::shared();
  std::shared_ptr<FeedbackFormItemsRegistry> registry =
      std::make_shared<FeedbackFormItemsRegistry>();
  SharedHooked() {
    registry->register_<HookedItem>(kHooked);
    FeedbackFormItemsRegistry::setShared(registry);
  }
  ~SharedHooked() {
    inside() = nullptr;
    FeedbackFormItemsRegistry::setShared(saved);
  }
  SharedHooked(const SharedHooked&) = delete;
  SharedHooked& operator=(const SharedHooked&) = delete;
};

TEST(FeedbackReentrancyTest, QuestionClassDecode) {
  testing::runReentrancyTable({
      {"question class decode", HostAction::release,
       "the host drops the registry in use (replacing the shared one); the form finishes "
       "with it, the next form uses the new one",
       [] {
         SharedHooked shared;
         std::weak_ptr<FeedbackFormItemsRegistry> used = shared.registry;
         inside() = [&] {
           shared.registry.reset();
           FeedbackFormItemsRegistry::setShared(std::make_shared<FeedbackFormItemsRegistry>());
         };
         EXPECT_EQ(ids(JSONDecoder().decode<FeedbackForm>(kForm)),
                   (std::vector<std::int64_t>{1, 2, 3}));
         EXPECT_TRUE(used.expired());
         EXPECT_EQ(ids(JSONDecoder().decode<FeedbackForm>(kForm)), (std::vector<std::int64_t>{2}));
       }},
      {"question class decode", HostAction::reenter,
       "a form decoded inside uses the same registry; both forms are whole",
       [] {
         SharedHooked shared;
         std::vector<std::int64_t> inner;
         inside() = [&] {
           if (!inner.empty()) return;
           inner.push_back(0);
           for (auto id : ids(JSONDecoder().decode<FeedbackForm>(kForm))) inner.push_back(id);
         };
         EXPECT_EQ(ids(JSONDecoder().decode<FeedbackForm>(kForm)),
                   (std::vector<std::int64_t>{1, 2, 3}));
         EXPECT_EQ(inner, (std::vector<std::int64_t>{0, 1, 2, 3}));
       }},
      {"question class decode", HostAction::reenter,
       "registering into the registry in use throws registeredAfterFirstUse, which fails "
       "the form; the registry is unchanged and decodes the next form",
       [] {
         SharedHooked shared;
         inside() = [&] { shared.registry->register_<HookedItem>(FeedbackFormItemType("late")); };
         const auto error = testing::errorOfType<FeedbackFormItemsRegistryError>(
             [] { (void)JSONDecoder().decode<FeedbackForm>(kForm); });
         ASSERT_TRUE(error);
         EXPECT_EQ(error->errorCase(),
                   FeedbackFormItemsRegistryError::Case::registeredAfterFirstUse);
         EXPECT_EQ(shared.registry->itemClass(FeedbackFormItemType("late")), nullptr);
         inside() = nullptr;
         EXPECT_EQ(ids(JSONDecoder().decode<FeedbackForm>(kForm)),
                   (std::vector<std::int64_t>{1, 2, 3}));
       }},
      {"question class decode", HostAction::raise,
       "the exception fails the form and propagates unchanged; the next form decodes",
       [] {
         SharedHooked shared;
         inside() = [] { throw std::length_error("question"); };
         EXPECT_THROW((void)JSONDecoder().decode<FeedbackForm>(kForm), std::length_error);
         inside() = nullptr;
         EXPECT_EQ(ids(JSONDecoder().decode<FeedbackForm>(kForm)),
                   (std::vector<std::int64_t>{1, 2, 3}));
       }},
  });
}

}  // namespace
}  // namespace quarn
