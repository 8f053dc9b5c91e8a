#include "quarnkit/composite_list/model/any_item.h"

namespace quarn {

AnyCompositeListItem::AnyCompositeListItem(std::shared_ptr<CompositeListItem> record)
    : record_(std::move(record)) {
  auto s = std::make_shared<Snapshot>();
  const CompositeListItem& r = *record_;
  s->uniqueId = r.uniqueId();
  s->type = r.type();
  s->entityIds = r.entityIds();
  s->startDate = r.startDate();
  s->expiryDate = r.expiryDate();
  s->visibility = r.visibility();
  s->predicate = r.predicate();
  s->data = r.data();
  s->filters = r.filters();
  s->items = r.items();
  s->vars = r.vars();
  s->userData = r.userData();
  s->skipFetching = r.skipFetching();
  s->fetchMode = r.fetchMode();
  snapshot_ = std::move(s);
}

AnyCompositeListItem::Snapshot& AnyCompositeListItem::mutableSnapshot() {
  if (snapshot_.use_count() > 1) snapshot_ = std::make_shared<Snapshot>(*snapshot_);
  return const_cast<Snapshot&>(*snapshot_);
}

void AnyCompositeListItem::setData(std::optional<CompositeListItemData> data) {
  mutableSnapshot().data = std::move(data);
}

void AnyCompositeListItem::setSkipFetching(bool skip) { mutableSnapshot().skipFetching = skip; }

void AnyCompositeListItem::setFetchMode(CompositeListFetchMode mode) {
  mutableSnapshot().fetchMode = mode;
}

}  // namespace quarn
