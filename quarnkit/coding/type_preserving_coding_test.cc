#include "quarnkit/coding/type_preserving_coding.h"

#include <gtest/gtest.h>

#include <typeinfo>

#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/coding/json_encoder.h"
#include "quarnkit/testing/support.h"

namespace geo {

struct Shape : quarn::TypePreservingCodable {
  [[nodiscard]] virtual double size() const = 0;
};

struct Circle : quarn::TypePreserving<Circle, Shape> {
  double radius = 0;
  explicit Circle(double r = 0) : radius(r) {}
  [[nodiscard]] double size() const override { return radius; }
  static Circle decode(quarn::Decoder& d) {
    return Circle(d.container()->decode<double>("radius"));
  }
  void encode(quarn::Encoder& e) const override { e.container()->encode(radius, "radius"); }
};

// Derives from a named type without a name of its own.
struct Ellipse final : Circle {
  using Circle::Circle;
};

struct Square final : Shape {
  double side = 0;
  explicit Square(double s = 0) : side(s) {}
  [[nodiscard]] double size() const override { return side; }
  static Square decode(quarn::Decoder& d) { return Square(d.container()->decode<double>("side")); }
  void encode(quarn::Encoder& e) const override { e.container()->encode(side, "side"); }
};

struct Drawing {
  struct Layer final : Shape {
    std::string name;
    [[nodiscard]] double size() const override { return 0; }
    static Layer decode(quarn::Decoder& d) {
      Layer l;
      l.name = d.container()->decode<std::string>("name");
      return l;
    }
    void encode(quarn::Encoder& e) const override { e.container()->encode(name, "name"); }
  };
};

template <class T>
struct Box final : Shape {
  T content{};
  [[nodiscard]] double size() const override { return 1; }
  static Box decode(quarn::Decoder& d) {
    Box b;
    b.content = d.container()->decode<T>("content");
    return b;
  }
  void encode(quarn::Encoder& e) const override { e.container()->encode(content, "content"); }
};

// Named by itself, and never registered nor named elsewhere.
struct Hexagon final : quarn::TypePreserving<Hexagon, Shape> {
  [[nodiscard]] double size() const override { return 6; }
  void encode(quarn::Encoder& e) const override { e.container()->encode(std::int64_t{6}, "n"); }
};

// Named by itself, and asked for its name only through its base.
struct Octagon final : quarn::TypePreserving<Octagon, Shape> {
  [[nodiscard]] double size() const override { return 8; }
  void encode(quarn::Encoder& e) const override { e.container()->encode(std::int64_t{8}, "n"); }
};

// Encodes as a bare number: cannot carry its type's name.
struct Scalar final : Shape {
  [[nodiscard]] double size() const override { return 0; }
  static Scalar decode(quarn::Decoder&) { return {}; }
  void encode(quarn::Encoder& e) const override { e.encode(std::int64_t{1}); }
};

// Another family.
struct Tool : quarn::TypePreservingCodable {};

// Writes one of the wrapper's own members among its members.
struct Impostor final : quarn::TypePreserving<Impostor, Shape> {
  std::string member;
  [[nodiscard]] double size() const override { return 0; }
  static Impostor decode(quarn::Decoder&) { return {}; }
  void encode(quarn::Encoder& e) const override {
    auto c = e.container();
    c->encode(std::int64_t{1}, "side");
    if (member == "nested") {
      c->nestedContainer("__type_preserving_strategy")->encode(true, "x");
    } else {
      c->encode(std::string("Geometry.Square"), member);
    }
  }
};

// Named in data as Circle is: a second C++ type claiming Circle's signature.
struct FakeCircle final : Shape {
  [[nodiscard]] double size() const override { return -1; }
  static FakeCircle decode(quarn::Decoder&) { return {}; }
  void encode(quarn::Encoder&) const override {}
};

}  // namespace geo

