/// @file
/// CompositeListElement: the records that say when and for whom they are shown (items, their
/// type-erased wrappers and text rows) through five optional fields: a visibility class, a start
/// and an expiry date, a predicate and the predicate's variables (`vars`).

/// @concept quarn::CompositeListElement
/// The records that say when and for whom they are
/// shown (items, their type-erased wrappers and text rows) through five
/// optional fields: a visibility class, a start and an expiry date, a predicate
/// and the predicate's variables (`vars`).
///
/// A type is an element when elementFields() gives its fields; the library
/// provides it for AnyCompositeListItem, the item records (CompositeListItem,
/// so every CompositeListSectionItem, also through a shared_ptr) and
/// CompositeListRow. A host makes its own type an element by declaring an
/// elementFields() overload next to it.
///
/// ```
///   ValueDictionary vars = predicateVars(row);   // dates parsed, for $variables
/// ```
#pragma once

#include <concepts>
#include <memory>
#include <optional>
#include <string>

#include "quarnkit/composite_list/model/any_item.h"
#include "quarnkit/composite_list/model/item.h"
#include "quarnkit/composite_list/model/row.h"
#include "quarnkit/core/date.h"
#include "quarnkit/core/value.h"

namespace quarn {

/// The element fields of a record, by reference (valid while the record is).
struct CompositeListElementFields {
  /// The visibility class.
  const std::optional<CompositeListItemVisibility>& visibility;
  /// The start date.
  const std::optional<Date>& startDate;
  /// The expiry date.
  const std::optional<Date>& expiryDate;
  /// The visibility predicate.
  const std::optional<std::string>& predicate;
  /// The values the predicate reads as variables.
  const std::optional<Value>& vars;
};

/// The element fields of a wrapped item.
CompositeListElementFields elementFields(const AnyCompositeListItem& item);
/// The element fields of an item record.
CompositeListElementFields elementFields(const CompositeListItem& record);
/// The element fields of a text row.
CompositeListElementFields elementFields(const CompositeListRow& row);
/// The element fields of a shared record.
template <std::derived_from<CompositeListItem> Record>
CompositeListElementFields elementFields(const std::shared_ptr<Record>& record) {
  return elementFields(static_cast<const CompositeListItem&>(*record));
}

/// A type whose values have element fields (an elementFields() overload).
template <class T>
concept CompositeListElement = requires(const T& element) {
  { elementFields(element) } -> std::same_as<CompositeListElementFields>;
};

/// The shared internet date-time parser of predicate variables: the form
/// 2024-01-31T10:00:00Z (or with a +hh:mm offset), without fractional
/// seconds. Pure, so any thread may use it.
std::optional<Date> parsePredicateDate(std::string_view text);

/// The element's `vars` as predicate variables: empty unless `vars` is an
/// object; a string the date parser accepts becomes that date, and so does
/// every such string of a list of strings (other strings stay strings); every
/// other value stays as it is.
ValueDictionary predicateVars(const CompositeListElementFields& element);
/// The same, for any element.
template <CompositeListElement T>
ValueDictionary predicateVars(const T& element) {
  return predicateVars(elementFields(element));
}

namespace detail {
/// predicateVars() without a copy where none is needed: the element's own
/// vars when no value is a date, else the parsed copy, kept in `dated`.
const ValueDictionary& predicateVarsOf(const CompositeListElementFields& element,
                                       std::optional<ValueDictionary>& dated);
}  // namespace detail

}  // namespace quarn
