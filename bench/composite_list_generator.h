// Generators of realistic composite-list documents for the benchmarks: a
// template of mixed item types and a result of host entities, with the
// registry and class map that decode them.
//
//   const std::string json = quarn::bench::makeTemplate(10000);
//   auto items = quarn::decodeCompositeListTemplate(json, quarn::bench::makeRegistry());
#pragma once

#include <fmt/format.h>

#include <memory>
#include <string>

#include "quarnkit/composite_list/model/descriptions.h"
#include "quarnkit/composite_list/model/registry.h"
#include "quarnkit/core/hash.h"

namespace quarn::bench {

/// A host entity: {"class": "Product", "id": 1, "name": "...", "price": 9.99,
/// "imageUrl": "...", "tags": [...]}.
struct Product {
  std::int64_t id = 0;
  std::string name;
  double price = 0;
  std::optional<std::string> imageUrl;
  std::vector<std::string> tags;

  static Product decode(Decoder& d) {
    auto c = d.container();
    Product p;
    p.id = c->decode<std::int64_t>("id");
    p.name = c->decode<std::string>("name");
    p.price = c->decode<double>("price");
    p.imageUrl = c->decodeIfPresent<std::string>("imageUrl");
    p.tags = c->decode<std::vector<std::string>>("tags");
    return p;
  }
  friend bool operator==(const Product& a, const Product& b) { return a.id == b.id; }
};

}  // namespace quarn::bench

template <>
struct std::hash<quarn::bench::Product> {
  std::size_t operator()(const quarn::bench::Product& p) const noexcept {
    return std::hash<std::int64_t>()(p.id);
  }
};

namespace quarn::bench {

class ProductBannerDescription : public BannerItemDescription<Product> {};
class ProductListDescription : public ListItemDescription<Product> {};

inline std::shared_ptr<CompositeListItemsRegistry> makeRegistry() {
  auto registry = std::make_shared<CompositeListItemsRegistry>();
  registry->register_<ProductBannerDescription>();
  registry->register_<ProductListDescription>();
  registry->registerEntityClass("Product", CompositeListEntityClass::of<Product>());
  registry->registerEntityClass("Row", CompositeListEntityClass::of<CompositeListRow>());
  return registry;
}

/// One item of the template, of a type chosen by its position.
inline void appendItem(std::string& out, int i, int depth) {
  switch (i % 10) {
    case 0:
    case 1:
    case 2:
      fmt::format_to(
          std::back_inserter(out),
          R"({{"type":"rows","uniqueId":"rows_{0}","visibility":"{1}","predicate":"app.build >= {2}",)"
          R"("vars":{{"label":"Row {0}"}},"data":{{"title":"Rows ${{label}}","title~ipad":"Rows for tablets",)"
          R"("layoutSize":"compact"}},"entity":[{{"text":"First row {0}","details":"Details","imageUrl":"https://cdn.example.com/{0}/1.png"}},)"
          R"({{"text":"Second row","actionLink":"myapp://screen/{0}","visibility":"free"}},)"
          R"({{"text":"Third row","start":725846400,"predicate":"is_pad == NO"}}]}})",
          i, i % 3 == 0 ? "pro" : "free", i % 50);
      break;
    case 3:
      fmt::format_to(std::back_inserter(out), R"({{"type":"divider"}})");
      break;
    case 4:
      fmt::format_to(
          std::back_inserter(out),
          R"({{"type":"include","uniqueId":"include_{0}","entity":{{"key":"shared_{1}","range":[0,2]}}}})",
          i, i % 7);
      break;
    case 5:
    case 6:
      fmt::format_to(
          std::back_inserter(out),
          R"({{"type":"banner","uniqueId":"banner_{0}","entityId":{0},"data":{{"title":"Banner {0}",)"
          R"("description":"A banner with a longer description for item {0}","maxItems":{1},)"
          R"("headerAction":"https://example.com/banners/{0}","footerMode":"expand","footerText":"More",)"
          R"("others":{{"color":"#ff0000","weight":{1}}}}},"filters":{{"category":"c{2}","sort":"new"}},"fetchMode":"compose"}})",
          i, i % 20 + 1, i % 5);
      break;
    case 7:
      fmt::format_to(
          std::back_inserter(out),
          R"({{"type":"list","uniqueId":"list_{0}","entityIds":[{0},{1},{2}],"data":{{"title":"Products","maxItems":10,"random":false}}}})",
          i, i + 1, i + 2);
      break;
    case 8:
      fmt::format_to(
          std::back_inserter(out),
          R"({{"type":"tags","uniqueId":"tags_{0}","entity":[{{"text":"news"}},{{"text":"sport"}},{{"text":"tag {0}"}}]}})",
          i);
      break;
    default:
      fmt::format_to(std::back_inserter(out), R"({{"type":"rows","uniqueId":"group_{}","items":[)",
                     i);
      if (depth < 2) {
        appendItem(out, i * 10 + 1, depth + 1);
        out += ',';
        appendItem(out, i * 10 + 3, depth + 1);
      }
      out += "]}";
  }
}

/// A template array of `count` items of mixed types (rows with inline
/// entities and variants, dividers, includes, banners with data and filters,
/// lists, tags, nested groups).
inline std::string makeTemplate(int count) {
  std::string out = "[";
  out.reserve(static_cast<std::size_t>(count) * 400);
  for (int i = 0; i < count; ++i) {
    if (i != 0) out += ',';
    appendItem(out, i, 0);
  }
  return out + "]";
}

/// A result of `entities` Product entities, `perItem` to a result item keyed
/// like the template's lists ("list_<n>").
inline std::string makeResult(int entities, int perItem = 10) {
  std::string out = "[";
  out.reserve(static_cast<std::size_t>(entities) * 160);
  for (int e = 0; e < entities; ++e) {
    if (e % perItem == 0) {
      if (e != 0) out += "]},";
      fmt::format_to(std::back_inserter(out), R"({{"key":"list_{}","result":[)",
                     e / perItem * 10 + 7);
    } else {
      out += ',';
    }
    fmt::format_to(
        std::back_inserter(out),
        R"({{"class":"Product","id":{0},"name":"Product number {0}","price":{1},)"
        R"("imageUrl":"https://cdn.example.com/products/{0}.jpg","tags":["new","sale"]}})",
        e, 9.99 + e % 100);
  }
  if (entities > 0) out += "]}";
  return out + "]";
}

}  // namespace quarn::bench
