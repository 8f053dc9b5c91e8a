// The JSON decoder's keyed container (an object), over either back-end
// (json_dom.h): member look-up tuned for records that read their members
// mostly in document order and probe for absent ones, and the device-variant
// layers (platform_decoder.h) resolved in place. Internal to the JSON decoder.
#pragma once

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "quarnkit/coding/decoder.h"
#include "quarnkit/coding/detail/json_decode_state.h"
#include "quarnkit/coding/detail/json_dom.h"
#include "quarnkit/coding/detail/json_path.h"
#include "quarnkit/coding/detail/json_values.h"
#include "quarnkit/coding/detail/pooled.h"

namespace quarn::detail {
// Internal linkage: see json_containers.h.
namespace {

template <class Dom>
class JSONKeyed final : public KeyedDecodingContainer, public Pooled<JSONKeyed<Dom>> {
 public:
  using V = typename Dom::Value;
  JSONKeyed(V object, const DecodeState* state, PathNode node, int depth,
            const VariantLayer* layers = nullptr)
      : members_(object), state_(state), node_(std::move(node)), depth_(depth), layers_(layers) {
    // With device variants, list the members that are variants for this
    // device: a requested key resolves to one of them before itself.
    const std::size_t size = members_.size();
    indexed_ = size <= kIndexedSize;
    if (layers_ == nullptr) return;
    if (layers_->inner != nullptr) {
      manyVariants_ = true;  // stacked layers: resolved by name through each
      return;
    }
    for (std::size_t i = 0; i < size && !manyVariants_; ++i) {
      if (!isVariantKey(members_.key(i))) continue;
      if (indexed_ && variantCount_ < variantMembers_.size()) {
        variantMembers_[variantCount_++] = static_cast<std::uint8_t>(i);
      } else {
        manyVariants_ = true;
      }
    }
  }

  [[nodiscard]] CodingPath codingPath() const override { return node_.path(); }
  [[nodiscard]] std::vector<RawCodingKey> allKeys() const override {
    std::vector<RawCodingKey> keys;
    keys.reserve(members_.size());
    for (std::size_t i = 0; i < members_.size(); ++i) keys.emplace_back(members_.key(i));
    return keys;
  }
  void forEachKey(FunctionRef<void(std::string_view)> fn) const override {
    for (std::size_t i = 0; i < members_.size(); ++i) fn(members_.key(i));
  }
  [[nodiscard]] bool contains(CodingKeyRef key) const override { return find(key) != kNoMember; }
  void forEachMember(FunctionRef<void(std::string_view key, Decoder& value)> fn) override {
    const bool variants = variantCount_ != 0 || manyVariants_;
    const std::size_t size = members_.size();
    for (std::size_t i = 0; i < size; ++i) {
      const V value = members_.value(i);
      if (Dom::isNull(value)) continue;
      std::string_view key = members_.key(i);
      if (variants) {
        // A member answers to its name without the layers' tails, unless a
        // variant of that name stands for it.
        key = plainName(layers_, key);
        if (findWithVariants(key) != i) continue;
      }
      JSONDecoderImpl<Dom> d(value, state_, child(i), depth_ + 1, childLayers());
      fn(key, d);
    }
  }
  bool decodeNil(CodingKeyRef key) override { return Dom::isNull(members_.value(require(key))); }