namespace quarn {
template <>
struct CodableTypeNameOf<geo::Circle> : CodableTypeNamed<"Geometry", "Circle"> {};
template <>
struct CodableTypeNameOf<geo::Square> : CodableTypeNamed<"Geometry", "Square"> {};
template <>
struct CodableTypeNameOf<geo::Drawing> : CodableTypeNamed<"Geometry", "Drawing"> {};
template <>
struct CodableTypeNameOf<geo::Drawing::Layer> : CodableTypeNestedIn<geo::Drawing, "Layer"> {};
template <class T>
struct CodableTypeNameOf<geo::Box<T>> : CodableTypeNamed<"Geometry", "Box", T> {};
template <>
struct CodableTypeNameOf<geo::Scalar> : CodableTypeNamed<"Geometry", "Scalar"> {};
template <>
struct CodableTypeNameOf<geo::Hexagon> : CodableTypeNamed<"Geometry", "Hexagon"> {};
template <>
struct CodableTypeNameOf<geo::Octagon> : CodableTypeNamed<"Geometry", "Octagon"> {};
template <>
struct CodableTypeNameOf<geo::Impostor> : CodableTypeNamed<"Geometry", "Impostor"> {};
template <>
struct CodableTypeNameOf<geo::FakeCircle> : CodableTypeNamed<"Geometry", "Circle"> {};
}  // namespace quarn

namespace quarn {
namespace {

using geo::Box;
using geo::Circle;
using geo::Shape;
using geo::Square;
using Shapes = std::vector<std::shared_ptr<Shape>>;

// The dynamic type of what `pointer` points at.
template <class Pointer>
const std::type_info& pointeeType(const Pointer& pointer) {
  const auto& object = *pointer;
  return typeid(object);
}

// A record with type-preserved fields of every shape.
struct Scene {
  std::shared_ptr<Shape> main;
  Shapes shapes;
  std::optional<std::shared_ptr<Shape>> extra;
  CodableTypeStrategy strategy = CodableTypeStrategy::auto_;

  static Scene decode(Decoder& d) {
    auto c = d.container();
    Scene s;
    s.main = decodeTypePreserved<std::shared_ptr<Shape>, Shape>(*c, "main");
    s.shapes = decodeTypePreserved<Shapes, Shape>(*c, "shapes");
    s.extra = decodeTypePreservedIfPresent<std::shared_ptr<Shape>, Shape>(*c, "extra");
    return s;
  }
  void encode(Encoder& e) const {
    auto c = e.container();
    encodeTypePreserved<Shape>(*c, *main, "main", strategy);
    encodeTypePreserved<Shape>(*c, shapes, "shapes", strategy);
    if (extra) encodeTypePreservedIfPresent<Shape>(*c, *extra, "extra", strategy);
  }
};

std::shared_ptr<TypePreservingCodingAdapters> shapeAdapters(bool withAliases) {
  auto adapter = std::make_shared<TypePreservingCodingAdapter>();
  if (withAliases) {
    adapter->register_<Circle>("circle").register_<Square>("square");
  } else {
    adapter->register_<Circle>().register_<Square>();
  }
  adapter->register_<geo::Drawing::Layer>().register_<Box<std::int64_t>>().register_<Box<Circle>>();
  auto adapters = std::make_shared<TypePreservingCodingAdapters>();
  adapters->register_<Shape>(adapter);
  return adapters;
}

JSONDecoder decoderWith(std::shared_ptr<TypePreservingCodingAdapters> adapters) {
  JSONDecoder decoder;
  if (adapters) decoder.userInfo.set(std::string(kTypePreservingCodingAdaptersKey), adapters);
  return decoder;
}

JSONEncoder encoderWith(std::shared_ptr<TypePreservingCodingAdapters> adapters) {
  JSONEncoder encoder;
  if (adapters) encoder.userInfo.set(std::string(kTypePreservingCodingAdaptersKey), adapters);
  return encoder;
}

std::string encodeOne(const JSONEncoder& encoder, const Shape& shape, CodableTypeStrategy s) {
  return encoder.encode([&](Encoder& e) {
    auto c = e.container();
    encodeTypePreserved<Shape>(*c, shape, "v", s);
  });
}

// The document encodeOne() writes: the value under "v", named `type` by
// `strategy` (1 signature, 2 alias), then the value's own `members`.
std::string wrapped(std::string_view type, int strategy, std::string_view members) {
  return R"({"v":{"__preserved_type":")" + std::string(type) +
         R"(","__type_preserving_strategy":)" + std::to_string(strategy) +
         (members.empty() ? "" : "," + std::string(members)) + "}}";
}

