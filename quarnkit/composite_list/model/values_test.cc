// The value types of a template: item types, fetch modes, template sources,
// item data, includes.
#include <gtest/gtest.h>

#include <unordered_set>

#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/coding/json_encoder.h"
#include "quarnkit/composite_list/model/divider_include.h"
#include "quarnkit/composite_list/model/fetch_mode.h"
#include "quarnkit/composite_list/model/item_data.h"

namespace quarn {
namespace {

TEST(CompositeListItemTypeTest, DerivedOperations) {
  using T = CompositeListItemType;
  EXPECT_EQ(T::listOf(T::banner), T::bannerList);
  EXPECT_EQ(T::bannerList.rawValue, "banner_list");
  EXPECT_TRUE(T::bannerSmall.isSubtypeOf(T::banner));
  EXPECT_TRUE(T::bannerList.isSubtypeOf(T::banner));
  EXPECT_TRUE(T::rows.isSubtypeOf(T::rows));
  EXPECT_FALSE(T::banner.isSubtypeOf(T::bannerSmall));
  EXPECT_TRUE(T::list.isAnyListOf());
  EXPECT_TRUE(T::bannerList.isAnyListOf());
  EXPECT_TRUE(T("playlist").isAnyListOf()) << "the suffix tested is \"list\"";
  EXPECT_FALSE(T::rows.isAnyListOf());
  EXPECT_EQ(JSONDecoder().decode<T>("\"anything\""), T("anything"));
  EXPECT_EQ(JSONDecoder().decode<CompositeListItemVisibility>("\"vip\"").rawValue, "vip");
  std::unordered_set<T> set{T::rows, T("rows"), T::tags};
  EXPECT_EQ(set.size(), 2u);
}

TEST(CompositeListFetchModeTest, DecodesStrictly) {
  EXPECT_EQ(JSONDecoder().decode<CompositeListFetchMode>("\"one\""), CompositeListFetchMode::one);
  EXPECT_EQ(JSONDecoder().decode<CompositeListFetchMode>("\"individual\""),
            CompositeListFetchMode::individual);
  for (const char* bad : {"\"One\"", "\"sometimes\"", "1"}) {
    EXPECT_THROW(JSONDecoder().decode<CompositeListFetchMode>(bad), DecodingError) << bad;
  }
}

TEST(CompositeListTemplateSourceTest, RawValueEqualityAndHash) {
  const auto file = CompositeListTemplateSource::url(URL::fileURL("/tmp/t.json"));
  EXPECT_EQ(file.rawValue(), "file:///tmp/t.json");
  EXPECT_EQ(CompositeListTemplateSource::key("home").rawValue(), "home");
  EXPECT_NE(CompositeListTemplateSource::key("home"),
            CompositeListTemplateSource::keyReference("home"));
  EXPECT_NE(CompositeListTemplateSource::key("home").hash(),
            CompositeListTemplateSource::keyReference("home").hash());
  EXPECT_EQ(CompositeListTemplateSource::key("a"), CompositeListTemplateSource::key("a"));
}

CompositeListItemData data(std::string_view json) {
  return JSONDecoder().decode<CompositeListItemData>(json);
}

TEST(CompositeListItemDataTest, DecodesFieldsActionsAndFooterModes) {
  const auto d = data(R"({"title":"T","maxItems":5,"random":true,"layoutSize":"huge",
      "headerAction":"https://x.y/more","footerMode":"expand","others":{"a":[1]},"unknown":1})");
  EXPECT_EQ(d.title, "T");
  EXPECT_EQ(d.maxItems, 5);
  EXPECT_EQ(d.layoutSize->rawValue, "huge");
  EXPECT_EQ(d.headerAction->kind(), CompositeListItemData::Action::Kind::link);
  EXPECT_EQ(d.headerAction->url()->host(), "x.y");
  EXPECT_EQ(d.footerMode, CompositeListItemData::FooterMode::expand);
  EXPECT_EQ(*d.others->find("a"), Value(Value::Array{1}));
  EXPECT_FALSE(d.description);

  using Kind = CompositeListItemData::Action::Kind;
  EXPECT_EQ(data(R"({"headerAction":"none"})").headerAction->kind(), Kind::disabled);
  EXPECT_EQ(data(R"({"headerAction":"default"})").headerAction->kind(), Kind::default_);
  EXPECT_EQ(data(R"({"headerAction":"not a url"})").headerAction->kind(), Kind::default_);
  using Footer = CompositeListItemData::FooterMode;
  EXPECT_EQ(data(R"({"footerMode":"none"})").footerMode, Footer::disabled);
  EXPECT_EQ(data(R"({"footerMode":"whatever"})").footerMode, Footer::default_);

  EXPECT_THROW(data(R"({"maxItems":"5"})"), DecodingError);
  EXPECT_THROW(data(R"({"others":[1]})"), DecodingError);
}

TEST(CompositeListItemDataTest, EncodesPresentFieldsAndRejectsDecodeOnlyOnes) {
  CompositeListItemData d;
  d.title = "T";
  d.maxItems = 3;
  EXPECT_EQ(JSONEncoder().encode(d), R"({"title":"T","maxItems":3})");
  d.footerMode = CompositeListItemData::FooterMode::expand;
  EXPECT_THROW(JSONEncoder().encode(d), EncodingError);
}

CompositeListInclude include(std::string_view json) {
  return JSONDecoder().decode<CompositeListInclude>(json);
}

TEST(CompositeListIncludeTest, SourceAndRangeFallBacks) {
  using Kind = CompositeListTemplateSource::Kind;
  EXPECT_EQ(include(R"({"url":"https://a.b/t.json","key":"k"})").templateSource.kind(), Kind::url);
  const auto ref = include(R"({"reference":"r","key":"k"})");
  EXPECT_EQ(ref.templateSource, CompositeListTemplateSource::keyReference("r"));
  EXPECT_EQ(include(R"({"url":5,"key":"k"})").templateSource,
            CompositeListTemplateSource::key("k"));
  EXPECT_EQ(include(R"({"url":"not a url","key":"k"})").templateSource.kind(), Kind::key);
  try {
    include(R"({"uniqueId":"x"})");
    FAIL();
  } catch (const DecodingError& e) {
    EXPECT_EQ(e.kind(), DecodingError::Kind::keyNotFound);
    EXPECT_EQ(e.key()->stringValue(), "key");
  }
  EXPECT_EQ(include(R"({"key":"k","range":[5,2],"index":1})").range, (ClosedRange{1, 1}));
  EXPECT_EQ(include(R"({"key":"k","range":[0,2]})").range, (ClosedRange{0, 2}));
  EXPECT_EQ(include(R"({"key":"k","range":[0,1,2]})").range, std::nullopt);
  EXPECT_EQ(include(R"({"key":"k","range":"x","index":"y"})").range, std::nullopt);
  EXPECT_EQ(include(R"({"key":"k","uniqueId":"u"})").uniqueId, "u");
  EXPECT_THROW(include(R"({"key":"k","uniqueId":5})"), DecodingError);
  EXPECT_EQ(include(R"({"key":"k"})"), include(R"({"key":"k"})"));
  EXPECT_EQ(JSONDecoder().decode<CompositeListDivider>("[1,2]"), CompositeListDivider());
}

}  // namespace
}  // namespace quarn
