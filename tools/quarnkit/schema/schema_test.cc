// The schemas against the decoders they describe: documents made from the
// examples, each member replaced by values of every JSON kind (and every
// member the schemas name added to every object), are decoded by the
// library and validated by the standard validator; the two must agree,
// except where a schema asks for more than the decoder on purpose (listed
// below, each with its reason).
#include "tools/quarnkit/schema/schema.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <set>

#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/coding/json_serialization.h"
#include "quarnkit/composite_list/model/descriptions.h"
#include "quarnkit/composite_list/model/registry.h"
#include "quarnkit/feedback/feedback_form.h"
#include "quarnkit/feedback/form_items_registry.h"
#include "quarnkit/formatting/store_product_decoding.h"
#include "tools/quarnkit/common/tool_test_support.h"
#include "tools/quarnkit/host/host_descriptions.h"
#include "tools/quarnkit/host/host_environment.h"
#include "tools/quarnkit/route/route.h"

namespace quarn::tool {
namespace {

namespace fs = std::filesystem;
using testing::contentsOf;
using testing::ScratchDirectory;

const fs::path kExamples = QUARNKIT_EXAMPLES_DIR;
const fs::path kValidator = kExamples.parent_path() / "tools/quarnkit/schema/validate.py";

// Whether the standard validator finds each document valid under `schema`.
std::vector<bool> validate(const Value& schema, const std::vector<Value>& documents) {
  const ScratchDirectory dir;
  const std::string schemaFile = dir.write("schema.json", serializeJSON(schema));
  const std::string documentsFile =
      dir.write("documents.json", serializeJSON(Value(Value::Array(documents))));
  const std::string command = "/usr/bin/python3 " + kValidator.string() + " " + schemaFile + " " +
                              documentsFile + " > " + (dir.path() / "out.json").string();
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  std::vector<bool> out;
  const Value answers = parseJSON(contentsOf(dir.path() / "out.json"));
  for (const Value& v : *answers.ifArray()) out.push_back(v == Value(true));
  return out;
}

// Whether the library decodes a document of each kind. A template is read
// on phones and tablets alike, each device with its own "~" variants.
bool templateDecodes(const Value& document) {
  for (const auto device :
       {platform::UserInterfaceIdiom::phone, platform::UserInterfaceIdiom::tablet}) {
    const HostPlatform platform(device, std::nullopt);
    try {
      HostRegistry host(std::make_shared<HostEnvironment>(ValueDictionary{}, std::nullopt));
      host.registerTypes(document);
      JSONDecoder decoder;
      decoder.dateDecodingStrategy = DateDecodingStrategy::iso8601();
      decodeCompositeListTemplate(serializeJSON(document), host.registry(), decoder);
    } catch (const DecodingError&) {
      return false;
    }
  }
  return true;
}

bool formDecodes(const Value& document) {
  try {
    JSONDecoder decoder;
    decoder.dateDecodingStrategy = DateDecodingStrategy::iso8601();
    (void)decoder.decode<FeedbackForm>(serializeJSON(document));
    return true;
  } catch (const DecodingError&) {
    return false;
  }
}

bool productsDecode(const Value& document) {
  try {
    (void)JSONDecoder().decode<std::vector<platform::SKProduct>>(serializeJSON(document));
    return true;
  } catch (const DecodingError&) {
    return false;
  }
}

bool routesRead(const Value& document) {
  const ScratchDirectory dir;
  return readRouteTable(dir.write("routes.json", serializeJSON(document))).errors.empty();
}

// Every property name a schema gives anywhere.
void collectKeys(const Value& schema, std::set<std::string>& keys) {
  if (const auto* object = schema.ifObject()) {
    for (const auto& [key, value] : *object) {
      if (key == "properties" && value.ifObject() != nullptr) {
        for (const auto& [name, member] : *value.ifObject()) keys.insert(name);
      }
      collectKeys(value, keys);
    }
  } else if (const auto* list = schema.ifArray()) {
    for (const Value& v : *list) collectKeys(v, keys);
  }
}

// A document changed at one place, and where and how, for messages.
struct Mutation {
  Value document;
  std::string where;
};

// Copies of `document` (which holds `node`) with, in each object under
// `node`, each member it has and each of `probes` set to each of `values`,
// and each member it has removed.
void mutate(const Value& document, Value& node, const std::string& path,
            const std::set<std::string>& probes, const std::vector<Value>& values,
            std::vector<Mutation>& out) {
  if (auto* object = node.ifObject()) {
    std::set<std::string> keys = probes;
    for (const auto& [key, value] : *object) keys.insert(key);
    for (const std::string& key : keys) {
      const Value* had = object->find(key);
      const std::optional<Value> before = had ? std::optional<Value>(*had) : std::nullopt;
      for (const Value& v : values) {
        object->set(key, v);
        out.push_back({document, path + "." + key + " = " + serializeJSON(v)});
      }
      if (before) {
        object->set(key, *before);
        object->erase(key);
        out.push_back({document, path + "." + key + " removed"});
        object->set(key, *before);
      } else {
        object->erase(key);
      }
    }
    for (auto& [key, value] : *object) {
      mutate(document, value, path + "." + key, probes, values, out);
    }
  } else if (auto* list = node.ifArray()) {
    for (std::size_t i = 0; i < list->size(); ++i) {
      mutate(document, (*list)[i], path + "[" + std::to_string(i) + "]", probes, values, out);
    }
  }
}

struct Agreement {
  std::size_t documents = 0;
  std::vector<std::string> schemaAcceptsDecoderRejects;
  std::vector<std::string> schemaRejectsDecoderAccepts;
};

// Mutations of `bases` (each member of each object set to each kind of
// value, removed, and every schema member added), decoded and validated.
Agreement agreement(SchemaKind kind, const std::vector<Value>& bases,
                    const std::function<bool(const Value&)>& decodes) {
  const Value schema = schemaDocument(kind);
  std::set<std::string> probes;
  collectKeys(schema, probes);
  probes.erase("$schema");
  const std::vector<Value> values = {Value("x"),
                                     Value("2024-05-01T10:00:00Z"),
                                     Value(5),
                                     Value(-1),
                                     Value(1.5),
                                     Value(true),
                                     Value(nullptr),
                                     Value(Value::Array{}),
                                     Value(Value::Object{})};
  std::vector<Mutation> mutations;
  for (const Value& base : bases) {
    mutations.push_back({base, "(as it is)"});
    if (const auto* elements = base.ifArray()) {
      // Each element alone, in a list of its own: small documents.
      for (const Value& element : *elements) {
        Value one = Value::Array{element};
        mutate(one, (*one.ifArray())[0], "[0]", probes, values, mutations);
      }
    } else {
      Value copy = base;
      mutate(copy, copy, "", probes, values, mutations);
    }
  }
  std::vector<Value> documents;
  for (const auto& m : mutations) documents.push_back(m.document);
  const std::vector<bool> valid = validate(schema, documents);
  Agreement a;
  a.documents = documents.size();
  for (std::size_t i = 0; i < documents.size() && i < valid.size(); ++i) {
    const bool decoded = decodes(documents[i]);
    if (valid[i] && !decoded) a.schemaAcceptsDecoderRejects.push_back(mutations[i].where);
    if (!valid[i] && decoded) a.schemaRejectsDecoderAccepts.push_back(mutations[i].where);
  }
  return a;
}

// The member a mutation changed: "[0].data.maxItems = 5" gives "maxItems".
std::string changedMember(const std::string& where) {
  const std::size_t end = where.find(' ');
  const std::string path = where.substr(0, end);
  const std::size_t dot = path.rfind('.');
  return dot == std::string::npos ? path : path.substr(dot + 1);
}

// The disagreements left once the members a schema is stricter about on
// purpose are set aside.
std::vector<std::string> unexplained(const std::vector<std::string>& found,
                                     const std::set<std::string>& stricterOnPurpose) {
  std::vector<std::string> out;
  for (const auto& where : found) {
    if (!stricterOnPurpose.contains(changedMember(where))) out.push_back(where);
  }
  return out;
}

std::string lines(const std::vector<std::string>& list) {
  std::string out;
  for (std::size_t i = 0; i < list.size() && i < 40; ++i) out += "  " + list[i] + "\n";
  if (list.size() > 40) out += "  ... " + std::to_string(list.size() - 40) + " more\n";
  return out;
}

Value exampleJSON(const std::string& file) { return parseJSON(contentsOf(kExamples / file)); }

void expectAgreement(const Agreement& a, const std::set<std::string>& stricterOnPurpose) {
  EXPECT_GT(a.documents, 100u);
  EXPECT_TRUE(a.schemaAcceptsDecoderRejects.empty())
      << "the schema accepts what the decoder rejects:\n"
      << lines(a.schemaAcceptsDecoderRejects);
  const auto left = unexplained(a.schemaRejectsDecoderAccepts, stricterOnPurpose);
  EXPECT_TRUE(left.empty()) << "the schema rejects what the decoder reads:\n" << lines(left);
}

// Each list names the members whose wrong values the decoder passes over
// (reads as absent, or keeps without using) while the schema asks for the
// value that is used, so that an editor flags it.
TEST(SchemaAgreementTest, TemplatesDecodeExactlyWhereTheSchemaAccepts) {
  const auto a = agreement(SchemaKind::template_,
                           {exampleJSON("home/template.json"), exampleJSON("minimal/template.json"),
                            exampleJSON("home/includes/seasonal.json"),
                            exampleJSON("home/includes/weekly_2024_18.json")},
                           templateDecodes);
  expectAgreement(a, {
                         // read as absent when not a string: the default is used
                         "uniqueId",
                         // kept only when an object
                         "filters",
                         // an include's source, range and index: a wrong value
                         // counts as absent
                         "url",
                         "reference",
                         "key",
                         "range",
                         "index",
                     });
}

TEST(SchemaAgreementTest, FormsDecodeExactlyWhereTheSchemaAccepts) {
  const auto a = agreement(SchemaKind::form, {exampleJSON("forms/onboarding.json")}, formDecodes);
  // An empty option list decodes, but such a question cannot be answered.
  expectAgreement(a, {"items"});
}

TEST(SchemaAgreementTest, ProductsDecodeExactlyWhereTheSchemaAccepts) {
  const auto a =
      agreement(SchemaKind::products, {exampleJSON("prices/products.json")}, productsDecode);
  // A unit, payment mode or offer type by number is cast without a check;
  // the schema takes the numbers that name one.
  expectAgreement(a, {"unit", "paymentMode", "type"});
}

TEST(SchemaAgreementTest, RoutesReadExactlyWhereTheSchemaAccepts) {
  const auto a = agreement(SchemaKind::routes, {exampleJSON("routes/routes.json")}, routesRead);
  expectAgreement(a, {});
}

// A host's own entity and item type.
struct Promo {
  std::string title;
  std::optional<std::int64_t> level;
  static Promo decode(Decoder& d) {
    auto c = d.container();
    return {c->decode<std::string>("title"), c->decodeIfPresent<std::int64_t>("level")};
  }
  static Value jsonSchema() {
    return json_schema::object("Promo", "A promotion.",
                               {{"title", json_schema::string("The promotion's title."), true},
                                {"level", json_schema::integer64("How loud it is.")}});
  }
};

}  // namespace
}  // namespace quarn::tool