std::shared_ptr<Shape> decodeOne(const JSONDecoder& decoder, std::string_view json) {
  std::shared_ptr<Shape> out;
  decoder.decode(json, [&](Decoder& d) {
    out = decodeTypePreserved<std::shared_ptr<Shape>, Shape>(*d.container(), "v");
  });
  return out;
}

TEST(CodableTypeSignatureTest, NamesAreComposedFromTheHostsNamesNotTheCompilers) {
  EXPECT_EQ(CodableTypeSignature::of<Circle>().rawValue, "Geometry.Circle");
  EXPECT_EQ(CodableTypeSignature::of<geo::Drawing::Layer>().rawValue, "Geometry.Drawing.Layer");
  EXPECT_EQ(CodableTypeSignature::of<Box<std::int64_t>>().rawValue, "Geometry.Box<Int>");
  EXPECT_EQ(CodableTypeSignature::of<Box<std::vector<std::optional<std::string>>>>().rawValue,
            "Geometry.Box<Array<Optional<String>>>");
  EXPECT_EQ(CodableTypeSignature::of<Box<Box<Circle>>>().rawValue,
            "Geometry.Box<Geometry.Box<Geometry.Circle>>");
  EXPECT_EQ((CodableTypeSignature::of<std::map<std::string, Square>>().rawValue),
            "Dictionary<String, Geometry.Square>");
}

TEST(CodableTypeSignatureTest, RunTimeTypesAgreeWithRegistrationBothWays) {
  // Named through the static type: the run-time name of a value reached
  // through its base is the same string.
  const std::shared_ptr<Shape> layer = std::make_shared<geo::Drawing::Layer>();
  const std::shared_ptr<Shape> box = std::make_shared<Box<Box<std::string>>>();
  const auto boxSignature = CodableTypeSignature::of<Box<Box<std::string>>>();
  EXPECT_EQ(CodableTypeSignature::of(*box), boxSignature);
  EXPECT_EQ(boxSignature.rawValue, "Geometry.Box<Geometry.Box<String>>");
  const auto layerSignature = CodableTypeSignature::of<geo::Drawing::Layer>();
  EXPECT_EQ(CodableTypeSignature::of(*layer), layerSignature);
  // A subclass without a name of its own is not given its parent's.
  const std::shared_ptr<Shape> ellipse = std::make_shared<geo::Ellipse>(1);
  EXPECT_EQ(CodableTypeSignature::of(*ellipse), std::nullopt);

  // Written from the value's run-time type, read back by the registered name.
  const auto adapters = shapeAdapters(false);
  for (const std::shared_ptr<Shape>& shape :
       {std::shared_ptr<Shape>(std::make_shared<geo::Drawing::Layer>()),
        std::shared_ptr<Shape>(std::make_shared<Box<std::int64_t>>()),
        std::shared_ptr<Shape>(std::make_shared<Box<Circle>>())}) {
    const std::string json = encodeOne(encoderWith(adapters), *shape, CodableTypeStrategy::auto_);
    const auto decoded = decodeOne(decoderWith(adapters), json);
    EXPECT_EQ(pointeeType(decoded), pointeeType(shape)) << json;
  }
  EXPECT_EQ(encodeOne(encoderWith(nullptr), Box<Circle>(), CodableTypeStrategy::signature),
            R"({"v":{"__preserved_type":"Geometry.Box<Geometry.Circle>",)"
            R"("__type_preserving_strategy":1,"content":{"radius":0}}})");
}

TEST(CodableTypeSignatureTest, ATypeThatNamesItselfIsNamedThroughItsBase) {
  // Nothing in this process has named an Octagon before.
  ASSERT_EQ(CodableTypeSignature::ofType(typeid(geo::Octagon)), std::nullopt);
  const std::shared_ptr<const Shape> octagon = std::make_shared<geo::Octagon>();
  ASSERT_TRUE(CodableTypeSignature::of(*octagon));
  EXPECT_EQ(CodableTypeSignature::of(*octagon)->rawValue, "Geometry.Octagon");
  // The same through the root of the families.
  const quarn::TypePreservingCodable& root = *octagon;
  EXPECT_EQ(CodableTypeSignature::of(root), CodableTypeSignature::of<geo::Octagon>());
}