  void decodePrimitive(CodingKeyRef key, PrimitiveRef out) override {
    const std::size_t i = require(key);
    readPrimitive<Dom>(members_.value(i), out, *state_, child(i), depth_ + 1);
  }
  bool decodePrimitiveIfPresent(CodingKeyRef key, PrimitiveRef out) override {
    const std::size_t i = find(key);
    if (i == kNoMember || Dom::isNull(members_.value(i))) return false;
    readPrimitive<Dom>(members_.value(i), out, *state_, child(i), depth_ + 1);
    return true;
  }
  void decodeNested(CodingKeyRef key, DecodeFn fn) override {
    const std::size_t i = require(key);
    JSONDecoderImpl<Dom> d(members_.value(i), state_, child(i), depth_ + 1, childLayers());
    fn(d);
  }
  bool decodeNestedIfPresent(CodingKeyRef key, DecodeFn fn) override {
    const std::size_t i = find(key);
    if (i == kNoMember || Dom::isNull(members_.value(i))) return false;
    JSONDecoderImpl<Dom> d(members_.value(i), state_, child(i), depth_ + 1, childLayers());
    fn(d);
    return true;
  }
  std::unique_ptr<KeyedDecodingContainer> nestedContainer(CodingKeyRef key) override {
    const std::size_t i = require(key);
    return JSONDecoderImpl<Dom>(members_.value(i), state_, pathFor(key, i), depth_ + 1,
                                childLayers())
        .container();
  }
  std::unique_ptr<UnkeyedDecodingContainer> nestedUnkeyedContainer(CodingKeyRef key) override {
    const std::size_t i = require(key);
    return JSONDecoderImpl<Dom>(members_.value(i), state_, pathFor(key, i), depth_ + 1,
                                childLayers())
        .unkeyedContainer();
  }
  std::unique_ptr<Decoder> superDecoder() override { return superDecoder(CodingKeyRef("super")); }
  std::unique_ptr<Decoder> superDecoder(CodingKeyRef key) override {
    const std::size_t i = find(key);
    return std::make_unique<JSONDecoderImpl<Dom>>(i != kNoMember ? members_.value(i) : Dom::null(),
                                                  state_, pathFor(key, i), depth_ + 1,
                                                  childLayers());
  }

 private:
  static constexpr std::size_t kIndexedSize = 16;

  // A key's length and first and last characters.
  static std::uint32_t signature(std::string_view k) {
    if (k.empty()) return 0;
    return (static_cast<std::uint32_t>(std::min<std::size_t>(k.size(), 0xffff)) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(k.front())) << 8) |
           static_cast<unsigned char>(k.back());
  }

  // A one-bit-per-key filter over the signatures: most probes of records are
  // for absent members, and most of those are rejected by it.
  static std::uint64_t filterBit(std::uint32_t sig) {
    return std::uint64_t{1} << ((sig ^ (sig >> 7) ^ (sig >> 16) * 5u) & 63u);
  }

  [[nodiscard]] bool isVariantKey(std::string_view k) const { return isVariantKey(layers_, k); }
  static bool isVariantKey(const VariantLayer* layer, std::string_view k) {
    const std::string_view suffix = layer->suffix;
    const std::size_t tail = layer->separator.size() + suffix.size();
    return k.size() > tail && (suffix.empty() || k.back() == suffix.back()) &&
           k.ends_with(suffix) &&
           k.substr(k.size() - tail, layer->separator.size()) == layer->separator;
  }
  // A key without the tails of the layers it ends with, the innermost
  // layer's (appended last) first.
  static std::string_view plainName(const VariantLayer* layer, std::string_view k) {
    if (layer == nullptr) return k;
    k = plainName(layer->inner, k);
    if (isVariantKey(layer, k)) k.remove_suffix(layer->separator.size() + layer->suffix.size());
    return k;
  }

  // The member for a key: its device variant when there is one, else the key.
  [[nodiscard]] std::size_t find(CodingKeyRef key) const {
    if ((variantCount_ != 0 || manyVariants_) && !key.intValue) [[unlikely]] {
      return findWithVariants(key.stringValue);
    }
    return findExact(key.stringValue);
  }

  // Keys are short: compared inline, a word at a time (two overlapping
  // loads cover 4 to 16 bytes), which is cheaper than a call.
  template <class Word>
  static Word load(const char* p) {
    Word w;
    std::memcpy(&w, p, sizeof w);
    return w;
  }
  static bool sameKey(std::string_view a, std::string_view b) {
    const std::size_t n = a.size();
    if (n != b.size()) return false;
    const char* x = a.data();
    const char* y = b.data();
    if (n >= 8) {
      if (n > 16) return std::memcmp(x, y, n) == 0;
      return load<std::uint64_t>(x) == load<std::uint64_t>(y) &&
             load<std::uint64_t>(x + n - 8) == load<std::uint64_t>(y + n - 8);
    }
    if (n >= 4) {
      return load<std::uint32_t>(x) == load<std::uint32_t>(y) &&
             load<std::uint32_t>(x + n - 4) == load<std::uint32_t>(y + n - 4);
    }
    for (std::size_t i = 0; i < n; ++i) {
      if (x[i] != y[i]) return false;
    }
    return true;
  }

