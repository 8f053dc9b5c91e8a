// HostSection: the display section the tool makes for an item: the item's
// title, description and footer over its rows (text rows or entities). It
// keeps the item so that renderers can show its type, identifier, header
// link and style.
#pragma once

#include <vector>

#include "quarnkit/composite_list/fetching/base_collection_section.h"
#include "quarnkit/composite_list/model/any_item.h"

namespace quarn::tool {

class HostSection : public BaseCollectionSection {
 public:
  HostSection(AnyCompositeListItem item, const std::vector<platform::AnyHashable>& rows);

  [[nodiscard]] const AnyCompositeListItem& item() const { return item_; }

 private:
  AnyCompositeListItem item_;
};

}  // namespace quarn::tool