TEST(TypePreservingEncodingTest, StrategyChoosesTheNameWritten) {
  const auto aliased = shapeAdapters(true);
  const auto plain = shapeAdapters(false);
  const Circle circle(2);
  // Reached only through its base, in a process that never named it: a type
  // that names itself needs no registration.
  const std::shared_ptr<const Shape> hexagon = std::make_shared<geo::Hexagon>();
  struct Case {
    std::shared_ptr<TypePreservingCodingAdapters> adapters;
    CodableTypeStrategy strategy;
    const Shape& shape;
    std::string json;
  };
  const Case cases[] = {
      {nullptr, CodableTypeStrategy::auto_, circle, wrapped("Geometry.Circle", 1, R"("radius":2)")},
      {plain, CodableTypeStrategy::auto_, circle, wrapped("Geometry.Circle", 1, R"("radius":2)")},
      {aliased, CodableTypeStrategy::auto_, circle, wrapped("circle", 2, R"("radius":2)")},
      {aliased, CodableTypeStrategy::signature, circle,
       wrapped("Geometry.Circle", 1, R"("radius":2)")},
      {aliased, CodableTypeStrategy::alias, circle, wrapped("circle", 2, R"("radius":2)")},
      {nullptr, CodableTypeStrategy::auto_, *hexagon, wrapped("Geometry.Hexagon", 1, R"("n":6)")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(encodeOne(encoderWith(c.adapters), c.shape, c.strategy), c.json);
  }
}

TEST(TypePreservingEncodingTest, FailsRatherThanWriteWhatCannotBeReadBack) {
  auto adapterError = [](const JSONEncoder& encoder, const Shape& shape) {
    try {
      encodeOne(encoder, shape, CodableTypeStrategy::alias);
    } catch (const TypePreservingCodingAdapterError& e) {
      return e.errorCase();
    }
    ADD_FAILURE() << "no error";
    return TypePreservingCodingAdapterError::Case::adapterWasNotProvided;
  };
  EXPECT_EQ(adapterError(encoderWith(nullptr), Circle(1)),
            TypePreservingCodingAdapterError::Case::adapterWasNotProvided);
  EXPECT_EQ(adapterError(encoderWith(shapeAdapters(false)), Circle(1)),
            TypePreservingCodingAdapterError::Case::noAliasRegisteredForSignature);

  // No name for the run-time type, or no object to add the name to.
  EXPECT_THROW(encodeOne(encoderWith(nullptr), geo::Ellipse(1), CodableTypeStrategy::signature),
               EncodingError);
  EXPECT_THROW(encodeOne(encoderWith(nullptr), geo::Scalar(), CodableTypeStrategy::signature),
               EncodingError);
}

TEST(TypePreservingDecodingTest, ResolvesEveryStrategy) {
  const auto decoder = decoderWith(shapeAdapters(true));
  const std::string cases[] = {
      wrapped("Geometry.Square", 1, R"("side":3)"),
      wrapped("square", 2, R"("side":3)"),
      // auto: an alias, or else a signature.
      wrapped("square", 0, R"("side":3)"),
      R"({"v":{"__type_preserving_strategy":0,"__preserved_type":"Geometry.Square","side":3}})",
  };
  for (const std::string& json : cases) {
    const auto shape = decodeOne(decoder, json);
    EXPECT_EQ(pointeeType(shape), typeid(Square)) << json;
    EXPECT_EQ(shape->size(), 3);
  }
  // The strategy read is kept.
  const auto wrapper = decoder.decode<TypePreservingDecodeWrapper<Shape>>(
      R"({"__preserved_type":"square","__type_preserving_strategy":0,"side":3})");
  EXPECT_EQ(wrapper.strategy, CodableTypeStrategy::auto_);
}

TEST(TypePreservingDecodingTest, FailuresNameTheCaseAndTheCodingPath) {
  using Case = TypePreservingCodingAdapterError::Case;
  struct Row {
    std::shared_ptr<TypePreservingCodingAdapters> adapters;
    std::string json;
    std::optional<Case> adapterCase;  // else a plain DecodingError of `kind`
    DecodingError::Kind kind;
    const char* path;
  };
  const auto aliased = shapeAdapters(true);
  auto otherFamily = std::make_shared<TypePreservingCodingAdapters>();
  otherFamily->register_<geo::Tool>(std::make_shared<TypePreservingCodingAdapter>());
  const Row rows[] = {
      // Adapters are needed whatever the strategy.
      {nullptr, wrapped("Geometry.Circle", 1, ""), Case::adapterWasNotProvided,
       DecodingError::Kind::dataCorrupted, "v"},
      {otherFamily, wrapped("Geometry.Circle", 1, ""), Case::adapterWasNotProvided,
       DecodingError::Kind::dataCorrupted, "v"},
      // A signature that is an alias, an unknown alias, an unknown signature.
      {aliased, wrapped("circle", 1, ""), Case::noDecodableRegisteredForSignature,
       DecodingError::Kind::dataCorrupted, "v.__preserved_type"},
      {aliased, wrapped("hexagon", 2, ""), Case::noSignatureRegisteredForAlias,
       DecodingError::Kind::dataCorrupted, "v.__preserved_type"},
      {aliased, wrapped("Geometry.Hexagon", 0, ""), Case::noDecodableRegisteredForSignature,
       DecodingError::Kind::dataCorrupted, "v.__preserved_type"},
      // The decoder's own failures.
      {aliased, wrapped("circle", 3, ""), std::nullopt, DecodingError::Kind::dataCorrupted,
       "v.__type_preserving_strategy"},
      {aliased, wrapped("circle", -1, ""), std::nullopt, DecodingError::Kind::dataCorrupted,
       "v.__type_preserving_strategy"},
      {aliased, R"({"v":{"__preserved_type":"circle"}})", std::nullopt,
       DecodingError::Kind::keyNotFound, "v"},
      {aliased, R"({"v":{"__type_preserving_strategy":0,"__preserved_type":7}})", std::nullopt,
       DecodingError::Kind::typeMismatch, "v.__preserved_type"},
      {aliased, R"({"v":[1]})", std::nullopt, DecodingError::Kind::typeMismatch, "v"},
      {aliased, wrapped("circle", 2, ""), std::nullopt, DecodingError::Kind::keyNotFound,
       "v"},  // no radius
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.json);
    const auto error =
        quarn::testing::errorOf([&] { decodeOne(decoderWith(row.adapters), row.json); });
    ASSERT_TRUE(error);
    try {
      std::rethrow_exception(error);
    } catch (const TypePreservingCodingAdapterError& e) {
      ASSERT_TRUE(row.adapterCase) << e.description();
      EXPECT_EQ(e.errorCase(), *row.adapterCase);
      EXPECT_EQ(codingPathDescription(e.codingPath()), row.path);
    } catch (const DecodingError& e) {
      EXPECT_FALSE(row.adapterCase) << e.description();
      EXPECT_EQ(e.kind(), row.kind) << e.description();
      EXPECT_EQ(codingPathDescription(e.codingPath()), row.path);
    } catch (...) {
      ADD_FAILURE() << "not a DecodingError";
    }
  }
}

