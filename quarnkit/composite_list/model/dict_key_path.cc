#include "quarnkit/composite_list/model/dict_key_path.h"

#include <memory>

#include "quarnkit/composite_list/model/value_proxies.h"

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

// Writes at the path made of `first` and the segments `next()` gives after it
// (nothing once it returns false).
template <class Next>
void write(ValueDictionary& dictionary, std::string_view first, Next&& next, Value& value) {
  std::string_view rest;
  if (!next(rest)) {
    dictionary.set(std::string(first), std::move(value));
    return;
  }
  Value* entry = dictionary.find(first);
  if (entry == nullptr) return;
  if (ValueObject* nested = entry->ifObject()) {
    write(*nested, rest, next, value);  // the entry is this dictionary's own copy
  } else if (const auto* proxy = asDictionaryProxy(*entry)) {
    ValueDictionary copy = proxy->entries();
    write(copy, rest, next, value);
    *entry = Value(Value::Opaque(std::make_shared<const NSDictionaryProxy>(std::move(copy))));
  }
}

}  // namespace

void setValue(ValueDictionary& dictionary, const DictKeyPath& path, Value value) {
  if (path.segments.empty()) return;
  std::size_t at = 1;
  write(
      dictionary, path.segments[0],
      [&](std::string_view& segment) {
        if (at == path.segments.size()) return false;
        segment = path.segments[at++];
        return true;
      },
      value);
}

void detail::setValueAtKeyPath(ValueDictionary& dictionary, std::string_view dottedPath,
                               Value value) {
  std::size_t dot = dottedPath.find('.');
  std::string_view rest =
      dot == std::string_view::npos ? std::string_view() : dottedPath.substr(dot + 1);
  bool more = dot != std::string_view::npos;
  write(
      dictionary, dottedPath.substr(0, dot),
      [&](std::string_view& segment) {
        if (!more) return false;
        dot = rest.find('.');
        segment = rest.substr(0, dot);
        more = dot != std::string_view::npos;
        rest = more ? rest.substr(dot + 1) : std::string_view();
        return true;
      },
      value);
}

}  // namespace quarn
