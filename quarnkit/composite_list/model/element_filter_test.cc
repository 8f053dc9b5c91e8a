// Elements, the environment's facts and the element filter: predicate
// variables with dates, built-in facts from the platform services, the order
// of the filter's checks, its log lines and its single "now".
#include "quarnkit/composite_list/model/element_filter.h"

#include <gtest/gtest.h>

#include <atomic>

#include "quarnkit/composite_list/model/section_item.h"
#include "quarnkit/composite_list/testing/model_fixtures.h"
#include "quarnkit/core/log.h"
#include "quarnkit/platform/calendar.h"
#include "quarnkit/platform/device.h"
#include "quarnkit/platform/locale.h"
#include "quarnkit/platform/runtime/clock.h"
#include "quarnkit/platform/services.h"
#include "quarnkit/predicate/parse_cache.h"

namespace quarn {
namespace {

using platform::ScopedService;
using testing::LogCapture;

constexpr Date kNow = Date(1706695200);  // 2024-01-31T10:00:00Z, a Wednesday

using Environment = testing::TestEnvironment;

// Installs the platform services the environment reads.
struct Platform {
  explicit Platform(platform::UserInterfaceIdiom idiom = platform::UserInterfaceIdiom::phone,
                    platform::BundleInfo bundle = {std::nullopt, "2.1", "+42"})
      : clock(std::make_shared<platform::ManualClock>(kNow)),
        clockService(clock),
        device(std::make_shared<platform::FixedDevice>(idiom)),
        locale(std::make_shared<platform::FixedLocale>(
            "de_DE", std::vector<std::string>{"de-DE", "en"}, "Europe/Berlin")),
        calendar(std::make_shared<platform::FixedTimeZoneCalendar>(3600)),
        bundleInfo(std::make_shared<platform::BundleInfo>(std::move(bundle))) {}