template <>
struct std::hash<quarn::tool::Promo> {
  std::size_t operator()(const quarn::tool::Promo& p) const noexcept {
    return std::hash<std::string>()(p.title);
  }
};

namespace quarn::tool {
namespace {

class PromoDescription : public BannerItemDescription<Promo> {
 public:
  [[nodiscard]] CompositeListItemType type() const override { return "promo_banner"; }
};

TEST(TemplateSchemaTest, AHostsOwnItemTypeGetsItsEntitySchema) {
  auto registry = std::make_shared<CompositeListItemsRegistry>();
  registry->register_<PromoDescription>();
  const Value schema = schemaDocument(SchemaKind::template_, registry.get());

  const Value* item = schema.ifObject()->find("$defs")->ifObject()->find("item");
  const Value* types = item->ifObject()->find("properties")->ifObject()->find("type");
  const auto& named = *types->ifObject()->find("examples")->ifArray();
  EXPECT_NE(std::find(named.begin(), named.end(), Value("promo_banner")), named.end());
  EXPECT_NE(std::find(named.begin(), named.end(), Value("rows")), named.end());

  const std::vector<Value> documents = {
      parseJSON(R"([{"type": "promo_banner", "entity": {"title": "Spring", "level": 2}}])"),
      parseJSON(R"([{"type": "promo_banner", "entity": {"level": 2}}])"),
      parseJSON(R"([{"type": "promo_banner", "entity": {"title": 5}}])"),
      parseJSON(R"([{"type": "promo_banner", "entity": {"title": "x", "level": 1.5}}])"),
      // Another type's entity is not a promotion.
      parseJSON(R"([{"type": "divider", "entity": {"level": 2}}])")};
  const std::vector<bool> valid = validate(schema, documents);
  ASSERT_EQ(valid.size(), documents.size());
  EXPECT_EQ(valid, (std::vector<bool>{true, false, false, false, true}));
  for (std::size_t i = 0; i < documents.size(); ++i) {
    bool decoded = true;
    try {
      JSONDecoder decoder;
      decodeCompositeListTemplate(serializeJSON(documents[i]), registry, decoder);
    } catch (const DecodingError&) {
      decoded = false;
    }
    EXPECT_EQ(decoded, valid[i]) << serializeJSON(documents[i]);
  }
}

TEST(TemplateSchemaTest, EntitiesAndVariantsAreCheckedByTypeAndDevice) {
  const Value schema = schemaDocument(SchemaKind::template_);
  struct Case {
    const char* document;
    bool valid;
  };
  const std::vector<Case> cases = {
      {R"([{"type": "rows", "entity": [{"text": "a"}, {"details": "no text"}]}])", false},
      {R"([{"type": "rows", "entity": [{"text": "a", "start": "soon"}]}])", false},
      {R"([{"type": "rows", "entity": [{"text": "a", "imageUrl": "10:00 a.m."}]}])", false},
      {R"([{"type": "include", "entity": {"range": [1, 2]}}])", false},
      {R"([{"type": "include", "entity": {"reference": "r", "index": 1}}])", true},
      {R"([{"type": "rows", "data": {"maxItems": "ten"}}])", false},
      // A tablet reads the variant.
      {R"([{"type": "rows", "data~ipad": {"maxItems": "ten"}}])", false},
      {R"([{"type": "rows", "fetchMode": "One"}])", false},
      {R"([{"type": "rows", "items": null}])", false},
      {R"([{"type": "rows", "items": [{"type": "tags", "entity": [{"text": 1}]}]}])", false},
      {R"([{"type": "rows", "entity": null, "data": null, "start": null}])", true},
      // Types the tool describes generically.
      {R"([{"type": "list", "entity": [{"class": "Product", "id": 1}]}])", true},
      {R"([{"type": "list", "entity": [{"id": 1}]}])", false},
      {R"([{"type": "banner_list", "entity": {"id": 1}}])", false},
      {R"([{"type": "banner", "entity": "anything"}, {"entity": 5}])", true},
  };
  std::vector<Value> documents;
  for (const Case& c : cases) documents.push_back(parseJSON(c.document));
  const std::vector<bool> valid = validate(schema, documents);
  ASSERT_EQ(valid.size(), documents.size());
  for (std::size_t i = 0; i < documents.size(); ++i) {
    EXPECT_EQ(valid[i], cases[i].valid) << cases[i].document;
    EXPECT_EQ(templateDecodes(documents[i]), cases[i].valid) << cases[i].document;
  }
}

// A host's own question kind, with a member of its own.
class RatingItem : public FeedbackFormItem {
 public:
  std::int64_t stars = 0;
  static std::vector<json_schema::Member> jsonSchemaMembers() {
    auto members = FeedbackFormItem::jsonSchemaMembers();
    members.push_back({"stars", json_schema::integer64("How many stars."), true});
    return members;
  }

