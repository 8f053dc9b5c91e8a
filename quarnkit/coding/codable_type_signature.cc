#include "quarnkit/coding/codable_type_signature.h"

#include <mutex>
#include <shared_mutex>
#include <typeindex>
#include <unordered_map>

namespace quarn {

namespace {

// Run-time type → name in data, for the types named in this process.
class NameTable {
 public:
  void enter(const std::type_info& type, const std::string& name) {
    const std::unique_lock lock(mutex_);
    names_.insert_or_assign(std::type_index(type), name);
  }
  std::optional<std::string> find(const std::type_info& type) const {
    const std::shared_lock lock(mutex_);
    const auto it = names_.find(std::type_index(type));
    if (it == names_.end()) return std::nullopt;
    return it->second;
  }

 private:
  mutable std::shared_mutex mutex_;
  std::unordered_map<std::type_index, std::string> names_;
};

NameTable& nameTable() {
  static NameTable table;
  return table;
}

}  // namespace

namespace detail {

std::string genericArguments(std::initializer_list<const std::string*> names) {
  if (names.size() == 0) return {};
  std::string out = "<";
  bool first = true;
  for (const std::string* name : names) {
    if (!first) out += ", ";
    out += *name;
    first = false;
  }
  return out + ">";
}

std::string enterCodableTypeName(const std::type_info& type, std::string name) {
  nameTable().enter(type, name);
  return name;
}

}  // namespace detail

std::optional<CodableTypeSignature> CodableTypeSignature::ofType(const std::type_info& type) {
  if (auto name = nameTable().find(type)) return CodableTypeSignature(std::move(*name));
  return std::nullopt;
}

}  // namespace quarn
