#include "tools/quarnkit/preview/preview.h"

#include "quarnkit/coding/json_encoder.h"
#include "quarnkit/coding/json_serialization.h"
#include "quarnkit/composite_list/fetching/sections_provider.h"
#include "quarnkit/platform/runtime/async.h"
#include "tools/quarnkit/host/generic_entity.h"
#include "tools/quarnkit/host/host_section.h"
#include "tools/quarnkit/preview/results_fetcher.h"

namespace quarn::tool {

namespace {

template <class T>
Value encoded(const T& value) {
  JSONEncoder encoder;
  encoder.dateEncodingStrategy = DateEncodingStrategy::iso8601();
  return parseJSON(encoder.encode(value));
}

Value rowValue(const platform::AnyHashable& row) {
  if (const auto* text = row.get<CompositeListRow>()) return encoded(*text);
  if (const auto* entity = row.get<GenericEntity>()) return entity->value();
  if (const auto* wrapped = row.get<CompositeListEntity<GenericEntity>>()) {
    return wrapped->base().value();
  }
  return Value();
}

std::string footerModeName(CompositeListItemData::FooterMode mode) {
  switch (mode) {
    case CompositeListItemData::FooterMode::disabled:
      return "none";
    case CompositeListItemData::FooterMode::expand:
      return "expand";
    case CompositeListItemData::FooterMode::default_:
      break;
  }
  return "default";
}

PreviewSection previewOf(const HostSection& section) {
  const AnyCompositeListItem& item = section.item();
  PreviewSection out;
  out.uniqueId = item.uniqueId();
  out.type = item.type().rawValue;
  out.title = section.title;
  out.subtitle = section.subtitle;
  out.separator = section.showSeparator;
  out.footerMode = footerModeName(section.footer.mode);
  out.footerText = section.footer.text;
  if (const auto& data = item.data()) {
    if (data->headerAction) {
      switch (data->headerAction->kind()) {
        case CompositeListItemData::Action::Kind::link:
          out.headerAction = "link";
          out.headerLink = data->headerAction->url()->absoluteString();
          break;
        case CompositeListItemData::Action::Kind::disabled:
          out.headerAction = "none";
          break;
        case CompositeListItemData::Action::Kind::default_:
          break;
      }
    }
    if (data->layoutSize) out.layoutSize = data->layoutSize->rawValue;
    out.style = data->style;
    out.vertical = data->isVertical.value_or(false);
  }
  out.textRows = item.base<std::vector<CompositeListRow>>() != nullptr;
  for (const auto& wrapper : section.uniqueItems().value_or(std::vector<UniqueWrapper>{})) {
    out.rows.push_back(rowValue(wrapper.entity));
  }
  return out;
}

}  // namespace

Value requestBody(const CompositeListRequestParameters& parameters) { return encoded(parameters); }

Async<Preview> makePreview(const HostSession& session) {
  auto fetcher = CompositeListFetcher::make<ResultsFetcher>(
      session.host()->registry(), session.templateItems(), session.provider(), session.result());
  if (const auto& server = session.options().server) {
    fetcher->setServer(std::make_shared<ResultsServer>(*server, session.host()));
  }
  fetcher->setEnvironment(session.environment());
  fetcher->setContext(session.context());
  fetcher->setPredicateBudget(session.options().predicateBudget);
  std::vector<AnyCompositeListItem> items = co_await fetcher->fetchCompositeList();

  auto sections = CompositeListSectionsProvider::make(session.host()->registry());
  sections->update(items);

  Preview preview;
  preview.templateItemCount = session.templateItems().size();
  preview.processedItemCount = items.size();
  for (const auto& section : sections->sections()) {
    if (const auto* host = dynamic_cast<const HostSection*>(section.get())) {
      preview.sections.push_back(previewOf(*host));
    }
  }
  if (const auto& request = fetcher->lastRequest()) preview.request = requestBody(*request);
  co_return preview;
}

}  // namespace quarn::tool