 protected:
  void decodeMembers(KeyedDecodingContainer& c) override {
    FeedbackFormItem::decodeMembers(c);
    stars = c.decode<std::int64_t>("stars");
  }
};

TEST(FormSchemaTest, AHostsOwnQuestionKindGetsItsMembers) {
  auto registry = std::make_shared<FeedbackFormItemsRegistry>();
  registry->register_<RatingItem>(FeedbackFormItemType("rating"));
  const Value schema = feedbackFormSchema(*registry, "forms");
  const std::vector<std::pair<const char*, bool>> cases = {
      {R"({"id": 1, "items": [{"id": 1, "type": "rating", "isRequired": true, "stars": 3}]})",
       true},
      {R"({"id": 1, "items": [{"id": 1, "type": "rating", "isRequired": true}]})", false},
      {R"({"id": 1, "items": [{"id": 1, "type": "rating", "isRequired": true, "stars": "x"}]})",
       false},
      {R"({"id": 1, "items": [{"id": 1, "type": "text", "isRequired": true, "stars": "x"}]})",
       true},
      // Kinds nobody registered are dropped, whatever they hold.
      {R"({"id": 1, "items": [{"type": "slider", "stars": "x"}, {"text": 1}]})", true},
      {R"({"id": 1, "items": [{"type": null}]})", false},
  };
  std::vector<Value> documents;
  for (const auto& [text, valid] : cases) documents.push_back(parseJSON(text));
  const std::vector<bool> valid = validate(schema, documents);
  ASSERT_EQ(valid.size(), cases.size());
  const auto previous = FeedbackFormItemsRegistry::shared();
  FeedbackFormItemsRegistry::setShared(registry);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(valid[i], cases[i].second) << cases[i].first;
    EXPECT_EQ(formDecodes(documents[i]), cases[i].second) << cases[i].first;
  }
  FeedbackFormItemsRegistry::setShared(previous);
}

TEST(SchemaCommandTest, EveryKindIsAValidDraft202012SchemaWithTitlesAndDescriptions) {
  const ScratchDirectory dir;
  std::string files;
  for (const std::string& name : schemaKindNames()) {
    const SchemaKind kind = *schemaKindNamed(name);
    const Value document = schemaDocument(kind);
    const auto& o = *document.ifObject();
    EXPECT_EQ(*o.find("$schema"), Value("https://json-schema.org/draft/2020-12/schema"));
    EXPECT_EQ(*o.find("$id"), Value(std::string(kSchemaBaseId) + schemaFileName(kind)));
    EXPECT_NE(o.find("title"), nullptr);
    EXPECT_NE(o.find("description"), nullptr);
    const std::string file = dir.write(schemaFileName(kind), schemaText(document));
    files += " " + file;
    EXPECT_EQ(parseJSON(contentsOf(file)), document);
  }
  const std::string command = "/usr/bin/python3 " + kValidator.string() + " --check" + files;
  EXPECT_EQ(std::system(command.c_str()), 0);
  EXPECT_FALSE(schemaKindNamed("templates"));
}

}  // namespace
}  // namespace quarn::tool
