#include "quarnkit/composite_list/model/any_item.h"

namespace quarn {

AnyCompositeListItem::AnyCompositeListItem(std::shared_ptr<CompositeListItem> record)
    : record_(std::move(record)), snapshot_(record_->snapshotFields()) {}

std::shared_ptr<const CompositeListItemFields> CompositeListItem::snapshotFields() const {
  auto s = std::make_shared<CompositeListItemFields>();
  s->uniqueId = uniqueId();
  s->type = type();
  s->entityIds = entityIds();
  s->startDate = startDate();
  s->expiryDate = expiryDate();
  s->visibility = visibility();
  s->predicate = predicate();
  s->data = data();
  s->filters = filters();
  s->items = items();
  s->vars = vars();
  s->userData = userData();
  s->skipFetching = skipFetching();
  s->fetchMode = fetchMode();
  return s;
}

CompositeListItemFields& AnyCompositeListItem::mutableSnapshot() {
  // The block may be shared with the record and other copies: write to a copy.
  auto copy = std::make_shared<CompositeListItemFields>(*snapshot_);
  CompositeListItemFields& fields = *copy;
  snapshot_ = std::move(copy);
  return fields;
}

void AnyCompositeListItem::setData(std::optional<CompositeListItemData> data) {
  mutableSnapshot().data = std::move(data);
}

void AnyCompositeListItem::setSkipFetching(bool skip) { mutableSnapshot().skipFetching = skip; }

void AnyCompositeListItem::setFetchMode(CompositeListFetchMode mode) {
  mutableSnapshot().fetchMode = mode;
}

}  // namespace quarn