TEST(TypePreservingDecodingTest, SettingsOfTheWrongKindCountAsMissing) {
  JSONDecoder decoder;
  decoder.userInfo.set(std::string(kTypePreservingCodingAdaptersKey), std::string("adapters"));
  EXPECT_THROW(decodeOne(decoder, wrapped("x", 1, "")), TypePreservingCodingAdapterError);
  decoder.userInfo.set(std::string(kTypePreservingCodingAdaptersKey),
                       std::shared_ptr<const TypePreservingCodingAdapters>(shapeAdapters(false)));
  EXPECT_NE(decodeOne(decoder, wrapped("Geometry.Circle", 1, R"("radius":1)")), nullptr);
}

TEST(TypePreservingDecodingTest, AnotherMemberOfTheFamilyIsATypeMismatch) {
  // The data names Square where a Circle is asked for: an error, never a
  // Square used as a Circle.
  const auto decoder = decoderWith(shapeAdapters(true));
  const auto error = quarn::testing::errorOf([&] {
    decoder.decode(
        R"({"list":[{"__preserved_type":"circle","__type_preserving_strategy":2,"radius":1},
                               {"__preserved_type":"square","__type_preserving_strategy":2,"side":1}]})",
        [&](Decoder& d) {
          (void)decodeTypePreserved<std::vector<std::shared_ptr<const Circle>>, Shape>(
              *d.container(), "list");
        });
  });
  ASSERT_TRUE(error) << "a Square was decoded as a Circle";
  try {
    std::rethrow_exception(error);
  } catch (const DecodingError& e) {
    EXPECT_EQ(e.kind(), DecodingError::Kind::typeMismatch);
    EXPECT_EQ(codingPathDescription(e.codingPath()), "list[1]");
    EXPECT_EQ(e.debugDescription(),
              "Expected to decode Geometry.Circle but found Geometry.Square instead.");
  }
}

