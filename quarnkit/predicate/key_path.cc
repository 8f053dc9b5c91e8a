#include "quarnkit/predicate/key_path.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <bit>
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

// The keys of an object that spell the first k components of the rest of a
// path ("app", "app.build", ...), each the first such entry, as find() gives
// it. scan(true) stops at the entry of the first component, so that a path
// found the standard way costs no more than one find(); scan(false) goes on
// to the end. Runs longer than KeyRuns::kMax components are left to find().
class DottedKeys {
 public:
  DottedKeys(const ValueObject& object, const KeyPath& path, std::size_t from, const KeyRuns& runs)
      : object_(object),
        path_(path),
        from_(from),
        rest_(path.joined(from, path.size())),
        runs_(runs.count),
        lengths_(runs.lengths),
        next_(object.begin()) {}

  void scan(bool untilFirst) {
    const auto end = object_.end();
    const std::uint64_t lengths = lengths_;
    const char first = rest_.empty() ? '\0' : rest_[0];
    for (auto it = next_; it != end; ++it) {
      const std::string& key = it->first;
      const std::size_t length = key.size();
      std::size_t k = 0;  // the number of components the key spans
      if (length < 64) {
        if (((lengths >> length) & 1) == 0) continue;
        if (length > 0 && key[0] != first) continue;
        k = static_cast<std::size_t>(std::popcount(lengths & ((std::uint64_t{1} << length) - 1))) +
            1;
      } else {
        if (!endsRun(length)) continue;
        k = static_cast<std::size_t>(std::count(key.begin(), key.end(), '.')) + 1;
      }
      if (std::memcmp(rest_.data(), key.data(), length) != 0 || found_[k - 1] != nullptr) continue;
      found_[k - 1] = &it->second;
      if (untilFirst && k == 1) {
        next_ = it + 1;
        return;
      }
    }
    next_ = end;
  }

  /// The value under the first `components` components joined, or nullptr.
  [[nodiscard]] const Value* found(std::size_t components) const {
    if (components <= runs_) return found_[components - 1];
    return object_.find(path_.joined(from_, from_ + components));
  }

 private:
  // Whether a key of `length` bytes, 64 or more, can end one of the runs.
  [[nodiscard]] bool endsRun(std::size_t length) const {
    if (length > rest_.size()) return false;
    if (length < rest_.size() && rest_[length] != '.') return false;
    return static_cast<std::size_t>(std::count(rest_.begin(), rest_.begin() + length, '.')) < runs_;
  }

  const ValueObject& object_;
  const KeyPath& path_;
  std::size_t from_;
  std::string_view rest_;
  std::size_t runs_;
  std::uint64_t lengths_;  // bit n: a run of components is n bytes long
  ValueObject::const_iterator next_;
  std::array<const Value*, KeyRuns::kMax> found_{};
};

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
    if (length < 64) runs.lengths |= std::uint64_t{1} << length;
  }
  return runs;
}

Lookup lookup(const ValueObject& base, const KeyPath& path, std::size_t from, Operand& out,
              LookupState& state, const KeyRuns* runs) {
  // Collection operators apply to the object itself, as they do to an object
  // inside a Value.
  if (const std::string_view key = path[from]; key.starts_with('@')) {
    if (key != "@count") {
      throwKeyPath(fmt::format("The collection operator {} needs a list, found object", key));
    }
    out.own(Value(static_cast<std::int64_t>(base.size())));
    return Lookup::found;
  }
  // One walk over the entries finds this component's key and the longer
  // literal keys the fallback below may need, each as find() would.
  DottedKeys keys(base, path, from, runs != nullptr ? *runs : keyRuns(path, from));
  keys.scan(true);
  // The standard look-up: this component as a key, or "self" as the object.
  Lookup standard = Lookup::missing;
  if (const Value* v = keys.found(1)) {
    standard = lookup(*v, path, from + 1, out, state);
    if (standard == Lookup::found) return standard;
  } else if (path[from] == kSelf) {
    if (from + 1 == path.size()) {
      out.own(Value(base));
      return Lookup::found;
    }
    standard = lookup(base, path, from + 1, out, state);
    if (standard == Lookup::found) return standard;
  }
  if (from + 1 == path.size()) return standard;
  // Then runs of components read as one literal key ("app.version").
  keys.scan(false);
  std::string failure = standard == Lookup::failed ? state.failure : std::string();
  for (std::size_t last = from + 2; last <= path.size(); ++last) {
    const Value* v = keys.found(last - from);
    if (v == nullptr) continue;
    if (state.fallbacksLeft == 0) {
      throw PredicateEvaluationError(Kind::limitExceeded, "Key path look-up too complex");
    }
    --state.fallbacksLeft;
    if (lookup(*v, path, last, out, state) == Lookup::found) return Lookup::found;
  }
  if (standard == Lookup::failed) state.failure = std::move(failure);
  return standard;
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
