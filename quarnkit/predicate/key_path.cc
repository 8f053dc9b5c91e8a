#include "quarnkit/predicate/key_path.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <unordered_set>

#include "quarnkit/predicate/detail/arithmetic.h"
#include "quarnkit/predicate/detail/key_path_lookup.h"
#include "quarnkit/predicate/detail/step_counter.h"
#include "quarnkit/predicate/detail/value_compare.h"
#include "quarnkit/predicate/errors.h"

namespace quarn {

KeyPath KeyPath::parse(std::string_view dotted) {
  KeyPath path;
  path.text_ = std::string(dotted);
  for (std::size_t i = 0; i <= dotted.size(); ++i) {
    if (i == dotted.size() || dotted[i] == '.') path.ends_.push_back(static_cast<std::uint32_t>(i));
  }
  return path;
}

void KeyPath::append(std::string_view component) {
  if (!ends_.empty()) text_ += '.';
  text_ += component;
  ends_.push_back(static_cast<std::uint32_t>(text_.size()));
}

std::string_view KeyPath::joined(std::size_t first, std::size_t last) const {
  const std::size_t begin = first == 0 ? 0 : ends_[first - 1] + 1;
  return std::string_view(text_).substr(begin, ends_[last - 1] - begin);
}

namespace detail {
namespace {

using Kind = PredicateEvaluationError::Kind;

// The component that names the value it is asked of.
constexpr std::string_view kSelf = "self";

void visited(LookupState& state, std::size_t elements) {
  if (state.steps != nullptr) state.steps->take(elements);
}

[[noreturn]] void throwKeyPath(std::string message) {
  throw PredicateEvaluationError(Kind::invalidKeyPath, std::move(message));
}

Lookup fail(LookupState& state, const Value& value, std::string_view key) {
  state.failure =
      fmt::format("A value of kind {} has no key \"{}\"", Value::kindName(value.kind()), key);
  return Lookup::failed;
}

// Continues a look-up in a value computed on the way, so the result must own
// what it refers to.
Lookup lookupOwned(Value&& base, const KeyPath& path, std::size_t from, Operand& out,
                   LookupState& state) {
  if (from == path.size()) {
    out.own(std::move(base));
    return Lookup::found;
  }
  Operand inner;
  const Lookup result = lookup(base, path, from, inner, state);
  if (result == Lookup::found) out.own(inner.take());
  return result;
}

// The values of one key for every element of a list (nested lists
// element-wise too); null for elements without it.
Lookup elementwise(const Value::Array& list, std::string_view key, Value::Array& result,
                   LookupState& state, std::size_t depth) {
  if (depth > kPredicateMaxDepth) throwKeyPath("Lists nested too deeply for a key path");
  visited(state, list.size());
  result.reserve(list.size());
  for (const Value& element : list) {
    if (const auto* object = element.ifObject()) {
      const Value* v = object->find(key);
      result.push_back(v ? *v : Value());
    } else if (const auto* inner = element.ifArray()) {
      Value::Array nested;
      if (elementwise(*inner, key, nested, state, depth + 1) == Lookup::failed) {
        return Lookup::failed;
      }
      result.emplace_back(std::move(nested));
    } else if (const auto* opaque = element.ifOpaque()) {
      auto v = *opaque ? (*opaque)->valueForKey(key) : std::nullopt;
      result.push_back(v ? std::move(*v) : Value());
    } else if (element.isNull()) {
      result.emplace_back();
    } else {
      return fail(state, element, key);
    }
  }
  return Lookup::found;
}

Value unionOf(const Value::Array& values, bool ofArrays, bool distinct, std::string_view op) {
  Value::Array result;
  std::unordered_set<Value> seen;
  auto add = [&](const Value& v) {
    if (v.isNull()) return;
    if (distinct && !seen.insert(v).second) return;
    result.push_back(v);
  };
  for (const Value& v : values) {
    if (!ofArrays) {
      add(v);
    } else if (const auto* inner = v.ifArray()) {
      for (const Value& e : *inner) add(e);
    } else if (!v.isNull()) {
      throwKeyPath(fmt::format("{} needs lists, found {}", op, Value::kindName(v.kind())));
    }
  }
  return Value(std::move(result));
}

// A collection operator at component `at` applied to `base`.
Lookup collectionOperator(const Value& base, const KeyPath& path, std::size_t at, Operand& out,
                          LookupState& state) {
  const std::string_view op = path[at];
  const auto* list = base.ifArray();
  if (op == "@count") {
    if (list) {
      out.own(Value(static_cast<std::int64_t>(list->size())));
    } else if (const auto* object = base.ifObject()) {
      out.own(Value(static_cast<std::int64_t>(object->size())));
    } else {
      throwKeyPath(fmt::format("@count needs a list, found {}", Value::kindName(base.kind())));
    }
    return Lookup::found;
  }
  if (!list) {
    throwKeyPath(fmt::format("The collection operator {} needs a list, found {}", op,
                             Value::kindName(base.kind())));
  }
  // The values to aggregate: the elements, or their values at the rest of the path.
  Operand selected;
  if (at + 1 < path.size()) {
    const Lookup r = lookup(base, path, at + 1, selected, state);
    if (r != Lookup::found) return r;
  } else {
    selected.refer(base);
  }
  const auto* values = selected.get().ifArray();
  if (!values) throwKeyPath(fmt::format("The key path after {} must give a list", op));
  visited(state, values->size());

  if (op == "@sum") {
    out.own(sumOf(*values, "sum"));
  } else if (op == "@avg") {
    const Value total = sumOf(*values, "average");
    const std::size_t count = countOf(*values);
    out.own(count == 0 ? Value(0) : Value(*total.asDouble() / static_cast<double>(count)));
  } else if (op == "@min" || op == "@max") {
    out.own(extremeOf(*values, op == "@max"));
  } else if (op == "@unionOfObjects" || op == "@distinctUnionOfObjects") {
    out.own(unionOf(*values, false, op == "@distinctUnionOfObjects", op));
  } else if (op == "@unionOfArrays" || op == "@distinctUnionOfArrays") {
    out.own(unionOf(*values, true, op == "@distinctUnionOfArrays", op));
  } else {
    throwKeyPath(fmt::format("Unsupported collection operator {}", op));
  }
  return Lookup::found;
}

template <class Word>
Word load(const char* p) {
  Word w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

// Whether the `n` bytes at `a` and `b` are equal. Keys are short: up to 16
// bytes they are compared as two overlapping words, without a call.
[[gnu::always_inline]] inline bool sameBytes(const char* a, const char* b, std::size_t n) {
  if (n > 16) return std::memcmp(a, b, n) == 0;
  if (n >= 8) {
    return load<std::uint64_t>(a) == load<std::uint64_t>(b) &&
           load<std::uint64_t>(a + n - 8) == load<std::uint64_t>(b + n - 8);
  }
  if (n >= 4) {
    return load<std::uint32_t>(a) == load<std::uint32_t>(b) &&
           load<std::uint32_t>(a + n - 4) == load<std::uint32_t>(b + n - 4);
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

}  // namespace

Lookup lookup(const Value& base, const KeyPath& path, std::size_t from, Operand& out,
              LookupState& state) {
  if (from == path.size()) {
    out.refer(base);
    return Lookup::found;
  }
  const std::string_view key = path[from];
  switch (base.kind()) {
    case Value::Kind::null:
      return Lookup::missing;
    case Value::Kind::object:
      if (key.starts_with('@')) return collectionOperator(base, path, from, out, state);
      if (key == kSelf && !base.ifObject()->contains(kSelf)) {
        return lookup(base, path, from + 1, out, state);
      }
      return lookup(*base.ifObject(), path, from, out, state);
    case Value::Kind::array: {
      if (key.starts_with('@')) return collectionOperator(base, path, from, out, state);
      if (key == kSelf) return lookup(base, path, from + 1, out, state);
      Value::Array values;
      if (elementwise(*base.ifArray(), key, values, state, 0) == Lookup::failed) {
        return Lookup::failed;
      }
      return lookupOwned(Value(std::move(values)), path, from + 1, out, state);
    }
    case Value::Kind::opaque: {
      const auto& object = *base.ifOpaque();
      auto v = object ? object->valueForKey(key) : std::nullopt;
      if (!v) return key == kSelf ? lookup(base, path, from + 1, out, state) : Lookup::missing;
      return lookupOwned(std::move(*v), path, from + 1, out, state);
    }
    default:
      if (key == kSelf) return lookup(base, path, from + 1, out, state);
      return fail(state, base, key);
  }
}

KeyRuns keyRuns(const KeyPath& path, std::size_t from) {
  KeyRuns runs;
  runs.count = std::min(path.size() - from, KeyRuns::kMax);
  for (std::size_t k = 1; k <= runs.count; ++k) {
    const std::size_t length = path.joined(from, from + k).size();
    runs.length[k - 1] = length;
    if (length < 64) runs.lengths |= std::uint64_t{1} << length;
  }
  return runs;
}

Lookup lookup(const ValueObject& base, const KeyPath& path, std::size_t from, Operand& out,
              LookupState& state) {
  return lookup(base, path, from, out, state, keyRuns(path, from));
}

Lookup lookup(const ValueObject& base, const KeyPath& path, std::size_t from, Operand& out,
              LookupState& state, const KeyRuns& runs) {
  const std::string_view key = path[from];
  // Collection operators apply to the object itself, as they do to an object
  // inside a Value.
  if (key.starts_with('@')) {
    if (key != "@count") {
      throwKeyPath(fmt::format("The collection operator {} needs a list, found object", key));
    }
    out.own(Value(static_cast<std::int64_t>(base.size())));
    return Lookup::found;
  }
  const bool lastComponent = from + 1 == path.size();
  // One walk over the entries finds the keys that spell the first k
  // components of the rest of the path ("app", "app.build", ...), each the
  // first such entry, as find() gives it. The standard look-up (this
  // component as a key) is tried as soon as its entry is found, so a path
  // found that way costs no more than one find().
  const std::string_view rest =
      from == 0 ? std::string_view(path.text()) : path.joined(from, path.size());
  const char first = rest.empty() ? '\0' : rest[0];
  std::array<const Value*, KeyRuns::kMax> found{};
  Lookup standard = Lookup::missing;
  const std::uint64_t lengths = runs.lengths;
  for (auto it = base.begin(), end = base.end(); it != end; ++it) {
    const std::string& entryKey = it->first;
    const std::size_t length = entryKey.size();
    std::size_t k = 0;  // the number of components the key spans
    if (length < 64) {
      // Most keys differ from every run in length or in their first byte.
      if (((lengths >> length) & 1) == 0) continue;
      if ((length > 0 && entryKey[0] != first) ||
          !sameBytes(rest.data(), entryKey.data(), length)) {
        continue;
      }
      k = runs.components(length);
    } else {
      k = runs.components(length);
      if (k == 0 || !sameBytes(rest.data(), entryKey.data(), length)) continue;
    }
    if (found[k - 1] != nullptr) continue;
    found[k - 1] = &it->second;
    if (k == 1) {
      if (lastComponent) {
        out.refer(it->second);
        return Lookup::found;
      }
      standard = lookup(it->second, path, from + 1, out, state);
      if (standard == Lookup::found) return standard;
    }
  }
  // "self" names the object, unless it has a key "self".
  if (found[0] == nullptr && key == kSelf) {
    if (lastComponent) {
      out.own(Value(base));
      return Lookup::found;
    }
    standard = lookup(base, path, from + 1, out, state);
    if (standard == Lookup::found) return standard;
  }
  if (lastComponent) return standard;
  // Then runs of components read as one literal key ("app.version"); runs
  // longer than the walk looked for are found one by one.
  std::string failure = standard == Lookup::failed ? state.failure : std::string();
  for (std::size_t last = from + 2; last <= path.size(); ++last) {
    const std::size_t k = last - from;
    const Value* v = k <= runs.count ? found[k - 1] : base.find(path.joined(from, last));
    if (v == nullptr) continue;
    if (state.fallbacksLeft == 0) {
      throw PredicateEvaluationError(Kind::limitExceeded, "Key path look-up too complex");
    }
    --state.fallbacksLeft;
    if (last == path.size()) {
      out.refer(*v);
      return Lookup::found;
    }
    if (lookup(*v, path, last, out, state) == Lookup::found) return Lookup::found;
  }
  if (standard == Lookup::failed) state.failure = std::move(failure);
  return standard;
}

const Value* findKey(const ValueObject& object, std::string_view key) {
  for (const auto& [k, v] : object) {
    if (k.size() == key.size() && sameBytes(k.data(), key.data(), key.size())) return &v;
  }
  return nullptr;
}

void checkKeyPathLength(const KeyPath& path) {
  if (path.size() > kKeyPathMaxComponents) {
    throw PredicateEvaluationError(
        Kind::limitExceeded,
        fmt::format("Key path longer than {} components", kKeyPathMaxComponents));
  }
}

void finishLookup(Lookup result, Operand& out, const LookupState& state) {
  if (result == Lookup::missing) out.refer(nullValue());
  if (result == Lookup::failed) throwKeyPath(state.failure);
}

constinit const Value kNullValue{};

}  // namespace detail

std::optional<Value> KeyPath::valueIn(const Value& root) const {
  detail::checkKeyPathLength(*this);
  detail::Operand out;
  detail::LookupState state;
  const auto result = detail::lookup(root, *this, 0, out, state);
  if (result == detail::Lookup::missing) return std::nullopt;
  detail::finishLookup(result, out, state);
  return out.take();
}

std::optional<Value> KeyPath::valueIn(const ValueDictionary& root) const {
  if (empty()) return Value(root);
  detail::checkKeyPathLength(*this);
  detail::Operand out;
  detail::LookupState state;
  const auto result = detail::lookup(root, *this, 0, out, state);
  if (result == detail::Lookup::missing) return std::nullopt;
  detail::finishLookup(result, out, state);
  return out.take();
}

std::optional<Value> valueForKeyPath(const Value& root, std::string_view keyPath) {
  return KeyPath::parse(keyPath).valueIn(root);
}

std::optional<Value> valueForKeyPath(const ValueDictionary& root, std::string_view keyPath) {
  return KeyPath::parse(keyPath).valueIn(root);
}

}  // namespace quarn
