/// @file
/// CompositeListTextTemplateElement: the records that fill the placeholders of their texts from a
/// dictionary of values (text_template.h, single-pass mode, expressions and recursion off).

/// @concept quarn::CompositeListTextTemplateElement
/// The records that fill the placeholders of
/// their texts from a dictionary of values (text_template.h, single-pass mode,
/// expressions and recursion off).
///
/// - CompositeListItemData: title, description, footerText, where present;
/// - CompositeListRow: text, and details where present;
/// - AnyCompositeListItem: its record's templateText(), wrapped anew;
/// - CompositeListSectionItem (through CompositeListItem::templateText): its
///   data, and its entity when that is a template element (rows, lists of
///   them, nested item lists), in place;
/// - a list of template elements: each element in order; an element that is a
///   CompositeListElement whose vars is an object gets the values with that
///   object's entries merged over them. A list of item records changes all
///   or none of them (nested lists included): when one fails, none changes.
///
/// ```
///   auto rows = templateText(item.getEntityArray<CompositeListRow>().value(), values);
/// ```
///
/// A placeholder whose key look-up fails throws ExpressionEvaluationError.
#pragma once

#include <concepts>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "quarnkit/composite_list/model/element.h"
#include "quarnkit/core/value.h"

namespace quarn {

/// A record with `T templateText(const ValueDictionary&) const`.
template <class T>
concept CompositeListTextTemplateElement = requires(const T& element,
                                                    const ValueDictionary& values) {
  { element.templateText(values) } -> std::convertible_to<T>;
};

namespace detail {
/// `values` with the entries of `vars` merged over them when `vars` is an
/// object; nothing otherwise.
std::optional<ValueDictionary> valuesWithVars(const ValueDictionary& values,
                                              const std::optional<Value>& vars);
/// Undoes `merged` on `withVars` (`values` with `merged` merged over them):
/// entries it replaced get their values back, entries it added are removed.
void unmergeVars(ValueDictionary& withVars, const ValueDictionary& values,
                 const ValueObject& merged);
}  // namespace detail

namespace detail {
/// Calls `f(element, values)` for each element in order, with the values for
/// that element: the given ones, with a CompositeListElement's vars object
/// merged over them.
template <class T, class F>
void forEachWithTheirValues(const std::vector<T>& elements, const ValueDictionary& values, F&& f) {
  // The values with an element's vars over them: copied once, then after
  // each such element only the entries its vars touched are put back.
  [[maybe_unused]] std::optional<ValueDictionary> withVars;
  [[maybe_unused]] const ValueObject* merged = nullptr;
  for (const T& element : elements) {
    if constexpr (CompositeListElement<T>) {
      const std::optional<Value>& vars = elementFields(element).vars;
      if (const ValueObject* object = vars ? vars->ifObject() : nullptr) {
        if (!withVars) {
          withVars.emplace(values);
        } else if (merged != nullptr) {
          detail::unmergeVars(*withVars, values, *merged);
        }
        withVars->merge(*object);
        merged = object;
        f(element, std::as_const(*withVars));
        continue;
      }
    }
    f(element, values);
  }
}
}  // namespace detail

/// Each element templated in order (see the file comment).
template <CompositeListTextTemplateElement T>
std::vector<T> templateText(const std::vector<T>& elements, const ValueDictionary& values) {
  std::vector<T> out;
  out.reserve(elements.size());
  detail::forEachWithTheirValues(elements, values, [&](const T& element, const ValueDictionary& v) {
    out.push_back(element.templateText(v));
  });
  return out;
}

/// The records of `items` templated as one change: their texts are filled
/// here (a failure throws with every record unchanged) and put in place when
/// the result is called, which gives the items wrapped anew.
std::function<std::vector<AnyCompositeListItem>()> prepareTemplateText(
    const std::vector<AnyCompositeListItem>& items, const ValueDictionary& values);

/// Item records templated all or none: prepareTemplateText(items, values)().
std::vector<AnyCompositeListItem> templateText(const std::vector<AnyCompositeListItem>& items,
                                               const ValueDictionary& values);

/// Whether templating an element can change it. Types that say so with
/// `bool hasTextPlaceholders() const` (rows, item data) are skipped when none
/// of their texts has a placeholder; any other element is always templated.
template <class T>
bool mayChangeByTextTemplate(const T& element) {
  if constexpr (requires {
                  { element.hasTextPlaceholders() } -> std::convertible_to<bool>;
                }) {
    return element.hasTextPlaceholders();
  } else {
    return true;
  }
}
/// Whether any of `elements` may change by text templating.
template <class T>
bool mayChangeByTextTemplate(const std::vector<T>& elements) {
  for (const T& element : elements) {
    if (mayChangeByTextTemplate(element)) return true;
  }
  return false;
}

namespace detail {
/// Whether a text has the start of a placeholder; templating a text without
/// one gives the text unchanged.
inline bool hasPlaceholder(std::string_view text) {
  return text.find("${") != std::string_view::npos;
}
inline bool hasPlaceholder(const std::optional<std::string>& text) {
  return text && hasPlaceholder(std::string_view(*text));
}
}  // namespace detail

/// Whether an entity of type T templates its texts: a template element, or a
/// list of them.
template <class T>
inline constexpr bool kIsTextTemplatable = CompositeListTextTemplateElement<T>;
template <class T>
inline constexpr bool kIsTextTemplatable<std::vector<T>> = CompositeListTextTemplateElement<T>;

template <class T>
concept TextTemplatable = kIsTextTemplatable<T>;

/// The entity templated: the element's templateText(), or the list's.
template <TextTemplatable T>
T templateTextOf(const T& entity, const ValueDictionary& values) {
  if constexpr (CompositeListTextTemplateElement<T>) {
    return entity.templateText(values);
  } else {
    return templateText(entity, values);
  }
}

}  // namespace quarn
