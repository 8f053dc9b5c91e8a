// The home screen: the app's own entity types and item descriptions, the
// template files it ships, its facts, and the fetcher that sends the
// combined request through the app's network layer.
#pragma once

#include <cstdint>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "network.h"
#include "quarnkit/coding/json_encoder.h"
#include "quarnkit/coding/json_serialization.h"
#include "quarnkit/composite_list/fetching/fetcher.h"
#include "quarnkit/composite_list/model/descriptions.h"
#include "quarnkit/composite_list/model/element_filter.h"
#include "quarnkit/composite_list/model/environment.h"
#include "quarnkit/composite_list/model/registry.h"

namespace host {

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Template files write dates as internet date-times.
inline std::vector<quarn::AnyCompositeListItem> decodeTemplate(
    const std::string& json, const std::shared_ptr<quarn::CompositeListItemsRegistry>& registry) {
  quarn::JSONDecoder decoder;
  decoder.dateDecodingStrategy = quarn::DateDecodingStrategy::iso8601();
  return quarn::decodeCompositeListTemplate(json, registry, decoder);
}

// {"class": "Promo", "id": 101, "title": "...", "subtitle": "..."}; a
// template's own promo has no id.
struct Promo {
  std::optional<std::int64_t> id;
  std::string title;
  std::optional<std::string> subtitle;
  static Promo decode(quarn::Decoder& d) {
    auto c = d.container();
    return {c->decodeIfPresent<std::int64_t>("id"), c->decode<std::string>("title"),
            c->decodeIfPresent<std::string>("subtitle")};
  }
  friend bool operator==(const Promo&, const Promo&) = default;
};

// {"class": "Product", "id": 1, "name": "...", "price": 89.9}
struct Product {
  std::int64_t id = 0;
  std::string name;
  double price = 0;
  static Product decode(quarn::Decoder& d) {
    auto c = d.container();
    return {c->decode<std::int64_t>("id"), c->decode<std::string>("name"),
            c->decode<double>("price")};
  }
  friend bool operator==(const Product&, const Product&) = default;
};

}  // namespace host

template <>
struct std::hash<host::Promo> {
  std::size_t operator()(const host::Promo& p) const noexcept {
    return std::hash<std::string>()(p.title);
  }
};
template <>
struct std::hash<host::Product> {
  std::size_t operator()(const host::Product& p) const noexcept {
    return std::hash<std::int64_t>()(p.id);
  }
};

namespace host {

class PromoBanner final : public quarn::BannerItemDescription<Promo> {};
class PromoSmallBanner final : public quarn::SmallBannerItemDescription<Promo> {};
// "list" items name the class of each entity; this app's lists hold products.
class MixedList final : public quarn::ListItemDescription<Product> {};
class ProductList final : public quarn::CompositeListItemDescription<std::vector<Product>> {
 public:
  [[nodiscard]] quarn::CompositeListItemType type() const override {
    return quarn::CompositeListItemType("product_list");
  }
};

// Every type the app shows; the others in a template are skipped.
inline std::shared_ptr<quarn::CompositeListItemsRegistry> makeRegistry() {
  auto registry = std::make_shared<quarn::CompositeListItemsRegistry>();
  registry->register_<PromoBanner>();
  registry->register_<PromoSmallBanner>();
  registry->register_<ProductList>();
  registry->register_<MixedList>();
  registry->registerEntityClass("Promo", quarn::CompositeListEntityClass::of<Promo>());
  registry->registerEntityClass("Product", quarn::CompositeListEntityClass::of<Product>());
  return registry;
}

// What the app knows about the user and itself, read from a JSON object.
class Facts final : public quarn::CompositeListEnvironment {
 public:
  explicit Facts(const std::string& json) : values_(*quarn::parseJSON(json).ifObject()) {}
  [[nodiscard]] quarn::ValueDictionary environmentValues() const override { return values_; }

 private:
  quarn::ValueDictionary values_;
};

// Included templates are files of the app's bundle: a key names
// "<key>.json"; a key reference is looked up in "index.json" first.
class BundledTemplates final : public quarn::CompositeListTemplateProviding {
 public:
  BundledTemplates(std::string directory,
                   std::shared_ptr<quarn::CompositeListItemsRegistry> registry)
      : directory_(std::move(directory)), registry_(std::move(registry)) {}

  using CompositeListTemplateProviding::provideTemplate;
  void provideTemplate(const quarn::CompositeListTemplateSource& source,
                       Completion completion) override {
    try {
      std::string name = source.rawValue();
      if (source.kind() == quarn::CompositeListTemplateSource::Kind::keyReference) {
        const quarn::Value index = quarn::parseJSON(readFile(directory_ + "/index.json"));
        const quarn::Value* target = index.find(name);
        if (target == nullptr || !target->isString()) {
          throw std::runtime_error("no template for " + name);
        }
        name = *target->ifString();
      }
      completion(quarn::Outcome<Items>::success(
          decodeTemplate(readFile(directory_ + "/" + name + ".json"), registry_)));
    } catch (...) {
      completion(quarn::Outcome<Items>::failure(std::current_exception()));
    }
  }

 private:
  std::string directory_;
  std::shared_ptr<quarn::CompositeListItemsRegistry> registry_;
};

// Sends the combined request with the app's client, off the main thread.
class HomeFetcher final : public quarn::CompositeListFetcher {
 public:
  HomeFetcher(Passkey key, std::shared_ptr<quarn::CompositeListItemsRegistry> registry, Items items,
              std::shared_ptr<quarn::CompositeListTemplateProviding> templates,
              std::shared_ptr<const Api> api)
      : CompositeListFetcher(key, std::move(registry), std::move(items), std::move(templates),
                             quarn::CompositeListFetchMode::automatic, 20),
        api_(std::move(api)) {}

  quarn::Async<quarn::Task<quarn::CompositeListResult>> fetchCompositeListTask(
      quarn::CompositeListRequestParameters parameters, std::int64_t) override {
    co_return quarn::Task<quarn::CompositeListResult>::spawn(
        send(api_, quarn::JSONEncoder().encode(parameters), registry()->entityClassMap()));
  }

 private:
  static quarn::Async<quarn::CompositeListResult> send(
      std::shared_ptr<const Api> api, std::string body,
      std::shared_ptr<const quarn::CompositeListEntityClassMap> classes) {
    const Response response = api->post("/home", body);
    co_return quarn::decodeCompositeListResult(response.body, *classes);
  }
  std::shared_ptr<const Api> api_;
};

}  // namespace host
