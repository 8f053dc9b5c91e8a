// The coding path of a value being decoded, as a chain of steps linked to
// their parents on the stack. Internal to the JSON decoder.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "quarnkit/coding/coding_key.h"

namespace quarn::detail {
// Internal linkage: see json_containers.h.
namespace {

// One step of the coding path, linked to its parent. Paths are only turned
// into CodingPath values when an error is raised or a caller asks.
struct PathNode {
  const PathNode* parent = nullptr;
  enum class Kind : std::uint8_t { root, name, index } kind = Kind::root;
  std::string_view name;
  int index = 0;
  std::shared_ptr<const std::string> owned;  // keeps `name` alive when it was copied

  static PathNode child(const PathNode* parent, CodingKeyRef key, bool copy) {
    PathNode n;
    n.parent = parent;
    if (key.intValue) {
      n.kind = Kind::index;
      n.index = *key.intValue;
    } else {
      n.kind = Kind::name;
      if (copy) {
        n.owned = std::make_shared<const std::string>(key.stringValue);
        n.name = *n.owned;
      } else {
        n.name = key.stringValue;
      }
    }
    return n;
  }
  static PathNode element(const PathNode* parent, int index) {
    PathNode n;
    n.parent = parent;
    n.kind = Kind::index;
    n.index = index;
    return n;
  }

  [[nodiscard]] CodingPath path() const {
    std::vector<const PathNode*> nodes;
    for (const PathNode* n = this; n != nullptr; n = n->parent) {
      if (n->kind != Kind::root) nodes.push_back(n);
    }
    CodingPath out;
    out.reserve(nodes.size());
    for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
      const PathNode* n = *it;
      out.push_back(n->kind == Kind::index ? RawCodingKey::index(n->index) : RawCodingKey(n->name));
    }
    return out;
  }
  [[nodiscard]] CodingPath pathWith(CodingKeyRef key) const {
    CodingPath p = path();
    p.push_back(key.intValue ? RawCodingKey::index(*key.intValue) : RawCodingKey(key.stringValue));
    return p;
  }
};

}  // namespace
}  // namespace quarn::detail
