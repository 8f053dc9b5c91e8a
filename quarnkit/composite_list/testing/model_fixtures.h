// Entities and helpers shared by the composite-list tests.
#pragma once

#include <memory>
#include <string>

#include "quarnkit/composite_list/model/descriptions.h"
#include "quarnkit/composite_list/model/environment.h"
#include "quarnkit/composite_list/model/registry.h"
#include "quarnkit/core/hash.h"

namespace quarn::testing {

/// An environment whose host values are the given ones.
class TestEnvironment final : public CompositeListEnvironment {
 public:
  explicit TestEnvironment(ValueDictionary values = {}) : values_(std::move(values)) {}
  [[nodiscard]] ValueDictionary environmentValues() const override { return values_; }

 private:
  ValueDictionary values_;
};

/// A host entity: {"class": "Product", "id": 1, "name": "..."}.
struct Product {
  std::int64_t id = 0;
  std::string name;
  static Product decode(Decoder& d) {
    auto c = d.container();
    return {c->decode<std::int64_t>("id"), c->decode<std::string>("name")};
  }
  void encode(Encoder& e) const {
    auto c = e.container();
    c->encode(id, "id");
    c->encode(name, "name");
  }
  friend bool operator==(const Product&, const Product&) = default;
};

/// Another host entity, to see type mismatches.
struct Article {
  std::string title;
  static Article decode(Decoder& d) { return {d.container()->decode<std::string>("title")}; }
  friend bool operator==(const Article&, const Article&) = default;
};

}  // namespace quarn::testing

template <>
struct std::hash<quarn::testing::Product> {
  std::size_t operator()(const quarn::testing::Product& p) const noexcept {
    std::size_t h = std::hash<std::int64_t>()(p.id);
    quarn::hashCombine(h, std::hash<std::string>()(p.name));
    return h;
  }
};
template <>
struct std::hash<quarn::testing::Article> {
  std::size_t operator()(const quarn::testing::Article& a) const noexcept {
    return std::hash<std::string>()(a.title);
  }
};

namespace quarn::testing {

inline CompositeListEntityClassMap testClassMap() {
  CompositeListEntityClassMap map;
  map.emplace("Product", CompositeListEntityClass::of<Product>());
  map.emplace("Article", CompositeListEntityClass::of<Article>());
  map.emplace("Row", CompositeListEntityClass::of<CompositeListRow>());
  return map;
}

class ProductBannerDescription : public BannerItemDescription<Product> {};
class ProductListDescription : public ListItemDescription<Product> {};

}  // namespace quarn::testing
