#include "quarnkit/composite_list/model/descriptions.h"

#include "quarnkit/core/log.h"
#include "quarnkit/platform/runtime/async.h"

namespace quarn {

Async<std::vector<AnyCompositeListItem>> TemplateProvidingItemDescription::provideTemplateSections()
    const {
  co_return std::vector<AnyCompositeListItem>{};
}

void detail::logListEntityMismatch(const std::string& descriptionName,
                                   const std::string& elementType, const std::string& item) {
  defaultLogger().error("[{}] Not match entity type {} for section update: '{}'", descriptionName,
                        elementType, item);
}

}  // namespace quarn
