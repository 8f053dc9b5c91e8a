// CompositeListItemsRegistry: the item descriptions by type, the entity class
// map used to decode results, and the item types to drop from templates.
// Look-ups search from the last registration back, so a later registration
// for a type replaces an earlier one (built-ins included).
//
// The registry is configured at start-up and only read afterwards; it has no
// lock.
#pragma once

#include <memory>
#include <vector>

#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/composite_list/model/description.h"
#include "quarnkit/composite_list/model/entity.h"

namespace quarn {

class CompositeListItemsRegistry {
 public:
  /// A registry with the built-ins: divider, rows, tags, include.
  CompositeListItemsRegistry();

  /// The process-wide registry, created on first use; replaceable.
  static std::shared_ptr<CompositeListItemsRegistry> shared();
  static void setShared(std::shared_ptr<CompositeListItemsRegistry> registry);

  void register_(AnyCompositeListItemDescription description) {
    descriptions.push_back(std::move(description));
  }
  void register_(const std::shared_ptr<const CompositeListItemDescriptionBase>& description) {
    descriptions.emplace_back(description);
  }
  /// The same for a description known by its class (see
  /// AnyCompositeListItemDescription::of).
  template <std::derived_from<CompositeListItemDescriptionBase> D>
  requires(
      !std::is_same_v<std::remove_const_t<D>,
                      CompositeListItemDescriptionBase>) void register_(const std::shared_ptr<D>&
                                                                            description) {
    descriptions.push_back(AnyCompositeListItemDescription::of(description));
  }
  /// Registers the instance of a description class.
  template <class D>
  void register_() {
    register_(descriptionInstance<D>());
  }

  /// The entry for a type: the last one registered, or nothing.
  [[nodiscard]] const AnyCompositeListItemDescription* description(
      const CompositeListItemType& type) const;
  /// The description for a type when it is (a subclass of) T.
  template <class T>
  [[nodiscard]] std::shared_ptr<const T> description(const CompositeListItemType& type) const {
    const AnyCompositeListItemDescription* entry = description(type);
    return entry ? std::dynamic_pointer_cast<const T>(entry->base) : nullptr;
  }

  std::vector<AnyCompositeListItemDescription> descriptions;
  CompositeListEntityClassMap entityClassMap;
  std::vector<CompositeListItemType> ignoreItemTypes;
};

/// A template array decoded through the registry in the decoder settings
/// (kCompositeListItemsReqistryKey, a shared_ptr<CompositeListItemsRegistry>).
/// Every element is read through a device-variant decoder (separator "~",
/// recursive); elements without "type", of an ignored type or of a type
/// without description are skipped; any other failure fails the array.
struct CompositeListItemDecoder {
  std::vector<AnyCompositeListItem> items;
  static CompositeListItemDecoder decode(Decoder& d);
};

/// Decodes a template document with `decoder` (its date strategy and
/// settings) and the registry added to its settings, with the registry's
/// entity class map too unless the settings have one (inline list entities
/// decode by class name).
std::vector<AnyCompositeListItem> decodeCompositeListTemplate(
    std::string_view json, std::shared_ptr<CompositeListItemsRegistry> registry,
    JSONDecoder decoder = {});

}  // namespace quarn
