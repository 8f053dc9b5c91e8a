#include "quarnkit/platform/locale.h"

#include <unicode/locid.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

namespace quarn::platform {
namespace {

class SystemLocale final : public Locale {
 public:
  [[nodiscard]] std::string localeIdentifier() const override {
    return icu::Locale::getDefault().getName();
  }
  [[nodiscard]] std::vector<std::string> preferredLanguages() const override {
    const icu::Locale& l = icu::Locale::getDefault();
    std::string tag = l.getLanguage();
    if (*l.getCountry() != '\0') tag += std::string("-") + l.getCountry();
    return {tag};
  }
  [[nodiscard]] std::string timeZoneIdentifier() const override {
    std::unique_ptr<icu::TimeZone> tz(icu::TimeZone::createDefault());
    icu::UnicodeString id;
    tz->getID(id);
    std::string out;
    id.toUTF8String(out);
    return out;
  }
};

ServiceSlot<const Locale>& slot() {
  static ServiceSlot<const Locale> s([] { return std::make_shared<const SystemLocale>(); });
  return s;
}

}  // namespace

std::shared_ptr<const Locale> Locale::current() { return slot().get(); }
void Locale::setCurrent(std::shared_ptr<const Locale> locale) { slot().set(std::move(locale)); }

}  // namespace quarn::platform