TEST(TypePreservingCodingTest, EveryShapeRoundTripsThroughTheEncoder) {
  for (const bool aliases : {false, true}) {
    for (const auto strategy :
         {CodableTypeStrategy::auto_, CodableTypeStrategy::signature, CodableTypeStrategy::alias}) {
      if (strategy == CodableTypeStrategy::alias && !aliases) continue;
      const auto adapters = shapeAdapters(aliases);
      Scene scene;
      scene.main = std::make_shared<Square>(4);
      scene.shapes = {std::make_shared<Circle>(1), std::make_shared<Square>(2)};
      scene.strategy = strategy;
      if (strategy != CodableTypeStrategy::alias) {
        auto box = std::make_shared<Box<Circle>>();
        box->content.radius = 5;
        scene.shapes.push_back(box);
        scene.extra = std::make_shared<geo::Drawing::Layer>();
      }
      const std::string json = encoderWith(adapters).encode(scene);
      Scene back = decoderWith(adapters).decode<Scene>(json);
      back.strategy = strategy;
      SCOPED_TRACE(json);
      EXPECT_EQ(pointeeType(back.main), typeid(Square));
      ASSERT_EQ(back.shapes.size(), scene.shapes.size());
      for (std::size_t i = 0; i < back.shapes.size(); ++i) {
        EXPECT_EQ(pointeeType(back.shapes[i]), pointeeType(scene.shapes[i]));
        EXPECT_EQ(back.shapes[i]->size(), scene.shapes[i]->size());
      }
      EXPECT_EQ(back.extra.has_value(), scene.extra.has_value());
      EXPECT_EQ(encoderWith(adapters).encode(back), json);
    }
  }
  // A present null is decoded, and fails; a missing member is nothing.
  const auto decoder = decoderWith(shapeAdapters(false));
  const char* base =
      R"({"main":{"__preserved_type":"Geometry.Circle","__type_preserving_strategy":1,"radius":1},"shapes":[])";
  EXPECT_FALSE(decoder.decode<Scene>(std::string(base) + "}").extra);
  EXPECT_THROW(decoder.decode<Scene>(std::string(base) + R"(,"extra":null})"), DecodingError);
}

TEST(TypePreservingCodingAdapterTest, RegistrationsAndLookUps) {
  TypePreservingCodingAdapter adapter;
  adapter.register_<Circle>().register_<Circle>();
  // An alias registers its type too.
  adapter.register_<Square>("sq").register_<Square>("sq");
  adapter.register_<Box<std::int64_t>>().register_<Box<std::string>>().register_<Box<double>>();
  adapter.register_<Box<bool>>().register_<Box<Circle>>().register_<geo::Drawing::Layer>();
  EXPECT_EQ(adapter.metaCodable(CodableTypeSignature::of<Circle>()).type, &typeid(Circle));
  EXPECT_EQ(adapter.metaCodable(CodableTypeAlias("sq")).type, &typeid(Square));
  EXPECT_EQ(adapter.metaCodable(CodableTypeSignature("Geometry.Square")).type, &typeid(Square));
  EXPECT_EQ(adapter.findAlias("Geometry.Square")->rawValue, "sq");
  EXPECT_EQ(adapter.findSignature("sq")->rawValue, "Geometry.Square");
  EXPECT_EQ(adapter.findMetaCodableByAlias("sq")->type, &typeid(Square));
  EXPECT_EQ(adapter.findMetaCodableByAlias("square"), nullptr);
  EXPECT_EQ(adapter.findAlias("Geometry.Circle"), nullptr);
  try {
    (void)adapter.metaCodable(CodableTypeAlias("circle"));
    ADD_FAILURE();
  } catch (const TypePreservingCodingAdapterError& e) {
    EXPECT_EQ(e.errorCase(), TypePreservingCodingAdapterError::Case::noSignatureRegisteredForAlias);
    EXPECT_EQ(e.alias()->rawValue, "circle");
    EXPECT_EQ(e.description(), "noSignatureRegisteredForAlias(circle)");
  }
  TypePreservingCodingAdapters adapters;
  auto first = std::make_shared<TypePreservingCodingAdapter>();
  auto second = std::make_shared<TypePreservingCodingAdapter>();
  adapters.register_<Shape>(first);
  adapters.register_<Shape>(first);
  adapters.replace<Shape>(second);
  EXPECT_EQ(adapters.adapter<Shape>(), second);
  EXPECT_EQ(adapters.adapter<geo::Tool>(), nullptr);
}

