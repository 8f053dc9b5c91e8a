// The calendar service: ICU components in a time zone and a locale's
// calendar, the current calendar following the Locale service, and the
// fixed-offset test double agreeing with ICU.
#include "quarnkit/platform/calendar.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "quarnkit/platform/locale.h"

namespace quarn::platform {
namespace {

constexpr Date kJan31 = Date(1706695200);  // 2024-01-31T10:00:00Z, a Wednesday

TEST(CalendarTest, ICUComponentsInATimeZone) {
  struct Case {
    const char* locale;
    const char* zone;
    Date date;
    DateComponents expected;
  };
  const Case cases[] = {
      {"en_US", "UTC", kJan31, {2024, 1, 31, 4, 10, 0, 0}},
      {"en_US", "Asia/Tokyo", kJan31, {2024, 1, 31, 4, 19, 0, 0}},
      // Still Sunday the 31st in Los Angeles; weekday numbering does not
      // follow the locale's first day of the week.
      {"de_DE", "America/Los_Angeles", Date(1704085200), {2023, 12, 31, 1, 21, 0, 0}},
      // Summer time in Berlin (+2), seconds kept.
      {"en_US", "Europe/Berlin", Date(1719792059), {2024, 7, 1, 2, 2, 0, 59}},
      // The Buddhist calendar of Thai counts years from 543 BC.
      {"th_TH", "UTC", kJan31, {2567, 1, 31, 4, 10, 0, 0}},
      {"en_US", "UTC", Date(-1), {1969, 12, 31, 4, 23, 59, 59}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.locale) + " " + c.zone);
    ICUCalendar calendar(c.locale, c.zone);
    EXPECT_EQ(calendar.components(c.date), c.expected);
  }
  EXPECT_EQ(ICUCalendar("th_TH", "UTC").identifier(), "buddhist");
  EXPECT_EQ(ICUCalendar("en_US@calendar=japanese", "UTC").identifier(), "japanese");
  EXPECT_EQ(ICUCalendar("en_US", "Europe/Berlin").timeZoneIdentifier(), "Europe/Berlin");
}

TEST(CalendarTest, InstantsAskedAgainGiveTheirOwnComponents) {
  // One calendar asked for the same and for nearby instants in turn.
  ICUCalendar calendar("en_US", "UTC");
  const auto at = [&](double seconds) {
    return calendar.components(Date(kJan31.timeIntervalSince1970() + seconds));
  };
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(at(0)->second, 0);
    EXPECT_EQ(at(0)->second, 0);
    EXPECT_EQ(at(0.999)->second, 0);
    EXPECT_EQ(at(1)->second, 1);
    EXPECT_EQ(at(-0.001)->second, 59);  // the second before, however near
    EXPECT_EQ(at(-0.001)->minute, 59);
    EXPECT_EQ(at(0.5), at(0));
    EXPECT_EQ(at(3600)->hour, 11);
    EXPECT_FALSE(calendar.components(Date(std::numeric_limits<double>::quiet_NaN())));
  }
}

TEST(CalendarTest, UnrepresentableDatesAndUnknownZones) {
  ICUCalendar calendar("en_US", "No/Such_Zone");
  EXPECT_EQ(calendar.timeZoneIdentifier(), "Etc/Unknown");
  EXPECT_EQ(calendar.components(kJan31)->hour, 10) << "an unknown zone reads as GMT";
  for (double bad : {std::numeric_limits<double>::quiet_NaN(),
                     std::numeric_limits<double>::infinity(), 1e300, -1e300}) {
    EXPECT_FALSE(calendar.components(Date(bad))) << bad;
    EXPECT_FALSE(FixedTimeZoneCalendar().components(Date(bad))) << bad;
  }
}

TEST(CalendarTest, FixedTimeZoneDoubleAgreesWithICU) {
  struct Zone {
    int offset;
    const char* icu;
  };
  const Zone zones[] = {{0, "GMT"}, {3600, "GMT+01:00"}, {-34200, "GMT-09:30"}};
  std::mt19937_64 random(7);
  // From 1600 (after the Gregorian reform, where ICU stops being proleptic) to 2400.
  std::uniform_real_distribution<double> seconds(-11676096000.0, 13569465600.0);
  for (const auto& zone : zones) {
    FixedTimeZoneCalendar fixed(zone.offset);
    ICUCalendar icu("en_US", zone.icu);
    for (int i = 0; i < 500; ++i) {
      const Date d(std::floor(seconds(random)));
      ASSERT_EQ(fixed.components(d), icu.components(d)) << zone.icu << " " << d.description();
    }
  }
  EXPECT_EQ(FixedTimeZoneCalendar(0).timeZoneIdentifier(), "GMT");
  EXPECT_EQ(FixedTimeZoneCalendar(-34200).timeZoneIdentifier(), "GMT-0930");
}

TEST(CalendarTest, CurrentFollowsTheLocaleServiceAndIsReplaceable) {
  {
    ScopedService<Locale> locale(
        std::make_shared<FixedLocale>("en_US", std::vector<std::string>{"en"}, "Asia/Tokyo"));
    EXPECT_EQ(Calendar::current()->timeZoneIdentifier(), "Asia/Tokyo");
    EXPECT_EQ(Calendar::current()->components(kJan31)->hour, 19);
    ScopedService<Locale> thai(
        std::make_shared<FixedLocale>("th_TH", std::vector<std::string>{"th"}, "UTC"));
    EXPECT_EQ(Calendar::current()->identifier(), "buddhist");
    EXPECT_EQ(Calendar::current()->components(kJan31)->year, 2567);
  }
  ScopedService<Calendar> fixed(std::make_shared<FixedTimeZoneCalendar>(-3600));
  EXPECT_EQ(Calendar::current()->components(kJan31)->hour, 9);
}

// A host's calendar: the default arithmetic, but nothing vouches for that.
class HostCalendar final : public Calendar {
 public:
  [[nodiscard]] std::string identifier() const override { return "gregorian"; }
  [[nodiscard]] std::string timeZoneIdentifier() const override { return "UTC"; }
  [[nodiscard]] std::optional<DateComponents> components(Date date) const override {
    return FixedTimeZoneCalendar().components(date);
  }
};

TEST(CalendarTest, OnlyTheLibrarysCalendarsVouchForTheDefaultArithmetic) {
  {
    // Replacing the Locale service does not replace the default calendar.
    ScopedService<Locale> locale(
        std::make_shared<FixedLocale>("en_US", std::vector<std::string>{"en"}, "Asia/Tokyo"));
    EXPECT_TRUE(Calendar::current()->hasDefaultArithmetic());
  }
  EXPECT_TRUE(ICUCalendar("th_TH", "UTC").hasDefaultArithmetic());
  EXPECT_TRUE(FixedTimeZoneCalendar(3600).hasDefaultArithmetic());
  EXPECT_FALSE(HostCalendar().hasDefaultArithmetic());
  ScopedService<Calendar> host(std::make_shared<HostCalendar>());
  EXPECT_FALSE(Calendar::current()->hasDefaultArithmetic());
}

}  // namespace
}  // namespace quarn::platform