  std::shared_ptr<platform::ManualClock> clock;
  ScopedService<platform::Clock> clockService;
  ScopedService<platform::Device> device;
  ScopedService<platform::Locale> locale;
  ScopedService<platform::Calendar> calendar;
  ScopedService<platform::BundleInfo> bundleInfo;
};

TEST(CompositeListElementTest, PredicateVarsParseDates) {
  const Date date = *Date::parseISO8601("2024-01-31T10:00:00Z");
  struct Case {
    std::optional<Value> vars;
    ValueDictionary expected;
  };
  const Case cases[] = {
      {std::nullopt, {}},
      {Value(Value::Array{1}), {}},
      {Value("2024-01-31T10:00:00Z"), {}},
      {Value{{"when", "2024-01-31T10:00:00Z"}, {"offset", "2024-01-31T11:00:00+01:00"}},
       {{"when", date}, {"offset", date}}},
      {Value{{"soon", "tomorrow"}, {"fraction", "2024-01-31T10:00:00.5Z"}, {"n", 3}},
       {{"soon", "tomorrow"}, {"fraction", "2024-01-31T10:00:00.5Z"}, {"n", 3}}},
      {Value{{"list", Value::Array{"2024-01-31T10:00:00Z", "x"}}},
       {{"list", Value::Array{date, "x"}}}},
      // Only lists made of strings are read; nested objects are left alone.
      {Value{{"mixed", Value::Array{"2024-01-31T10:00:00Z", 1}},
             {"object", {{"d", "2024-01-31T10:00:00Z"}}}},
       {{"mixed", Value::Array{"2024-01-31T10:00:00Z", 1}},
        {"object", {{"d", "2024-01-31T10:00:00Z"}}}}},
  };
  for (const auto& c : cases) {
    CompositeListRow row(std::nullopt, "text");
    row.vars = c.vars;
    EXPECT_EQ(predicateVars(row), c.expected) << (c.vars ? c.vars->description() : "none");
  }
}

TEST(CompositeListEnvironmentTest, ResolvedValuesFromThePlatformServices) {
  Platform platform(platform::UserInterfaceIdiom::tablet);
  const ValueDictionary v = Environment().resolvedValues();
  EXPECT_EQ(*v.find("os"), Value("iOS"));
  EXPECT_EQ(*v.find("date"), Value(kNow));
  EXPECT_EQ(v.find("locale")->description(), "de_DE");
  EXPECT_EQ(*v.find("preferred_languages"), Value(Value::Array{"de-DE", "en"}));
  EXPECT_EQ(*v.find("is_pad"), Value(true));
  EXPECT_EQ(*v.find("app.version"), Value("2.1"));
  EXPECT_EQ(*v.find("app.build"), Value(42));
  // 11:00 on Wednesday the 31st at GMT+1.
  const std::pair<const char*, int> components[] = {
      {"date.year", 2024}, {"date.month", 1},  {"date.day", 31},   {"date.weekday", 4},
      {"date.hour", 11},   {"date.minute", 0}, {"date.second", 0},
  };
  for (const auto& [key, expected] : components) EXPECT_EQ(*v.find(key), Value(expected)) << key;
  EXPECT_EQ(v.size(), 14u);

  ScopedService<platform::Clock> later(
      std::make_shared<platform::ManualClock>(kNow.addingTimeInterval(60)));
  EXPECT_EQ(*Environment().resolvedValues().find("date.minute"), Value(1)) << "read at each call";
}

TEST(CompositeListEnvironmentTest, HostValuesWinAndSetThePremiumFlag) {
  Platform platform;
  const Environment host({{"os", "Android"}, {"is_premium", true}, {"date.year", "x"}});
  const ValueDictionary v = host.resolvedValues();
  EXPECT_EQ(*v.find("os"), Value("Android"));
  EXPECT_EQ(*v.find("date.year"), Value("x"));
  EXPECT_EQ(*v.find("is_pad"), Value(false));
  EXPECT_EQ(host.hasPremiumSubscription(), true);
  EXPECT_EQ(Environment({{"is_premium", false}}).hasPremiumSubscription(), false);
  EXPECT_EQ(Environment({{"is_premium", 1}}).hasPremiumSubscription(), std::nullopt);
  EXPECT_EQ(Environment().hasPremiumSubscription(), std::nullopt);
}

TEST(CompositeListEnvironmentTest, BundleVersionAndBuild) {
  struct Case {
    std::optional<std::string> build;
    std::optional<std::int64_t> expected;
  };
  const Case cases[] = {
      {"42", 42},
      {"+42", 42},
      {"-7", -7},
      {"0042", 42},
      {"1.2", std::nullopt},
      {"", std::nullopt},
      {"+", std::nullopt},
      {"+-1", std::nullopt},
      {" 42", std::nullopt},
      {"9223372036854775807", INT64_MAX},
      {"9223372036854775808", std::nullopt},
      {std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    Platform platform(platform::UserInterfaceIdiom::phone, {std::nullopt, std::nullopt, c.build});
    const ValueDictionary v = Environment().resolvedValues();
    EXPECT_FALSE(v.contains("app.version"));
    const Value* build = v.find("app.build");
    EXPECT_EQ(build ? build->asInteger() : std::nullopt, c.expected) << c.build.value_or("none");
  }
}

TEST(CompositeListEnvironmentTest, LocaleValueFollowsTheLocaleService) {
  LocaleValue locale;
  ScopedService<platform::Locale> chinese(std::make_shared<platform::FixedLocale>(
      "zh_Hans_CN@calendar=chinese", std::vector<std::string>{"zh"}, "UTC"));
  EXPECT_EQ(locale.valueForKey("identifier"), Value("zh_Hans_CN@calendar=chinese"));
  EXPECT_EQ(locale.valueForKey("languageCode"), Value("zh"));
  EXPECT_EQ(locale.valueForKey("scriptCode"), Value("Hans"));
  EXPECT_EQ(locale.valueForKey("regionCode"), Value("CN"));
  ScopedService<platform::Locale> latin(
      std::make_shared<platform::FixedLocale>("es-419", std::vector<std::string>{"es"}, "UTC"));
  EXPECT_EQ(locale.valueForKey("regionCode"), Value("419"));
  EXPECT_EQ(locale.valueForKey("scriptCode"), std::nullopt);
  EXPECT_EQ(locale.valueForKey("other"), std::nullopt);
  EXPECT_EQ(Value(Value::Opaque(std::make_shared<LocaleValue>())),
            Value(Value::Opaque(std::make_shared<LocaleValue>())));
}

// ----- The filter ------------------------------------------------------------

CompositeListRow row(std::string text, std::optional<std::string> visibility = std::nullopt) {
  CompositeListRow r(std::nullopt, std::move(text));
  if (visibility) r.visibility = CompositeListItemVisibility(*visibility);
  return r;
}

std::vector<std::string> texts(const std::vector<CompositeListRow>& rows) {
  std::vector<std::string> out;
  out.reserve(rows.size());
  for (const auto& r : rows) out.push_back(r.text);
  return out;
}

TEST(CompositeListFilterTest, VisibilityAgainstThePremiumFlag) {
  Platform platform;
  const std::vector<CompositeListRow> rows{row("free", "free"), row("pro", "pro"),
                                           row("hidden", "hidden"), row("other", "beta"),
                                           row("none")};
  using Texts = std::vector<std::string>;
  EXPECT_EQ(texts(filter(rows, true, nullptr)), (Texts{"pro", "other", "none"}));
  EXPECT_EQ(texts(filter(rows, false, nullptr)), (Texts{"free", "other", "none"}));
  EXPECT_EQ(texts(filter(rows, std::nullopt, nullptr)), (Texts{"free", "pro", "other", "none"}));
  // Without an argument the environment's flag counts; an argument wins over it.
  const Environment premium({{"is_premium", true}});
  EXPECT_EQ(texts(filter(rows, std::nullopt, &premium)), (Texts{"pro", "other", "none"}));
  EXPECT_EQ(texts(filter(rows, false, &premium)), (Texts{"free", "other", "none"}));
}

TEST(CompositeListFilterTest, StartAndExpiryAgainstOneNow) {
  Platform platform;
  struct Case {
    std::optional<Date> start, expiry;
    bool shown;
  };
  const Case cases[] = {
      {kNow.addingTimeInterval(-1), std::nullopt, true},
      {kNow, std::nullopt, false},  // the start must be strictly in the past
      {kNow.addingTimeInterval(1), std::nullopt, false},
      {std::nullopt, kNow, true},  // expiring now still shows
      {std::nullopt, kNow.addingTimeInterval(-1), false},
      {kNow.addingTimeInterval(-10), kNow.addingTimeInterval(10), true},
  };
  for (const auto& c : cases) {
    CompositeListRow r = row("r");
    r.startDate = c.start;
    r.expiryDate = c.expiry;
    EXPECT_EQ(filter(std::vector{r}, std::nullopt, nullptr).size(), c.shown ? 1u : 0u)
        << (c.start ? c.start->description() : "-") << " / "
        << (c.expiry ? c.expiry->description() : "-");
  }

  // A clock that moves on at every reading: the filter reads it once, so
  // every element expiring at that first reading is kept.
  struct MovingClock final : platform::Clock {
    mutable std::atomic<int> reads{0};
    [[nodiscard]] Date now() const override { return kNow.addingTimeInterval(reads++); }
    [[nodiscard]] double monotonicNow() const override { return 0; }
  };
  ScopedService<platform::Clock> moving(std::make_shared<MovingClock>());
  CompositeListRow expiring = row("e");
  expiring.expiryDate = kNow;
  EXPECT_EQ(filter(std::vector<CompositeListRow>(50, expiring), std::nullopt, nullptr).size(), 50u);
}

TEST(CompositeListFilterTest, PredicatesAgainstTheFacts) {
  CompositeListRow padOnly = row("pad");
  padOnly.predicate = "is_pad == YES";
  const Environment environment;
  {
    Platform tablet(platform::UserInterfaceIdiom::tablet);
    LogCapture log;
    EXPECT_EQ(filter(std::vector{padOnly}, std::nullopt, &environment).size(), 1u);
    EXPECT_EQ(log.texts(LogLevel::debug),
              std::vector<std::string>{"Predicate evaluation: (is_pad == YES) -> true"});
  }
  Platform phone(platform::UserInterfaceIdiom::phone);
  LogCapture log;
  EXPECT_EQ(filter(std::vector{padOnly}, std::nullopt, &environment).size(), 0u);
  EXPECT_EQ(log.texts(LogLevel::debug),
            std::vector<std::string>{"Predicate evaluation: (is_pad == YES) -> false"});
  log.clear();
  EXPECT_EQ(filter(std::vector{padOnly}, std::nullopt, nullptr).size(), 1u)
      << "no facts, no evaluation";
  EXPECT_TRUE(log.lines().empty());

  // $variables come from the element's vars, dates parsed; "now" is the filter's.
  CompositeListRow until = row("until");
  until.predicate = "date < $until AND now() == date";
  until.vars = Value{{"until", "2024-02-01T00:00:00Z"}};
  EXPECT_EQ(filter(std::vector{until}, std::nullopt, &environment).size(), 1u);
  until.vars = Value{{"until", "2024-01-01T00:00:00Z"}};
  EXPECT_EQ(filter(std::vector{until}, std::nullopt, &environment).size(), 0u);
}

TEST(CompositeListFilterTest, BrokenPredicatesNeverHide) {
  Platform platform;
  const Environment environment;
  struct Case {
    const char* predicate;
    std::optional<Value> vars;
    const char* error;
  };
  const Case cases[] = {
      {"is_pad ==", std::nullopt,
       "Predicate evaluation error: (is_pad ==) Unable to parse the format string \"is_pad ==\""},
      {"os == $missing", std::nullopt, "Predicate evaluation error: (os == $missing) "},
      // An unparsable date stays a string, and a date does not order with it.
      {"date < $until", Value{{"until", "soon"}}, "Predicate evaluation error: (date < $until) "},
  };
  for (const auto& c : cases) {
    CompositeListRow r = row("r");
    r.predicate = c.predicate;
    r.vars = c.vars;
    LogCapture log;
    EXPECT_EQ(filter(std::vector{r}, std::nullopt, &environment).size(), 1u) << c.predicate;
    const auto errors = log.texts(LogLevel::error);
    ASSERT_EQ(errors.size(), 1u) << c.predicate;
    EXPECT_TRUE(errors[0].starts_with(c.error)) << errors[0];
  }
  CompositeListRow empty = row("empty");
  empty.predicate = "";
  LogCapture log;
  EXPECT_EQ(filter(std::vector{empty}, std::nullopt, &environment).size(), 1u);
  EXPECT_TRUE(log.lines().empty()) << "an empty predicate is not evaluated";
}

TEST(CompositeListFilterTest, ItemsRecordsAndOneParsePerText) {
  Platform platform;
  const Environment environment({{"level", 3}});
  auto record = [&](std::string id, int min) {
    auto r = std::make_shared<CompositeListSectionItem<std::vector<CompositeListRow>>>(
        std::move(id), CompositeListItemType::rows, std::optional<std::int64_t>());
    r->setPredicate("level >= $min AND level < 1000");
    r->setVars(Value{{"min", min}});
    return r;
  };
  std::vector<std::shared_ptr<CompositeListSectionItem<std::vector<CompositeListRow>>>> records;
  std::vector<AnyCompositeListItem> items;
  for (int i = 0; i < 6; ++i) {
    records.push_back(record("r" + std::to_string(i), i));
    items.emplace_back(records.back());
  }
  const std::size_t cached = PredicateCache::shared().size();
  const auto shownItems = filter(items, std::nullopt, &environment);
  ASSERT_EQ(shownItems.size(), 4u);
  EXPECT_EQ(shownItems[3].uniqueId(), "r3");
  EXPECT_EQ(filter(records, std::nullopt, &environment).size(), 4u);
  EXPECT_LE(PredicateCache::shared().size(), cached + 1) << "one parse for the shared text";
}

}  // namespace
}  // namespace quarn
