/// @file
/// CompositeListItem: what every item record of a template offers (its identity, type, entity ids,
/// presentation data, request filters, nested items, fetch settings and visibility rules) and how a
/// fetch result is applied to it.

/// @class quarn::CompositeListItem
/// What every item record of a template offers (its
/// identity, type, entity ids, presentation data, request filters, nested
/// items, fetch settings and visibility rules) and how a fetch result is
/// applied to it. The library's one concrete record is
/// CompositeListSectionItem<Entity>; lists of items pass around as
/// AnyCompositeListItem.
#pragma once

#include <any>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "quarnkit/composite_list/model/fetch_mode.h"
#include "quarnkit/composite_list/model/item_data.h"
#include "quarnkit/composite_list/model/item_type.h"
#include "quarnkit/composite_list/model/result.h"
#include "quarnkit/core/date.h"
#include "quarnkit/core/value.h"

namespace quarn {

class AnyCompositeListItem;
class CompositeListContext;
class CompositeListItem;
struct CompositeListItemFields;

/// A record's text templating worked out but not made yet
/// (CompositeListItem::prepareTemplateText()). make() makes it, which cannot
/// fail, and gives the record with its texts filled.
class PreparedTextTemplate {
 public:
  /// Makes `change` in `record`.
  using Apply = std::shared_ptr<CompositeListItem> (*)(std::shared_ptr<CompositeListItem> record,
                                                       std::shared_ptr<void> change);
  /// Nothing left to make: `record` has its texts filled.
  explicit PreparedTextTemplate(std::shared_ptr<CompositeListItem> record)
      : record_(std::move(record)) {}
  /// `change` still to be made in `record` by `apply`.
  PreparedTextTemplate(std::shared_ptr<CompositeListItem> record, std::shared_ptr<void> change,
                       Apply apply)
      : record_(std::move(record)), change_(std::move(change)), apply_(apply) {}

  /// Whether make() has anything left to do.
  [[nodiscard]] bool pending() const { return apply_ != nullptr; }
  /// Makes the change and gives the record with its texts filled.
  std::shared_ptr<CompositeListItem> make() && {
    return apply_ != nullptr ? apply_(std::move(record_), std::move(change_)) : std::move(record_);
  }

 private:
  std::shared_ptr<CompositeListItem> record_;
  std::shared_ptr<void> change_;
  Apply apply_ = nullptr;
};

class CompositeListItem {
 public:
  virtual ~CompositeListItem() = default;

  /// The item's visibility class ("hidden", a premium class).
  [[nodiscard]] virtual const std::optional<CompositeListItemVisibility>& visibility() const = 0;
  /// Until this date the item is hidden.
  [[nodiscard]] virtual const std::optional<Date>& startDate() const = 0;
  /// From this date on the item is hidden.
  [[nodiscard]] virtual const std::optional<Date>& expiryDate() const = 0;
  /// The visibility predicate: the item shows only while it holds.
  [[nodiscard]] virtual const std::optional<std::string>& predicate() const = 0;
  /// Values the predicate and the text templates read as variables.
  [[nodiscard]] virtual const std::optional<Value>& vars() const = 0;

  /// The item's identifier, unique in its template.
  [[nodiscard]] virtual const std::string& uniqueId() const = 0;
  /// The item type, which chooses the item's description.
  [[nodiscard]] virtual const CompositeListItemType& type() const = 0;
  /// The ids of the entities to ask for, when the template names them.
  [[nodiscard]] virtual const std::optional<std::vector<std::int64_t>>& entityIds() const = 0;
  /// How the item is shown: title, layout, header, footer.
  [[nodiscard]] virtual const std::optional<CompositeListItemData>& data() const = 0;
  /// The filters the item adds to its request.
  [[nodiscard]] virtual const std::optional<ValueObject>& filters() const = 0;
  /// The items nested in this one.
  [[nodiscard]] virtual const std::optional<std::vector<AnyCompositeListItem>>& items() const = 0;
  /// The host's own value; never set by decoding.
  [[nodiscard]] virtual const std::any& userData() const = 0;
  /// Sets the host's own value.
  virtual void setUserData(std::any value) = 0;
  /// Whether the item is left out of the combined request.
  [[nodiscard]] virtual bool skipFetching() const = 0;
  /// How the item obtains its entities.
  [[nodiscard]] virtual CompositeListFetchMode fetchMode() const = 0;

  /// Applies a fetch result to the record in place.
  virtual void update(const CompositeListResult::Item& result, CompositeListContext& context) = 0;

  /// Fills the placeholders of the record's texts from `values` (single-pass
  /// text templates, text_template_element.h) and returns the record with its
  /// texts filled; the library's records change in place and return
  /// themselves. Throws ExpressionEvaluationError when a placeholder's key
  /// look-up fails.
  virtual std::shared_ptr<CompositeListItem> templateText(const ValueDictionary& values) = 0;

  /// templateText() in two steps, so that lists of records are templated
  /// all or none: the texts are filled here, where a failure throws with the
  /// record unchanged, and put in place by the result's make(). The
  /// library's records do so; the default runs templateText() at once.
  [[nodiscard]] virtual PreparedTextTemplate prepareTemplateText(const ValueDictionary& values);

  /// The record's fields as they are now, as an immutable block that
  /// AnyCompositeListItem keeps as its snapshot. The default copies them
  /// through the accessors; records that keep their fields in such a block
  /// share it.
  [[nodiscard]] virtual std::shared_ptr<const CompositeListItemFields> snapshotFields() const;

  /// The record's text form for log lines.
  [[nodiscard]] virtual std::string description() const = 0;
  /// Record identity: equal records have the same concrete type and compare
  /// equal by the record's own rule.
  [[nodiscard]] virtual bool isEqual(const CompositeListItem& other) const = 0;
  /// A hash that agrees with isEqual().
  [[nodiscard]] virtual std::size_t hashValue() const = 0;
};

}  // namespace quarn
