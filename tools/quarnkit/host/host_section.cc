#include "tools/quarnkit/host/host_section.h"

namespace quarn::tool {

namespace {

std::optional<std::string> dataText(const AnyCompositeListItem& item,
                                    std::optional<std::string> CompositeListItemData::*field) {
  const auto& data = item.data();
  return data ? (*data).*field : std::nullopt;
}

}  // namespace

HostSection::HostSection(AnyCompositeListItem item, const std::vector<platform::AnyHashable>& rows)
    : BaseCollectionSection(dataText(item, &CompositeListItemData::title),
                            dataText(item, &CompositeListItemData::description), rows),
      item_(std::move(item)) {
  if (const auto& data = item_.data()) {
    if (data->footerMode) footer.mode = *data->footerMode;
    footer.text = data->footerText;
  }
}

}  // namespace quarn::tool
