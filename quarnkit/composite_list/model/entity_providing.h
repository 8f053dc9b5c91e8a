/// @file
/// Descriptions that obtain their own entities without the combined request.
/// Interfaces the host implements: providers are held by shared_ptr for the
/// length of the fetch that made them.
///
/// The fetcher asks a description that is an
/// EntityProvidingCompositeListItemDescription for an item's entities first
/// (when the item's fetch mode allows it); a result it returns is applied at
/// once and the item leaves the combined request.
///
/// The usual way is a provider built per request:
///
/// ```
///   class WeatherProvider : public CompositeListEntityProviding<Weather> {
///     Async<std::optional<Weather>> provideEntity(const Request& r) override;
///   };
///   class WeatherDescription
///       : public EntityProvidingItemDescription<BannerItemDescription<Weather>, WeatherProvider> {
///     CompositeListItemType type() const override { return "weather"; }
///     std::shared_ptr<WeatherProvider> makeProvider(const Request&) const override {
///       return std::make_shared<WeatherProvider>();
///     }
///   };
/// ```
#pragma once

#include <memory>
#include <optional>
#include <type_traits>

#include "quarnkit/composite_list/model/description.h"
#include "quarnkit/platform/runtime/async.h"

namespace quarn {

/// A description that can fetch an item's entities by itself.
class EntityProvidingCompositeListItemDescription {
 public:
  virtual ~EntityProvidingCompositeListItemDescription() = default;
  /// The result for the request, or nothing to fall back to the combined
  /// request.
  virtual Async<std::optional<CompositeListResult::Item>> fetchEntities(
      const CompositeListRequestParameters::Item& request) const = 0;
};

/// Something that supplies one entity for a request.
template <class Entity>
class CompositeListEntityProviding {
 public:
  /// The entity type supplied.
  using EntityType = Entity;
  virtual ~CompositeListEntityProviding() = default;
  /// The entity for `request`, or nothing to fall back to the combined request.
  virtual Async<std::optional<Entity>> provideEntity(
      const CompositeListRequestParameters::Item& request) = 0;
};

/// A description that builds a provider for a request (or none).
template <class Provider>
class CompositeListEntityProvidingBuilder {
 public:
  /// The provider type built.
  using ProviderType = Provider;
  virtual ~CompositeListEntityProvidingBuilder() = default;
  /// The provider for `request`, or null to fall back to the combined request.
  virtual std::shared_ptr<Provider> makeProvider(
      const CompositeListRequestParameters::Item& request) const = 0;
};

/// Description + builder with the default fetchEntities: build a provider,
/// await its entity, and return it under the request's key (a list entity
/// gives one result per element). No provider, no entity, or an entity of
/// another type than the description's gives nothing.
template <class Description, class Provider>
class EntityProvidingItemDescription : public Description,
                                       public EntityProvidingCompositeListItemDescription,
                                       public CompositeListEntityProvidingBuilder<Provider> {
 public:
  Async<std::optional<CompositeListResult::Item>> fetchEntities(
      const CompositeListRequestParameters::Item& request) const override {
    std::shared_ptr<Provider> provider = this->makeProvider(request);
    if (!provider) co_return std::nullopt;
    auto entity = co_await provider->provideEntity(request);
    using Entity = typename Description::EntityType;
    using Provided = typename Provider::EntityType;
    if constexpr (!std::is_same_v<Entity, Provided>) {
      co_return std::nullopt;
    } else {
      if (!entity) co_return std::nullopt;
      CompositeListResult::Item item{request.key, {}};
      if constexpr (kIsVector<Entity>) {
        for (auto& e : *entity) item.results.emplace_back(std::move(e));
      } else {
        item.results.emplace_back(std::move(*entity));
      }
      co_return item;
    }
  }
};

}  // namespace quarn
