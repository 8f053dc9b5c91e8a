#include "quarnkit/composite_list/model/registry.h"

#include <mutex>

#include "quarnkit/coding/platform_decoder.h"
#include "quarnkit/composite_list/model/descriptions.h"
#include "quarnkit/core/error.h"

namespace quarn {

CompositeListItemsRegistry::CompositeListItemsRegistry() {
  register_<DividerItemDesctiption>();
  register_<RowsItemDescription>();
  register_<TagsItemDescription>();
  register_<IncludeItemDescription>();
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

const AnyCompositeListItemDescription* CompositeListItemsRegistry::description(
    const CompositeListItemType& type) const {
  // Called for every item at every stage: the length and the first letter
  // rule out most entries before their texts are compared.
  const std::string& wanted = type.rawValue;
  for (auto it = descriptions.rbegin(); it != descriptions.rend(); ++it) {
    const std::string& have = it->type().rawValue;
    if (have.size() == wanted.size() && (wanted.empty() || have.front() == wanted.front()) &&
        have == wanted) {
      return &*it;
    }
  }
  return nullptr;
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
  CompositeListItemDecoder out;
  if (auto n = list->count()) out.items.reserve(static_cast<std::size_t>(*n));
  while (!list->isAtEnd()) {
    list->decodeNested([&](Decoder& element) {
      auto object = element.container();
      if (!object->contains("type")) return;
      const CompositeListItemType type(object->decode<std::string>("type"));
      for (const auto& ignored : r.ignoreItemTypes) {
        if (ignored == type) return;
      }
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
    decoder.userInfo.set(
        std::string(kCompositeListEntityClassMapKey),
        std::make_shared<const CompositeListEntityClassMap>(registry->entityClassMap));
  }
  decoder.userInfo.set(std::string(kCompositeListItemsReqistryKey), std::move(registry));
  return decoder.decode<CompositeListItemDecoder>(json).items;
}

}  // namespace quarn
