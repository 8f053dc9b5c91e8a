#include "quarnkit/feedback/form_items_registry.h"

#include <mutex>

namespace quarn {

namespace {
std::mutex sharedMutex;
std::shared_ptr<FeedbackFormItemsRegistry>& sharedRegistry() {
  static std::shared_ptr<FeedbackFormItemsRegistry> registry;
  return registry;
}
}  // namespace

FeedbackFormItemsRegistry::FeedbackFormItemsRegistry() {
  using TextChoice = FeedbackFormChoiceTextElement;
  using ImageChoice = FeedbackFormChoiceImageElement;
  register_<FeedbackFormTextItem>(FeedbackFormItemType::text);
  register_<FeedbackFormChoiceItem<TextChoice>>(FeedbackFormItemType::singleChoice);
  register_<FeedbackFormChoiceItem<TextChoice>>(FeedbackFormItemType::singleChoiceSelect);
  register_<FeedbackFormMultiChoiceItem<TextChoice>>(FeedbackFormItemType::multiChoice);
  register_<FeedbackFormChoiceItem<ImageChoice>>(FeedbackFormItemType::imageSingleChoice);
  register_<FeedbackFormMultiChoiceItem<ImageChoice>>(FeedbackFormItemType::imageMultiChoice);
}

std::shared_ptr<FeedbackFormItemsRegistry> FeedbackFormItemsRegistry::shared() {
  const std::lock_guard lock(sharedMutex);
  auto& r = sharedRegistry();
  if (!r) r = std::make_shared<FeedbackFormItemsRegistry>();
  return r;
}

void FeedbackFormItemsRegistry::setShared(std::shared_ptr<FeedbackFormItemsRegistry> registry) {
  const std::lock_guard lock(sharedMutex);
  sharedRegistry() = std::move(registry);
}

}  // namespace quarn
