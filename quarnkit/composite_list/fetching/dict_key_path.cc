#include "quarnkit/composite_list/fetching/dict_key_path.h"

#include <memory>

#include "quarnkit/composite_list/fetching/value_proxies.h"

namespace quarn {

DictKeyPath::DictKeyPath(std::string_view literal) {
  for (;;) {
    const std::size_t dot = literal.find('.');
    segments.emplace_back(literal.substr(0, dot));
    if (dot == std::string_view::npos) break;
    literal.remove_prefix(dot + 1);
  }
}

namespace {

void write(ValueDictionary& dictionary, const std::vector<std::string>& segments,
           std::size_t from, Value& value) {
  if (from + 1 == segments.size()) {
    dictionary.set(segments[from], std::move(value));
    return;
  }
  Value* entry = dictionary.find(segments[from]);
  if (entry == nullptr) return;
  if (ValueObject* nested = entry->ifObject()) {
    write(*nested, segments, from + 1, value);  // the entry is this dictionary's own copy
  } else if (const auto* proxy = asDictionaryProxy(*entry)) {
    ValueDictionary copy = proxy->entries();
    write(copy, segments, from + 1, value);
    *entry = Value(Value::Opaque(std::make_shared<const NSDictionaryProxy>(std::move(copy))));
  }
}

}  // namespace

void setValue(ValueDictionary& dictionary, const DictKeyPath& path, Value value) {
  if (path.segments.empty()) return;
  write(dictionary, path.segments, 0, value);
}

}  // namespace quarn