  [[nodiscard]] std::size_t findExact(std::string_view name) const {
    if (!indexed_) [[unlikely]] {
      return members_.find(name);
    }
    // Records usually read their members in document order: the member after
    // the last one found is tried first, then that one again (a member
    // checked for, then read).
    const std::size_t size = members_.size();
    std::size_t i = cursor_ < size ? cursor_ : 0;
    if (size != 0 && sameKey(members_.key(i), name)) {
      cursor_ = i + 1;
      return i;
    }
    if (cursor_ != 0 && sameKey(members_.key(cursor_ - 1), name)) return cursor_ - 1;
    if (!scanned_) scan();
    const std::uint32_t sig = signature(name);
    if ((filter_ & filterBit(sig)) == 0) return kNoMember;
    for (std::size_t n = 0; n < size; ++n) {
      if (signatures_[i] == sig && sameKey(members_.key(i), name)) {
        cursor_ = i + 1;
        return i;
      }
      if (++i == size) i = 0;
    }
    return kNoMember;
  }

  // A signature per member of a small object, made on the first look-up
  // that the member order does not answer: probes compare it before the
  // bytes, and most of records' unordered probes are for absent members.
  void scan() const {
    for (std::size_t i = 0; i < members_.size(); ++i) {
      signatures_[i] = signature(members_.key(i));
      filter_ |= filterBit(signatures_[i]);
    }
    scanned_ = true;
  }

  [[gnu::noinline]] std::size_t findWithVariants(std::string_view name) const {
    if (layers_->inner != nullptr) return findThrough(layers_, name);
    const std::size_t tail = layers_->separator.size() + layers_->suffix.size();
    for (std::uint8_t v = 0; v < variantCount_; ++v) {
      const std::string_view k = members_.key(variantMembers_[v]);
      if (k.size() - tail == name.size() && k.starts_with(name)) return variantMembers_[v];
    }
    if (manyVariants_) {
      std::string candidate;
      candidate.reserve(name.size() + tail);
      candidate.append(name).append(layers_->separator).append(layers_->suffix);
      if (const std::size_t i = findExact(candidate); i != kNoMember) return i;
    }
    return findExact(name);
  }
  // The member for a name through a stack of layers: the layer's variant of
  // the name, as the layers under it resolve that, else the name itself.
  std::size_t findThrough(const VariantLayer* layer, std::string_view name) const {
    if (layer == nullptr) return findExact(name);
    std::string candidate;
    candidate.reserve(name.size() + layer->separator.size() + layer->suffix.size());
    candidate.append(name).append(layer->separator).append(layer->suffix);
    if (const std::size_t i = findThrough(layer->inner, candidate); i != kNoMember) return i;
    return findThrough(layer->inner, name);
  }
  std::size_t require(CodingKeyRef key) const {
    if (const std::size_t i = find(key); i != kNoMember) return i;
    throw DecodingError::keyNotFound(
        RawCodingKey(key),
        {node_.path(), fmt::format("No value associated with key \"{}\".", key.stringValue)});
  }
  // Path node of a member; its name points into the document, which outlives
  // it.
  [[nodiscard]] PathNode child(std::size_t i) const {
    return PathNode::child(&node_, CodingKeyRef(members_.key(i)), false);
  }
  // Nested values are read with the recursive layers only.
  [[nodiscard]] const VariantLayer* childLayers() const {
    return layers_ != nullptr ? layers_->forChildren : nullptr;
  }
  // Path node of the requested key for a container or decoder that outlives
  // the call: it names the key as requested. When the member found has that
  // very name, the name points into the document; only otherwise (a device
  // variant, a missing member, a position) is it copied.
  [[nodiscard]] PathNode pathFor(CodingKeyRef key, std::size_t i) const {
    const bool same = i != kNoMember && !key.intValue && members_.key(i) == key.stringValue;
    return same ? child(i) : PathNode::child(&node_, key, true);
  }

  typename Dom::Members members_;
  const DecodeState* state_;
  PathNode node_;
  int depth_;
  const VariantLayer* layers_;
  mutable std::size_t cursor_ = 0;
  mutable std::uint64_t filter_ = 0;
  mutable bool scanned_ = false;
  bool indexed_ = false;
  // Set when a large object has variant members or a small one has more
  // than variantMembers_ holds: variants are then looked up by name.
  bool manyVariants_ = false;
  std::uint8_t variantCount_ = 0;
  std::array<std::uint8_t, 4> variantMembers_{};
  mutable std::array<std::uint32_t, kIndexedSize> signatures_;
};

}  // namespace
}  // namespace quarn::detail
