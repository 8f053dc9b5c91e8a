/// @file
/// CompositeListItemsRegistry: the item descriptions by type, the entity class map used to decode
/// results, and the item types to drop from templates.

/// @class quarn::CompositeListItemsRegistry
/// The item descriptions by type, the entity class
/// map used to decode results, and the item types to drop from templates.
///
/// A unique object (not copyable), usually held by shared_ptr by everything
/// that decodes or fetches with it. It is filled at start-up, but a host may
/// keep registering later (a type first seen in a template loaded at run
/// time), from any thread: every member takes the registry's lock, and
/// entries are never removed or moved, so an entry returned by description()
/// stays valid for the registry's life whatever is registered meanwhile.
///
/// A type names one description. Registering a second, different description
/// for a type already registered throws CompositeListRegistryConflict and
/// leaves the registry as it was; registering the same description again
/// does nothing. The four built-ins are the one exception: a host may replace
/// each of them once, with its own description for that type (a subclass
/// that also makes display sections, say). Entity class names follow the same
/// rule: a name maps to one type.
#pragma once

#include <atomic>
#include <deque>
#include <memory>
#include <shared_mutex>
#include <string>
#include <vector>

#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/composite_list/model/description.h"
#include "quarnkit/composite_list/model/entity.h"
#include "quarnkit/core/error.h"

namespace quarn {

/// A registration that would re-point an item type, or an entity class name,
/// that something else already holds.
class CompositeListRegistryConflict : public Error {
 public:
  /// What was registered: an item type or an entity class name.
  enum class Kind { itemType, entityClass };

  /// The conflict of kind `k` over `name_`, held by `held_`, offered `offered_`.
  CompositeListRegistryConflict(Kind k, std::string name_, std::string held_, std::string offered_)
      : kind(k), name(std::move(name_)), held(std::move(held_)), offered(std::move(offered_)) {}
  /// "The item type \"rows\" is held by RowsSections; OtherRows cannot take it
  /// over", and the same with "entity class" for a class name.
  [[nodiscard]] std::string description() const override;

  /// What was registered.
  Kind kind;
  /// The item type or class name.
  std::string name;
  /// The type name that holds the name.
  std::string held;
  /// The type name offered.
  std::string offered;
};

class CompositeListItemsRegistry {
 public:
  /// A registry with the built-ins: divider, rows, tags, include.
  CompositeListItemsRegistry();
  CompositeListItemsRegistry(const CompositeListItemsRegistry&) = delete;
  CompositeListItemsRegistry& operator=(const CompositeListItemsRegistry&) = delete;

  /// The process-wide registry, created on first use; replaceable.
  static std::shared_ptr<CompositeListItemsRegistry> shared();
  /// Replaces the process-wide registry (null: the next shared() makes a new one).
  static void setShared(std::shared_ptr<CompositeListItemsRegistry> registry);

  /// Adds a description for its type. Throws CompositeListRegistryConflict
  /// when another description holds the type (see the file comment).
  void register_(AnyCompositeListItemDescription description);
  /// The same for a description held as its base.
  void register_(const std::shared_ptr<const CompositeListItemDescriptionBase>& description) {
    register_(AnyCompositeListItemDescription(description));
  }
  /// The same for a description known by its class (see
  /// AnyCompositeListItemDescription::of).
  template <std::derived_from<CompositeListItemDescriptionBase> D>
  requires(
      !std::is_same_v<std::remove_const_t<D>,
                      CompositeListItemDescriptionBase>) void register_(const std::shared_ptr<D>&
                                                                            description) {
    register_(AnyCompositeListItemDescription::of(description));
  }
  /// Registers the instance of a description class.
  template <class D>
  void register_() {
    register_(descriptionInstance<D>());
  }

  /// The entry for a type, or nothing. Valid as long as the registry.
  [[nodiscard]] const AnyCompositeListItemDescription* description(
      const CompositeListItemType& type) const;
  /// The description for a type when it is (a subclass of) T.
  template <class T>
  [[nodiscard]] std::shared_ptr<const T> description(const CompositeListItemType& type) const {
    const AnyCompositeListItemDescription* entry = description(type);
    return entry ? std::dynamic_pointer_cast<const T>(entry->base) : nullptr;
  }
  /// The entries in force, one per type, in registration order (a built-in's
  /// replacement where it was registered).
  [[nodiscard]] std::vector<AnyCompositeListItemDescription> descriptions() const;

  /// Adds an entity class under `name`. Throws CompositeListRegistryConflict
  /// when the name decodes another type; the same type again does nothing.
  void registerEntityClass(const std::string& name, CompositeListEntityClass entityClass);
  /// registerEntityClass() for each entry; on a conflict nothing is added.
  void registerEntityClasses(const CompositeListEntityClassMap& classes);
  /// The class map as it is now: a snapshot later registrations leave alone.
  [[nodiscard]] std::shared_ptr<const CompositeListEntityClassMap> entityClassMap() const;

  /// The item types dropped while decoding templates; replaceable at any time
  /// (a decoding under way keeps the list it started with).
  [[nodiscard]] std::vector<CompositeListItemType> ignoreItemTypes() const;
  /// Replaces the ignored item types.
  void setIgnoreItemTypes(std::vector<CompositeListItemType> types);

 private:
  /// The index of the entry in force for `type`, or entries_.size().
  [[nodiscard]] std::size_t indexLocked(const CompositeListItemType& type) const;
  [[nodiscard]] const AnyCompositeListItemDescription* findLocked(
      const CompositeListItemType& type) const;

  /// What description() reads without the lock: a copy of entries_ as
  /// pointers, with each type's length and first letter to rule it out
  /// quickly. Appended only, like entries_.
  struct IndexSlot {
    const AnyCompositeListItemDescription* entry;
    std::size_t size;
    char first;
  };
  void appendToIndexLocked(const AnyCompositeListItemDescription& entry);

  mutable std::shared_mutex mutex_;
  // Appended only: a deque keeps every entry where it is. Look-ups search
  // from the back, so a built-in's replacement comes before the built-in.
  std::deque<AnyCompositeListItemDescription> entries_;
  // The index: its slots, how many are filled (published after the slot),
  // and every block it has had, kept for readers still on an outgrown one.
  std::atomic<IndexSlot*> index_{nullptr};
  std::atomic<std::size_t> indexCount_{0};
  std::size_t indexCapacity_ = 0;
  std::vector<std::unique_ptr<IndexSlot[]>> indexBlocks_;
  // The first entries are the built-ins.
  std::size_t builtIns_ = 0;
  std::shared_ptr<const CompositeListEntityClassMap> entityClassMap_;
  std::vector<CompositeListItemType> ignoreItemTypes_;
};

/// A template array decoded through the registry in the decoder settings
/// (kCompositeListItemsReqistryKey, a shared_ptr<CompositeListItemsRegistry>).
/// Every element is read through a device-variant decoder (separator "~",
/// recursive); elements without "type", of an ignored type or of a type
/// without description are skipped; any other failure fails the array.
struct CompositeListItemDecoder {
  /// The items decoded, in template order.
  std::vector<AnyCompositeListItem> items;
  /// Decodes the template array (see above); throws DecodingError.
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
