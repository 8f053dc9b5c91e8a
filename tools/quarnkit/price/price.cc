#include "tools/quarnkit/price/price.h"

#include <fmt/format.h>

#include <map>
#include <memory>
#include <string_view>

#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/coding/json_serialization.h"
#include "quarnkit/formatting/product_metadata.h"
#include "quarnkit/formatting/store_product_decoding.h"
#include "quarnkit/formatting/string_formatter.h"
#include "quarnkit/formatting/text_helpers.h"
#include "quarnkit/platform/locale.h"
#include "quarnkit/platform/runtime/clock.h"
#include "tools/quarnkit/common/input_error.h"
#include "tools/quarnkit/common/input_file.h"
#include "tools/quarnkit/common/output.h"

namespace quarn::tool {
namespace {

using StoreKitHelpers::StringFormatter;

struct NamedTemplate {
  std::string file;  // where it came from, for messages
  std::string name;
  std::string text;
};

struct Catalogue {
  std::vector<SKProductRef> products;
  SKProductRef relative;
  std::vector<SKProductMeta> metas;  // of the products with a period, in order
  std::vector<NamedTemplate> templates;
};

std::vector<NamedTemplate> readTemplates(const PriceOptions& options) {
  std::vector<NamedTemplate> out;
  for (std::size_t i = 0; i < options.templates.size(); ++i) {
    out.push_back({"--template",
                   options.templates.size() == 1 ? "template" : fmt::format("template {}", i + 1),
                   options.templates[i]});
  }
  if (!options.templatesFile) return out;
  const std::string& file = *options.templatesFile;
  const std::string text = readInputFile(file, options.maxFileSize);
  try {
    const Value document = parseJSON(text);
    if (const auto* array = document.ifArray()) {
      for (std::size_t i = 0; i < array->size(); ++i) {
        const std::string* t = (*array)[i].ifString();
        if (t == nullptr) throw InputError(file, fmt::format("[{}]", i), "expected a string");
        out.push_back({file, fmt::format("[{}]", i), *t});
      }
    } else if (const auto* object = document.ifObject()) {
      for (const auto& [name, value] : *object) {
        const std::string* t = value.ifString();
        if (t == nullptr) throw InputError(file, name, "expected a string");
        out.push_back({file, name, *t});
      }
    } else {
      throw InputError(file, "", "expected an object of named templates or an array of them");
    }
  } catch (...) {
    rethrowAsInputError(file);
  }
  return out;
}

// "..." around at most 80 bytes of `text`, cut with "…" and followed by its
// size when longer.
std::string quotedExcerpt(std::string_view text) {
  constexpr std::size_t kExcerpt = 80;
  if (text.size() <= kExcerpt) return "\"" + std::string(text) + "\"";
  return "\"" + excerpt(text, kExcerpt) + "\" (" + std::to_string(text.size()) + " bytes)";
}

// The locale a storefront of `given` shows an amount of `priceLocale` in:
// its conventions (separators, symbol placement), the amount's currency.
std::string displayLocale(const std::string& given, const std::string& priceLocale) {
  const std::string currency = platform::CurrencyFormatter(priceLocale).currencyCode();
  const std::string conventions = given.substr(0, given.find('@'));
  return currency.empty() ? given : conventions + "@currency=" + currency;
}

std::vector<SKProductRef> readProducts(const PriceOptions& options) {
  const std::string text = readInputFile(options.productsFile, options.maxFileSize);
  std::vector<platform::SKProduct> products;
  try {
    products = JSONDecoder().decode<std::vector<platform::SKProduct>>(text);
  } catch (...) {
    rethrowAsInputError(options.productsFile);
  }
  // Products are told apart by identifier: a second one would be shown
  // with the first one's texts.
  std::map<std::string_view, std::size_t> positions;
  for (std::size_t i = 0; i < products.size(); ++i) {
    const auto [first, added] = positions.try_emplace(products[i].productIdentifier, i);
    if (!added) {
      throw InputError(options.productsFile, fmt::format("[{}].productIdentifier", i),
                       fmt::format("the identifier {} is also that of [{}]",
                                   quotedExcerpt(products[i].productIdentifier), first->second));
    }
  }
  std::vector<SKProductRef> out;
  for (auto& p : products) {
    if (options.locale) {
      p.priceLocale = displayLocale(*options.locale, p.priceLocale);
      if (p.introductoryPrice) {
        p.introductoryPrice->priceLocale =
            displayLocale(*options.locale, p.introductoryPrice->priceLocale);
      }
      for (auto& d : p.discounts) d.priceLocale = displayLocale(*options.locale, d.priceLocale);
    }
    out.push_back(std::make_shared<const platform::SKProduct>(std::move(p)));
  }
  return out;
}

// Reads everything once; the clock is fixed by --now, else the system's.
Catalogue load(const PriceOptions& options) {
  Catalogue c;
  c.products = readProducts(options);
  c.templates = readTemplates(options);
  if (options.relativeProductIdentifier) {
    for (const auto& p : c.products) {
      if (p->productIdentifier == *options.relativeProductIdentifier) c.relative = p;
    }
    if (!c.relative) {
      throw InputError(options.productsFile, "",
                       "no product " + quotedExcerpt(*options.relativeProductIdentifier) +
                           " to measure against (--relative)");
    }
  } else {
    c.relative = SKProductMetadataProvider::getRelativeProduct(c.products);
  }
  const std::string locale =
      options.locale.value_or(platform::Locale::current()->localeIdentifier());
  using F = platform::DateComponentsFormatter;
  SKProductMetadataProvider provider(
      std::make_shared<const DateComponentsPeriodFormatter>(
          F(F::kDay | F::kWeekOfMonth | F::kMonth, F::UnitsStyle::full, locale)),
      std::make_shared<const CurrencyPriceFormatter>(platform::CurrencyFormatter(locale)), nullptr,
      options.now ? std::make_shared<const platform::ManualClock>(*options.now) : nullptr);
  provider.allowsNiceRounding = options.niceRounding;
  if (options.exactRelativeLengths) {
    provider.relativePeriodCount = SKProductMetadataProvider::RelativePeriodCount::exactLength;
  }
  c.metas = provider.productsMetadata(c.products, c.relative);
  return c;
}

const SKProductMeta* metaOf(const Catalogue& c, const std::string& id) {
  for (const auto& m : c.metas) {
    if (m.productIdentifier() == id) return &m;
  }
  return nullptr;
}

struct Field {
  const char* label;
  std::optional<std::string> value;
};

std::vector<Field> fields(const SKProductMeta& m) {
  std::optional<std::string> discount;
  if (m.discountPercentage()) discount = fmt::format("{:.2f}", *m.discountPercentage());
  return {{"price", m.localizedPrice()},
          {"period", m.localizedPeriod()},
          {"price per year", m.localizedPricePerYear()},
          {"price per month", m.localizedPricePerMonth()},
          {"price per week", m.localizedPricePerWeek()},
          {"price per relative period", m.localizedPricePerRelativePeriod()},
          {"relative price", m.localizedRelativePrice()},
          {"discount", discount},
          {"introductory price", m.localizedIntroductoryPrice()},
          {"introductory period", m.localizedIntroductoryPeriod()}};
}

std::string textDocument(const Catalogue& c) {
  std::string out =
      "relative product: " + (c.relative ? c.relative->productIdentifier : std::string("none")) +
      "\n";
  for (const auto& p : c.products) {
    out += "\n" + p->productIdentifier;
    if (!p->localizedTitle.empty()) out += " (" + p->localizedTitle + ")";
    out += "\n";
    const SKProductMeta* m = metaOf(c, p->productIdentifier);
    if (m == nullptr) {
      out += "  no subscription period: no price texts\n";
      continue;
    }
    for (const Field& f : fields(*m)) {
      out += fmt::format("  {:<27}{}\n", f.label, f.value.value_or("-"));
    }
    const StringFormatter formatter(*m);
    for (const auto& t : c.templates) {
      out += fmt::format("  {:<27}{}\n", t.name + ":", formatter.string(t.text));
    }
  }
  return out;
}

Value runsJSON(const platform::AttributedString& s) {
  Value::Array runs;
  for (const auto& run : s.runs()) {
    Value::Object r;
    r.set("text", Value(s.string().substr(run.range.begin, run.range.end - run.range.begin)));
    if (const auto p =
            StoreKitHelpers::StoreKitHelpersAttributes::variablePlaceholder(run.attributes)) {
      r.set("placeholder", Value(std::string(StringFormatter::rawValue(*p))));
    }
    if (const Value* intent = run.attributes.find(platform::kInlinePresentationIntentAttribute)) {
      r.set("inlinePresentationIntent", *intent);
    }
    if (const Value* link = run.attributes.find(platform::kLinkAttribute)) r.set("link", *link);
    runs.push_back(Value(std::move(r)));
  }
  return Value(std::move(runs));
}

std::string jsonDocument(const Catalogue& c) {
  Value::Array products;
  for (const auto& p : c.products) {
    Value::Object product;
    product.set("productIdentifier", Value(p->productIdentifier));
    const SKProductMeta* m = metaOf(c, p->productIdentifier);
    if (m == nullptr) {
      product.set("metadata", Value(nullptr));
      products.push_back(Value(std::move(product)));
      continue;
    }
    Value::Object meta;
    auto text = [](const std::optional<std::string>& t) { return t ? Value(*t) : Value(nullptr); };
    meta.set("localizedPrice", text(m->localizedPrice()));
    meta.set("localizedPricePerYear", text(m->localizedPricePerYear()));
    meta.set("localizedPricePerMonth", text(m->localizedPricePerMonth()));
    meta.set("localizedPricePerWeek", text(m->localizedPricePerWeek()));
    meta.set("localizedPricePerRelativePeriod", text(m->localizedPricePerRelativePeriod()));
    meta.set("localizedRelativePrice", text(m->localizedRelativePrice()));
    meta.set("localizedPeriod", text(m->localizedPeriod()));
    meta.set("localizedIntroductoryPrice", text(m->localizedIntroductoryPrice()));
    meta.set("localizedIntroductoryPeriod", text(m->localizedIntroductoryPeriod()));
    meta.set("discountPercentage",
             m->discountPercentage()
                 ? Value(std::round(static_cast<double>(*m->discountPercentage()) * 100) / 100)
                 : Value(nullptr));
    product.set("metadata", Value(std::move(meta)));
    const StringFormatter formatter(*m);
    product.set("values", Value(formatter.allValues()));
    Value::Object templates;
    for (const auto& t : c.templates) {
      Value::Object filled;
      filled.set("text", Value(formatter.string(t.text)));
      filled.set("valid", Value(formatter.validate(t.text)));
      filled.set("attributed", runsJSON(formatter.attributedString(t.text)));
      templates.set(t.name, Value(std::move(filled)));
    }
    product.set("templates", Value(std::move(templates)));
    products.push_back(Value(std::move(product)));
  }
  Value::Object document;
  document.set("relativeProduct",
               c.relative ? Value(c.relative->productIdentifier) : Value(nullptr));
  document.set("products", Value(std::move(products)));
  return serializeJSON(Value(std::move(document)), {.prettyPrinted = true}) + "\n";
}

std::vector<std::string> problems(const Catalogue& c) {
  std::vector<std::string> out;
  for (const auto& t : c.templates) {
    const std::string where = t.file + ": " + t.name + ": ";
    for (const auto& issue : StoreKitHelpers::placeholderIssues(t.text)) {
      out.push_back(where +
                    (issue.kind == StoreKitHelpers::PlaceholderIssue::Kind::unknown
                         ? "unknown placeholder \""
                         : "placeholder not closed: \"") +
                    issue.text + "\"");
    }
    for (const auto& m : c.metas) {
      const StringFormatter formatter(m);
      if (formatter.validate(t.text)) continue;
      std::string missing;
      for (const auto p : StringFormatter::allCases()) {
        const std::string_view raw = StringFormatter::rawValue(p);
        if (t.text.find(raw) == std::string::npos) continue;
        if (StringFormatter(m).validate(std::string(raw))) continue;
        missing += (missing.empty() ? "" : ", ") + std::string(raw);
      }
      out.push_back(where + "no value for " + missing + " with " + m.productIdentifier());
    }
  }
  return out;
}

}  // namespace

std::string priceDocument(const PriceOptions& options) {
  const Catalogue c = load(options);
  return options.json ? jsonDocument(c) : textDocument(c);
}

std::vector<std::string> priceProblems(const PriceOptions& options) {
  return problems(load(options));
}

int runPrice(const PriceOptions& options) {
  if (!options.validate) {
    writeOutput(std::nullopt, priceDocument(options));
    return 0;
  }
  const std::vector<std::string> found = priceProblems(options);
  std::string out;
  for (const auto& line : found) out += line + "\n";
  out += found.empty() ? "templates valid for every product\n"
                       : fmt::format("{} problem{}\n", found.size(), found.size() == 1 ? "" : "s");
  writeOutput(std::nullopt, out);
  return found.empty() ? 0 : 1;
}

}  // namespace quarn::tool
