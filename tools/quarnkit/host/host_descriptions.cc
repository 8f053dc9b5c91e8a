#include "tools/quarnkit/host/host_descriptions.h"

#include <fmt/format.h>

#include "quarnkit/composite_list/fetching/sections_provider.h"
#include "quarnkit/composite_list/model/descriptions.h"
#include "quarnkit/composite_list/model/element_filter.h"
#include "tools/quarnkit/host/generic_entity.h"
#include "tools/quarnkit/host/host_section.h"

namespace quarn::tool {

namespace {

template <class T>
std::vector<platform::AnyHashable> hashables(const std::vector<T>& entities) {
  std::vector<platform::AnyHashable> out;
  out.reserve(entities.size());
  for (const auto& e : entities) out.emplace_back(e);
  return out;
}

// Built-ins that make sections. Text rows are filtered like items, as a host
// screen filters them before showing them.
template <class Description>
class RowSections : public Description, public CompositeListSectionProviding {
 public:
  explicit RowSections(std::shared_ptr<const CompositeListEnvironment> environment)
      : environment_(std::move(environment)) {}
  std::shared_ptr<BaseCollectionSection> section(
      const AnyCompositeListItem& item, const CompositeListSectionContext&) const override {
    std::vector<CompositeListRow> rows =
        item.getEntityArray<CompositeListRow>().value_or(std::vector<CompositeListRow>{});
    rows = filter(rows, std::nullopt, environment_.get());
    return std::make_shared<HostSection>(item, hashables(rows));
  }

 private:
  std::shared_ptr<const CompositeListEnvironment> environment_;
};

// Dividers make an empty section: never shown, but no failure either; the
// sections provider draws the separator of the next section.
class DividerSections : public DividerItemDesctiption, public CompositeListSectionProviding {
 public:
  std::shared_ptr<BaseCollectionSection> section(
      const AnyCompositeListItem& item, const CompositeListSectionContext&) const override {
    return std::make_shared<HostSection>(item, std::vector<platform::AnyHashable>{});
  }
};

// Generic descriptions: the type is a member, so one class serves every type.
template <class Base, class Element>
class GenericSections : public Base, public CompositeListSectionProviding {
 public:
  explicit GenericSections(CompositeListItemType type) : type_(std::move(type)) {}
  [[nodiscard]] CompositeListItemType type() const override { return type_; }
  [[nodiscard]] std::string descriptionTypeName() const override {
    return "GenericItemDescription(" + type_.rawValue + ")";
  }
  std::shared_ptr<BaseCollectionSection> section(
      const AnyCompositeListItem& item, const CompositeListSectionContext&) const override {
    auto entities = item.getEntityArray<Element>().value_or(std::vector<Element>{});
    return std::make_shared<HostSection>(item, hashables(entities));
  }

 private:
  CompositeListItemType type_;
};

using SingleSections = GenericSections<CompositeListItemDescription<GenericEntity>, GenericEntity>;
using PlainListSections =
    GenericSections<CompositeListItemDescription<std::vector<GenericEntity>>, GenericEntity>;
using ClassListSections =
    GenericSections<ListItemDescription<GenericEntity>, CompositeListEntity<GenericEntity>>;

void walkItems(const Value& array, const std::string& path,
               const std::function<void(const Value&, const std::string&)>& fn) {
  const Value::Array* elements = array.ifArray();
  if (elements == nullptr) return;
  for (std::size_t i = 0; i < elements->size(); ++i) {
    const Value& element = (*elements)[i];
    const std::string elementPath = fmt::format("{}[{}]", path, i);
    fn(element, elementPath);
    if (const Value::Object* object = element.ifObject()) {
      for (const auto& [key, value] : *object) {
        if (isItemsKey(key)) walkItems(value, fmt::format("{}.{}", elementPath, key), fn);
      }
    }
  }
}

void forEachClassName(const Value& value, const std::function<void(const std::string&)>& fn) {
  if (const Value::Array* array = value.ifArray()) {
    for (const Value& v : *array) forEachClassName(v, fn);
  } else if (const Value::Object* object = value.ifObject()) {
    if (const Value* name = object->find("class"); name && name->isString()) fn(*name->ifString());
    for (const auto& entry : *object) forEachClassName(entry.second, fn);
  }
}

}  // namespace

bool isItemsKey(std::string_view key) { return key == "items" || key.starts_with("items~"); }

HostRegistry::HostRegistry(const std::shared_ptr<const CompositeListEnvironment>& environment)
    : registry_(std::make_shared<CompositeListItemsRegistry>()),
      known_{"divider", "rows", "tags", "include"} {
  registry_->register_(std::make_shared<const DividerSections>());
  registry_->register_(std::make_shared<const RowSections<RowsItemDescription>>(environment));
  registry_->register_(std::make_shared<const RowSections<TagsItemDescription>>(environment));
  registry_->registerEntityClass(kRowClassName, CompositeListEntityClass::of<CompositeListRow>());
}

bool HostRegistry::isBuiltIn(const std::string& type) {
  return type == "divider" || type == "rows" || type == "tags" || type == "include";
}

void HostRegistry::registerTypes(const Value& templateDocument) {
  forEachTemplateElement(templateDocument, [&](const Value& element, const std::string&) {
    const Value* type = element.find("type");
    if (type != nullptr && type->isString()) registerType(*type->ifString());
  });
  forEachClassName(templateDocument, [&](const std::string& name) { registerClass(name); });
}

void HostRegistry::registerClasses(const Value& document) {
  forEachClassName(document, [&](const std::string& name) { registerClass(name); });
}

void HostRegistry::registerType(const std::string& raw) {
  if (!known_.insert(raw).second) return;
  const CompositeListItemType type(raw);
  if (raw == "list") {
    registry_->register_(std::make_shared<const ClassListSections>(type));
  } else if (type.isAnyListOf()) {
    registry_->register_(std::make_shared<const PlainListSections>(type));
  } else {
    registry_->register_(std::make_shared<const SingleSections>(type));
  }
  genericTypes_.push_back(raw);
}

void HostRegistry::registerClass(const std::string& name) {
  // A name already known (the row class) keeps its type.
  if (registry_->entityClassMap()->contains(name)) return;
  registry_->registerEntityClass(name, CompositeListEntityClass::of<GenericEntity>());
}

void forEachTemplateElement(const Value& document,
                            const std::function<void(const Value&, const std::string&)>& fn) {
  walkItems(document, "", fn);
}

}  // namespace quarn::tool
