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

// Whether a list is made only of strings, one of them a date.
bool hasDates(const Value::Array& list) {
  return std::all_of(list.begin(), list.end(), [](const Value& v) { return v.isString(); }) &&
         std::any_of(list.begin(), list.end(),
                     [](const Value& v) { return parsePredicateDate(*v.ifString()).has_value(); });
}

// Whether predicates see `value` as something else: a date for a date string.
bool changesForPredicates(const Value& value) {
  if (const std::string* text = value.ifString()) return parsePredicateDate(*text).has_value();
  if (const Value::Array* list = value.ifArray()) return hasDates(*list);
  return false;
}

}  // namespace

const ValueDictionary& detail::predicateVarsOf(const CompositeListElementFields& element,
                                               std::optional<ValueDictionary>& dated) {
  static const ValueDictionary kNone;
  const ValueObject* vars = element.vars ? element.vars->ifObject() : nullptr;
  if (vars == nullptr) return kNone;
  // Most vars hold no date: they are used as they are, without a copy.
  if (std::none_of(vars->begin(), vars->end(),
                   [](const auto& entry) { return changesForPredicates(entry.second); })) {
    return *vars;
  }
  ValueDictionary& out = dated.emplace(*vars);
  for (auto& entry : out) {
    Value& value = entry.second;
    if (const std::string* text = value.ifString()) {
      if (auto date = parsePredicateDate(*text)) value = *date;
    } else if (Value::Array* list = value.ifArray(); list != nullptr && hasDates(*list)) {
      for (Value& v : *list) {
        if (auto date = parsePredicateDate(*v.ifString())) v = *date;
      }
    }
  }
  return out;
}

ValueDictionary predicateVars(const CompositeListElementFields& element) {
  std::optional<ValueDictionary> dated;
  const ValueDictionary& vars = detail::predicateVarsOf(element, dated);
  if (dated) return std::move(*dated);
  return vars;
}

}  // namespace quarn
