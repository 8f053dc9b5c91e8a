#include "tools/quarnkit/host/host_environment.h"

#include "quarnkit/coding/json_serialization.h"
#include "quarnkit/composite_list/model/element.h"
#include "tools/quarnkit/common/input_error.h"
#include "tools/quarnkit/common/input_file.h"

namespace quarn::tool {

namespace {

Value withDates(Value value) {
  if (const std::string* text = value.ifString()) {
    if (auto date = parsePredicateDate(*text)) return *date;
  } else if (Value::Array* array = value.ifArray()) {
    for (Value& element : *array) element = withDates(std::move(element));
  } else if (Value::Object* object = value.ifObject()) {
    for (auto& entry : *object) entry.second = withDates(std::move(entry.second));
  }
  return value;
}

}  // namespace

std::optional<bool> HostEnvironment::hasPremiumSubscription() const {
  return premium_ ? premium_ : CompositeListEnvironment::hasPremiumSubscription();
}

ValueDictionary readFacts(const std::string& file, std::uint64_t maxFileSize) {
  Value document = parseInputJSON(file, readInputFile(file, maxFileSize));
  if (!document.isObject()) {
    throw InputError(file, "",
                     std::string("expected a JSON object of facts, found ") +
                         std::string(Value::kindName(document.kind())));
  }
  Value facts = withDates(std::move(document));
  return std::move(*facts.ifObject());
}

Value factFromText(const std::string& text) {
  if (auto date = parsePredicateDate(text)) return *date;
  try {
    return parseJSON(text);
  } catch (...) {
    return Value(text);
  }
}

HostPlatform::HostPlatform(platform::UserInterfaceIdiom device, std::optional<Date> now)
    : device_(std::make_shared<platform::FixedDevice>(device)) {
  if (now) clock_.emplace(std::make_shared<platform::ManualClock>(*now));
}

}  // namespace quarn::tool