using RegistrationCase = TypePreservingCodingAdapterRegistrationError::Case;

// The case of the registration error `f` throws, or nothing.
template <class F>
std::optional<RegistrationCase> refusal(F&& f) {
  const auto error = quarn::testing::errorOfType<TypePreservingCodingAdapterRegistrationError>(f);
  if (!error) return std::nullopt;
  return error->errorCase();
}

const std::string kCircleByAlias = wrapped("circle", 2, R"("radius":7)");

std::shared_ptr<TypePreservingCodingAdapters> familyOf(
    std::shared_ptr<const TypePreservingCodingAdapter> adapter) {
  auto adapters = std::make_shared<TypePreservingCodingAdapters>();
  adapters->register_<Shape>(std::move(adapter));
  return adapters;
}

TEST(TypePreservingCodingAdapterTest, ACopyOwnsEverythingItLooksUp) {
  // A host's template adapter, copied and extended, the template then dropped.
  auto defaults = std::make_unique<TypePreservingCodingAdapter>();
  defaults->register_<Square>("square").register_<Circle>("circle");
  auto copy = std::make_shared<TypePreservingCodingAdapter>(*defaults);
  copy->register_<geo::Drawing::Layer>("layer");
  EXPECT_EQ(defaults->findAlias("Geometry.Drawing.Layer"), nullptr);
  defaults.reset();
  // Many more types make the maps of the copy grow and move.
  copy->register_<Box<std::int64_t>>().register_<Box<std::string>>().register_<Box<Circle>>();

  const auto shape = decodeOne(decoderWith(familyOf(copy)), kCircleByAlias);
  ASSERT_EQ(pointeeType(shape), typeid(Circle));
  EXPECT_EQ(shape->size(), 7);
  EXPECT_EQ(copy->findMetaCodableByAlias("square")->type, &typeid(Square));

  // Assigning a used adapter would move what its look-ups handed out.
  TypePreservingCodingAdapter other;
  EXPECT_EQ(refusal([&] { *copy = other; }), RegistrationCase::registeredAfterFirstUse);
  other = *copy;
  EXPECT_EQ(other.findMetaCodableByAlias("layer")->type, &typeid(geo::Drawing::Layer));
}

