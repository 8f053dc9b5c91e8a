#include "quarnkit/composite_list/model/registry.h"

#include <fmt/format.h>

#include <algorithm>
#include <mutex>

#include "quarnkit/coding/platform_decoder.h"
#include "quarnkit/composite_list/model/descriptions.h"
#include "quarnkit/core/error.h"

namespace quarn {

std::string CompositeListRegistryConflict::description() const {
  return fmt::format("The {} \"{}\" is held by {}; {} cannot take it over",
                     kind == Kind::itemType ? "item type" : "entity class", name, held, offered);
}

CompositeListItemsRegistry::CompositeListItemsRegistry()
    : entityClassMap_(std::make_shared<const CompositeListEntityClassMap>()) {
  register_<DividerItemDesctiption>();
  register_<RowsItemDescription>();
  register_<TagsItemDescription>();
  register_<IncludeItemDescription>();
  builtIns_ = entries_.size();
}

namespace {
std::mutex sharedMutex;
std::shared_ptr<CompositeListItemsRegistry>& sharedRegistry() {
  static std::shared_ptr<CompositeListItemsRegistry> registry;
  return registry;
}
}  // namespace

std::shared_ptr<CompositeListItemsRegistry> CompositeListItemsRegistry::shared() {
  std::lock_guard lock(sharedMutex);
  auto& r = sharedRegistry();
  if (!r) r = std::make_shared<CompositeListItemsRegistry>();
  return r;
}

void CompositeListItemsRegistry::setShared(std::shared_ptr<CompositeListItemsRegistry> registry) {
  std::lock_guard lock(sharedMutex);
  sharedRegistry() = std::move(registry);
}

void CompositeListItemsRegistry::register_(AnyCompositeListItemDescription description) {
  std::unique_lock lock(mutex_);
  if (const std::size_t index = indexLocked(description.type()); index < entries_.size()) {
    const AnyCompositeListItemDescription& held = entries_[index];
    if (held.base == description.base) return;
    if (index >= builtIns_) {
      throw CompositeListRegistryConflict(
          CompositeListRegistryConflict::Kind::itemType, description.type().rawValue,
          held.base->descriptionTypeName(), description.base->descriptionTypeName());
    }
  }
  entries_.push_back(std::move(description));
  appendToIndexLocked(entries_.back());
}

void CompositeListItemsRegistry::appendToIndexLocked(const AnyCompositeListItemDescription& entry) {
  const std::size_t count = indexCount_.load(std::memory_order_relaxed);
  if (count == indexCapacity_) {
    // Outgrown: the slots move to a block twice the size; the old one stays
    // for whoever is reading it.
    indexCapacity_ = std::max<std::size_t>(16, indexCapacity_ * 2);
    auto block = std::make_unique<IndexSlot[]>(indexCapacity_);
    std::copy_n(index_.load(std::memory_order_relaxed), count, block.get());
    index_.store(block.get(), std::memory_order_release);
    indexBlocks_.push_back(std::move(block));
  }
  const std::string& type = entry.type().rawValue;
  index_.load(std::memory_order_relaxed)[count] =
      IndexSlot{&entry, type.size(), type.empty() ? '\0' : type.front()};
  indexCount_.store(count + 1, std::memory_order_release);
}

std::size_t CompositeListItemsRegistry::indexLocked(const CompositeListItemType& type) const {
  // Called for every item at every stage: the length and the first letter
  // rule out most entries before their texts are compared.
  const std::string& wanted = type.rawValue;
  for (std::size_t i = entries_.size(); i-- > 0;) {
    const std::string& have = entries_[i].type().rawValue;
    if (have.size() == wanted.size() && (wanted.empty() || have.front() == wanted.front()) &&
        have == wanted) {
      return i;
    }
  }
  return entries_.size();
}

const AnyCompositeListItemDescription* CompositeListItemsRegistry::findLocked(
    const CompositeListItemType& type) const {
  const std::size_t index = indexLocked(type);
  return index < entries_.size() ? &entries_[index] : nullptr;
}

const AnyCompositeListItemDescription* CompositeListItemsRegistry::description(
    const CompositeListItemType& type) const {
  // Asked for every item at every stage: read without the lock. The count
  // is read first: the slots it covers are filled in the block read after.
  const std::size_t count = indexCount_.load(std::memory_order_acquire);
  const IndexSlot* slots = index_.load(std::memory_order_acquire);
  const std::string& wanted = type.rawValue;
  const char first = wanted.empty() ? '\0' : wanted.front();
  for (std::size_t i = count; i-- > 0;) {
    const IndexSlot& slot = slots[i];
    if (slot.size == wanted.size() && slot.first == first &&
        slot.entry->type().rawValue == wanted) {
      return slot.entry;
    }
  }
  return nullptr;
}

std::vector<AnyCompositeListItemDescription> CompositeListItemsRegistry::descriptions() const {
  std::shared_lock lock(mutex_);
  std::vector<AnyCompositeListItemDescription> out;
  out.reserve(entries_.size());
  for (const auto& entry : entries_) {
    if (findLocked(entry.type()) == &entry) out.push_back(entry);
  }
  return out;
}

void CompositeListItemsRegistry::registerEntityClass(const std::string& name,
                                                     CompositeListEntityClass entityClass) {
  CompositeListEntityClassMap one;
  one.emplace(name, std::move(entityClass));
  registerEntityClasses(one);
}

void CompositeListItemsRegistry::registerEntityClasses(const CompositeListEntityClassMap& classes) {
  std::unique_lock lock(mutex_);
  std::shared_ptr<CompositeListEntityClassMap> next;
  for (const auto& [name, entityClass] : classes) {
    const auto found = entityClassMap_->find(name);
    if (found == entityClassMap_->end()) {
      if (!next) next = std::make_shared<CompositeListEntityClassMap>(*entityClassMap_);
      next->emplace(name, entityClass);
    } else if (found->second.typeName != entityClass.typeName) {
      throw CompositeListRegistryConflict(CompositeListRegistryConflict::Kind::entityClass, name,
                                          found->second.typeName, entityClass.typeName);
    }
  }
  // Readers keep the map they took; the new one replaces it for later ones.
  if (next) entityClassMap_ = std::move(next);
}

std::shared_ptr<const CompositeListEntityClassMap> CompositeListItemsRegistry::entityClassMap()
    const {
  std::shared_lock lock(mutex_);
  return entityClassMap_;
}

std::vector<CompositeListItemType> CompositeListItemsRegistry::ignoreItemTypes() const {
  std::shared_lock lock(mutex_);
  return ignoreItemTypes_;
}

void CompositeListItemsRegistry::setIgnoreItemTypes(std::vector<CompositeListItemType> types) {
  std::unique_lock lock(mutex_);
  ignoreItemTypes_ = std::move(types);
}

CompositeListItemDecoder CompositeListItemDecoder::decode(Decoder& d) {
  // Every element is read with device variants ("title~ipad" for "title" on
  // a tablet), at every depth. The device does not change during one
  // template: ask for it once.
  PlatformDecoder variants(d, "~", true, currentDeviceSuffix());
  auto list = variants.unkeyedContainer();
  const auto* registry =
      d.userInfo().get<std::shared_ptr<CompositeListItemsRegistry>>(kCompositeListItemsReqistryKey);
  if (registry == nullptr || !*registry) {
    fatalError(
        "[CompositeListItemDecoder] Need to provide userInfo[.compositeListItemsReqistry] for "
        "decoder");
  }
  const CompositeListItemsRegistry& r = **registry;
  // Taken once: a change during the decoding applies to the next one.
  const std::vector<CompositeListItemType> ignored = r.ignoreItemTypes();
  CompositeListItemDecoder out;
  if (auto n = list->count()) out.items.reserve(static_cast<std::size_t>(*n));
  while (!list->isAtEnd()) {
    list->decodeNested([&](Decoder& element) {
      auto object = element.container();
      if (!object->contains("type")) return;
      const CompositeListItemType type(object->decode<std::string>("type"));
      if (std::find(ignored.begin(), ignored.end(), type) != ignored.end()) return;
      const AnyCompositeListItemDescription* entry = r.description(type);
      if (entry == nullptr) return;
      ReopenedDecoder record(element, std::move(object));
      out.items.push_back(entry->decode(record));
    });
  }
  return out;
}

std::vector<AnyCompositeListItem> decodeCompositeListTemplate(
    std::string_view json, std::shared_ptr<CompositeListItemsRegistry> registry,
    JSONDecoder decoder) {
  if (!decoder.userInfo.contains(kCompositeListEntityClassMapKey)) {
    decoder.userInfo.set(std::string(kCompositeListEntityClassMapKey), registry->entityClassMap());
  }
  decoder.userInfo.set(std::string(kCompositeListItemsReqistryKey), std::move(registry));
  return decoder.decode<CompositeListItemDecoder>(json).items;
}

}  // namespace quarn
