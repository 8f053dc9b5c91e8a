#include "tools/quarnkit/host/generic_entity.h"

namespace quarn::tool {

std::optional<std::string> GenericEntity::className() const {
  const Value* name = value_.find("class");
  if (name == nullptr || !name->isString()) return std::nullopt;
  return *name->ifString();
}

}  // namespace quarn::tool