TEST(TypePreservingCodingAdapterTest, ANameHeldByAnotherTypeIsRefusedAndKeepsItsType) {
  auto adapter = std::make_shared<TypePreservingCodingAdapter>();
  adapter->register_<Circle>("circle").register_<Square>();
  // The alias of another type; another alias for a type; another type under a
  // signature. None of them changes anything, not even the type's own entry.
  EXPECT_EQ(refusal([&] { adapter->register_<Square>("circle"); }),
            RegistrationCase::aliasRegisteredForAnotherSignature);
  EXPECT_EQ(refusal([&] { adapter->register_<Circle>("round"); }),
            RegistrationCase::anotherAliasRegisteredForSignature);
  EXPECT_EQ(refusal([&] { adapter->register_<geo::FakeCircle>(); }),
            RegistrationCase::signatureRegisteredForAnotherType);
  EXPECT_EQ(refusal([&] { adapter->register_<geo::Drawing::Layer>("circle"); }),
            RegistrationCase::aliasRegisteredForAnotherSignature);
  EXPECT_EQ(refusal([&] { adapter->register_<Circle>("circle"); }), std::nullopt);

  const auto adapters = familyOf(adapter);
  const auto shape = decodeOne(decoderWith(adapters), kCircleByAlias);
  EXPECT_EQ(pointeeType(shape), typeid(Circle));
  EXPECT_EQ(adapter->findMetaCodable("Geometry.Drawing.Layer"), nullptr);
  EXPECT_EQ(adapter->findMetaCodableByAlias("round"), nullptr);
  EXPECT_EQ(encodeOne(encoderWith(adapters), Circle(1), CodableTypeStrategy::auto_),
            wrapped("circle", 2, R"("radius":1)"));

  const auto error = quarn::testing::errorOfType<TypePreservingCodingAdapterRegistrationError>(
      [] { TypePreservingCodingAdapter().register_<Circle>("c").register_<Square>("c"); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->description(), "aliasRegisteredForAnotherSignature(c, held by Geometry.Circle)");

  // Before first use, the family's adapter is the last one filed.
  TypePreservingCodingAdapters family;
  auto other = std::make_shared<TypePreservingCodingAdapter>();
  family.register_<Shape>(other);
  family.register_<Shape>(adapter);
  EXPECT_EQ(family.adapter<Shape>(), adapter);
}

TEST(TypePreservingCodingAdapterTest, RegistriesAreFrozenByTheirFirstUse) {
  auto adapter = std::make_shared<TypePreservingCodingAdapter>();
  adapter->register_<Circle>("circle");
  const auto adapters = familyOf(adapter);
  EXPECT_FALSE(adapter->isFrozen());
  EXPECT_FALSE(adapters->isFrozen());
  (void)decodeOne(decoderWith(adapters), kCircleByAlias);
  EXPECT_TRUE(adapter->isFrozen());
  EXPECT_TRUE(adapters->isFrozen());

  // Late registrations are loud and change nothing.
  EXPECT_EQ(refusal([&] { adapter->register_<Square>("square"); }),
            RegistrationCase::registeredAfterFirstUse);
  EXPECT_EQ(refusal([&] { adapter->register_<Circle>(); }),
            RegistrationCase::registeredAfterFirstUse);
  EXPECT_EQ(refusal([&] { adapters->register_<geo::Tool>(adapter); }),
            RegistrationCase::registeredAfterFirstUse);
  EXPECT_EQ(refusal([&] { adapters->replace<Shape>(adapter); }),
            RegistrationCase::registeredAfterFirstUse);
  EXPECT_EQ(adapter->findMetaCodable("Geometry.Square"), nullptr);
  EXPECT_EQ(adapters->adapter<geo::Tool>(), nullptr);

  // A copy of a used adapter is a new set-up: extended, then used itself.
  auto extended = std::make_shared<TypePreservingCodingAdapter>(*adapter);
  EXPECT_FALSE(extended->isFrozen());
  extended->register_<Square>("square");
  const auto shape =
      decodeOne(decoderWith(familyOf(extended)), wrapped("square", 2, R"("side":2)"));
  EXPECT_EQ(pointeeType(shape), typeid(Square));
}

TEST(TypePreservingEncodingTest, AValueCannotWriteTheWrappersMembers) {
  for (const char* member : {"__preserved_type", "__type_preserving_strategy", "nested"}) {
    SCOPED_TRACE(member);
    geo::Impostor impostor;
    impostor.member = member;
    const auto error = quarn::testing::errorOfType<EncodingError>(
        [&] { encodeOne(encoderWith(nullptr), impostor, CodableTypeStrategy::signature); });
    ASSERT_TRUE(error) << "the value renamed its type";
    EXPECT_EQ(codingPathDescription(error->context().codingPath),
              std::string("v.") +
                  (std::string(member) == "nested" ? "__type_preserving_strategy" : member))
        << error->description();
  }
}

TEST(TypePreservingEncodingTest, AnEmptyWrapperIsAnEncodingError) {
  const TypePreservingEncodeWrapper<Shape> empty;
  const auto error =
      quarn::testing::errorOfType<EncodingError>([&] { (void)JSONEncoder().encode(empty); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->value(), "nil");
  // With a value it writes as the container operations do.
  const TypePreservingEncodeWrapper<Shape> full{std::make_shared<Circle>(3),
                                                CodableTypeStrategy::signature};
  EXPECT_EQ(JSONEncoder().encode(full),
            R"({"__preserved_type":"Geometry.Circle","__type_preserving_strategy":1,"radius":3})");
}

}  // namespace
}  // namespace quarn
