#include "quarnkit/composite_list/model/element.h"

#include <algorithm>

namespace quarn {

CompositeListElementFields elementFields(const AnyCompositeListItem& item) {
  return {item.visibility(), item.startDate(), item.expiryDate(), item.predicate(), item.vars()};
}

CompositeListElementFields elementFields(const CompositeListItem& record) {
  return {record.visibility(), record.startDate(), record.expiryDate(), record.predicate(),
          record.vars()};
}

CompositeListElementFields elementFields(const CompositeListRow& row) {
  return {row.visibility, row.startDate, row.expiryDate, row.predicate, row.vars};
}

std::optional<Date> parsePredicateDate(std::string_view text) { return Date::parseISO8601(text); }

namespace {

// Parses the dates of a list made only of strings, in place.
void parseDates(Value::Array& list) {
  if (!std::all_of(list.begin(), list.end(), [](const Value& v) { return v.isString(); })) return;
  for (Value& v : list) {
    if (auto date = parsePredicateDate(*v.ifString())) v = *date;
  }
}

}  // namespace

ValueDictionary predicateVars(const CompositeListElementFields& element) {
  const ValueObject* object = element.vars ? element.vars->ifObject() : nullptr;
  if (object == nullptr) return {};
  ValueDictionary out = *object;
  for (auto& entry : out) {
    Value& value = entry.second;
    if (const std::string* text = value.ifString()) {
      if (auto date = parsePredicateDate(*text)) value = *date;
    } else if (Value::Array* list = value.ifArray()) {
      parseDates(*list);
    }
  }
  return out;
}

}  // namespace quarn
