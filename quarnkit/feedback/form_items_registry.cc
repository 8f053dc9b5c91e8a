#include "quarnkit/feedback/form_items_registry.h"

#include <mutex>
#include <utility>

namespace quarn {

namespace {
std::mutex sharedMutex;
std::shared_ptr<FeedbackFormItemsRegistry>& sharedRegistry() {
  static std::shared_ptr<FeedbackFormItemsRegistry> registry;
  return registry;
}
}  // namespace

std::string FeedbackFormItemsRegistryError::description() const {
  const char* name = case_ == Case::kindRegisteredForAnotherClass ? "kindRegisteredForAnotherClass"
                                                                  : "registeredAfterFirstUse";
  return std::string(name) + "(" + kind_.rawValue + ")";
}

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

FeedbackFormItemsRegistry::FeedbackFormItemsRegistry(const FeedbackFormItemsRegistry& other) {
  const auto lock = other.freeze_.lock();
  itemClassMap_ = other.itemClassMap_;
}

FeedbackFormItemsRegistry& FeedbackFormItemsRegistry::operator=(
    const FeedbackFormItemsRegistry& other) {
  if (this == &other) return *this;
  ItemClassMap copy = FeedbackFormItemsRegistry(other).itemClassMap_;
  const auto lock = freeze_.lock();
  if (freeze_.frozen()) {
    throw FeedbackFormItemsRegistryError(
        FeedbackFormItemsRegistryError::Case::registeredAfterFirstUse, FeedbackFormItemType(""));
  }
  itemClassMap_ = std::move(copy);
  return *this;
}

void FeedbackFormItemsRegistry::file(FeedbackFormItemClass itemClass,
                                     const FeedbackFormItemType& type, bool replacing) {
  using Refusal = FeedbackFormItemsRegistryError;
  const auto lock = freeze_.lock();
  if (freeze_.frozen()) throw Refusal(Refusal::Case::registeredAfterFirstUse, type);
  auto [it, inserted] = itemClassMap_.try_emplace(type, itemClass);
  if (inserted || it->second == itemClass) return;
  if (!replacing) throw Refusal(Refusal::Case::kindRegisteredForAnotherClass, type);
  it->second = itemClass;
}

const FeedbackFormItemClass* FeedbackFormItemsRegistry::itemClass(
    const FeedbackFormItemType& type) const {
  freeze_.freeze();
  const auto it = itemClassMap_.find(type);
  return it == itemClassMap_.end() ? nullptr : &it->second;
}

const FeedbackFormItemsRegistry::ItemClassMap& FeedbackFormItemsRegistry::itemClassMap() const {
  freeze_.freeze();
  return itemClassMap_;
}

std::shared_ptr<FeedbackFormItemsRegistry> FeedbackFormItemsRegistry::shared() {
  const std::lock_guard lock(sharedMutex);
  auto& r = sharedRegistry();
  if (!r) r = std::make_shared<FeedbackFormItemsRegistry>();
  return r;
}

void FeedbackFormItemsRegistry::setShared(std::shared_ptr<FeedbackFormItemsRegistry> registry) {
  // The old registry is released outside the lock.
  std::shared_ptr<FeedbackFormItemsRegistry> old;
  {
    const std::lock_guard lock(sharedMutex);
    old = std::exchange(sharedRegistry(), std::move(registry));
  }
}

}  // namespace quarn
