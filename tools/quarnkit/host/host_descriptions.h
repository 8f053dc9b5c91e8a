// The item descriptions the tool registers so that any template previews:
// section-making versions of the built-in divider, rows and tags
// descriptions, and generic descriptions over GenericEntity for every other
// type a template names. A type whose raw value ends in "list" gets a list
// description ("list" itself the class-dispatched list of the library, any
// other such type a plain list of entities); every other type a
// single-entity one.
//
//   HostRegistry host(environment);
//   host.registerTypes(parseJSON(templateText));   // before decoding it
//   host.registerClasses(parseJSON(resultsText));  // before decoding results
//   decodeCompositeListTemplate(templateText, host.registry());
#pragma once

#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "quarnkit/composite_list/model/environment.h"
#include "quarnkit/composite_list/model/registry.h"
#include "quarnkit/core/value.h"

namespace quarn::tool {

/// The result class whose entities decode as text rows; every other class
/// name decodes as a GenericEntity.
inline constexpr const char* kRowClassName = "Row";

/// Whether a template key holds nested items: "items" or one of its device
/// variants ("items~ipad").
bool isItemsKey(std::string_view key);

class HostRegistry {
 public:
  /// A registry with the section-making built-ins. Text rows shown in
  /// sections are filtered against `environment` like template items.
  explicit HostRegistry(const std::shared_ptr<const CompositeListEnvironment>& environment);

  [[nodiscard]] const std::shared_ptr<CompositeListItemsRegistry>& registry() const {
    return registry_;
  }

  /// Registers a generic description for every item type of a template
  /// document (nested "items" arrays included) that has none yet, and maps
  /// every entity "class" name it holds.
  void registerTypes(const Value& templateDocument);
  /// Maps every entity "class" name of a results document.
  void registerClasses(const Value& document);

  /// Whether the library itself describes the type (divider, rows, tags,
  /// include).
  static bool isBuiltIn(const std::string& type);
  /// The types that got a generic description, in registration order.
  [[nodiscard]] const std::vector<std::string>& genericTypes() const { return genericTypes_; }

 private:
  void registerType(const std::string& type);
  void registerClass(const std::string& name);

  std::shared_ptr<CompositeListItemsRegistry> registry_;
  std::set<std::string> known_;
  std::vector<std::string> genericTypes_;
};

/// Calls `fn` with every element of every item array of a template document
/// (the document itself and, recursively, every "items" array), together
/// with its JSON path ("[2].items[0]").
void forEachTemplateElement(const Value& document,
                            const std::function<void(const Value&, const std::string&)>& fn);

}  // namespace quarn::tool
