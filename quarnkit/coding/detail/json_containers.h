// The JSON decoder's decoder and its single-value and unkeyed containers,
// over either document back-end (json_dom.h); the keyed container is in
// json_keyed.h. Decoders and containers borrow the document and their
// parents' path steps: they live within the decode call. Internal to the
// JSON decoder.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "quarnkit/coding/decoder.h"
#include "quarnkit/coding/detail/json_decode_state.h"
#include "quarnkit/coding/detail/json_dom.h"
#include "quarnkit/coding/detail/json_keyed.h"
#include "quarnkit/coding/detail/json_path.h"
#include "quarnkit/coding/detail/json_values.h"
#include "quarnkit/coding/detail/pooled.h"
#include "quarnkit/coding/detail/variant_containers.h"
#include "quarnkit/coding/json_decoder.h"

namespace quarn::detail {
// The decoder's internals have internal linkage: json_decoder.cc, the one
// translation unit that includes them, instantiates them for both back-ends
// and the compiler optimises them with every caller in view.
namespace {

template <class Dom>
class JSONSingleValue;
template <class Dom>
class JSONUnkeyed;

template <class Dom>
class JSONDecoderImpl final : public JSONDecoderBase {
 public:
  using V = typename Dom::Value;
  JSONDecoderImpl(V v, const DecodeState* state, PathNode node, int depth,
                  const VariantLayer* layers = nullptr)
      : v_(v), state_(state), node_(std::move(node)), depth_(depth), layers_(layers) {
    if (depth_ > JSONDecoder::kMaxDepth) throwTooDeep(node_);
  }

  [[nodiscard]] CodingPath codingPath() const override { return node_.path(); }
  [[nodiscard]] std::optional<int> lastCodingIndex() const override {
    if (node_.kind == PathNode::Kind::index) return node_.index;
    return std::nullopt;
  }
  [[nodiscard]] const CodingUserInfo& userInfo() const override {
    return state_->options->userInfo;
  }
  std::unique_ptr<KeyedDecodingContainer> container() override;
  std::unique_ptr<UnkeyedDecodingContainer> unkeyedContainer() override;
  std::unique_ptr<SingleValueDecodingContainer> singleValueContainer() override;
  void decodePrimitive(PrimitiveRef out) override {
    readPrimitive<Dom>(v_, out, *state_, node_, depth_);
  }
  bool decodeNil() override { return Dom::isNull(v_); }
  std::unique_ptr<KeyedDecodingContainer> layeredContainer(std::string_view separator,
                                                           std::string_view suffix,
                                                           bool recursive) override {
    return keyedContainerWith(state_->layer(separator, suffix, recursive, layers_));
  }
  std::unique_ptr<UnkeyedDecodingContainer> layeredUnkeyedContainer(
      std::string_view separator, std::string_view suffix) override {
    return unkeyedContainerWith(state_->layer(separator, suffix, true, layers_));
  }
  // The containers of this value, read with the given layers.
  std::unique_ptr<KeyedDecodingContainer> keyedContainerWith(const VariantLayer* layers);
  std::unique_ptr<UnkeyedDecodingContainer> unkeyedContainerWith(const VariantLayer* layers);

  V v_;
  const DecodeState* state_;
  PathNode node_;
  int depth_;
  // Set when this decoder stands for recursive device-variant decoders: the
  // stack of their layers.
  const VariantLayer* layers_;
};

template <class Dom>
class JSONSingleValue final : public SingleValueDecodingContainer,
                              public Pooled<JSONSingleValue<Dom>> {
 public:
  explicit JSONSingleValue(const JSONDecoderImpl<Dom>& d)
      : v_(d.v_), state_(d.state_), node_(d.node_), depth_(d.depth_) {}
  [[nodiscard]] CodingPath codingPath() const override { return node_.path(); }
  bool decodeNil() override { return Dom::isNull(v_); }
  void decodePrimitive(PrimitiveRef out) override {
    readPrimitive<Dom>(v_, out, *state_, node_, depth_);
  }
  void decodeNested(DecodeFn fn) override {
    JSONDecoderImpl<Dom> d(v_, state_, node_, depth_);
    fn(d);
  }

 private:
  typename Dom::Value v_;
  const DecodeState* state_;
  PathNode node_;
  int depth_;
};

template <class Dom>
class JSONUnkeyed final : public UnkeyedDecodingContainer, public Pooled<JSONUnkeyed<Dom>> {
 public:
  using V = typename Dom::Value;
  JSONUnkeyed(V array, const DecodeState* state, PathNode node, int depth,
              const VariantLayer* layers = nullptr)
      : elements_(array), state_(state), node_(std::move(node)), depth_(depth), layers_(layers) {}

  [[nodiscard]] CodingPath codingPath() const override { return node_.path(); }
  [[nodiscard]] std::optional<int> count() const override {
    return static_cast<int>(elements_.size());
  }
  [[nodiscard]] bool isAtEnd() const override { return index_ >= elements_.size(); }
  [[nodiscard]] int currentIndex() const override { return static_cast<int>(index_); }

  bool decodeNil() override {
    if (!isAtEnd() && Dom::isNull(current())) {
      ++index_;
      return true;
    }
    if (isAtEnd()) atEnd("Optional<Any>");
    return false;
  }
  void decodePrimitive(PrimitiveRef out) override {
    if (isAtEnd()) atEnd("value");
    readPrimitive<Dom>(current(), out, *state_, element(), depth_ + 1);
    ++index_;
  }
  bool decodePrimitiveIfPresent(PrimitiveRef out) override {
    if (isAtEnd()) return false;
    if (Dom::isNull(current())) {
      ++index_;
      return false;
    }
    decodePrimitive(out);
    return true;
  }
  void decodeNested(DecodeFn fn) override {
    if (isAtEnd()) atEnd("value");
    JSONDecoderImpl<Dom> d(current(), state_, element(), depth_ + 1, layers_);
    fn(d);
    ++index_;
  }
  bool decodeNestedIfPresent(DecodeFn fn) override {
    if (isAtEnd()) return false;
    if (Dom::isNull(current())) {
      ++index_;
      return false;
    }
    decodeNested(fn);
    return true;
  }
  std::unique_ptr<KeyedDecodingContainer> nestedContainer() override {
    if (isAtEnd()) atEnd("nested keyed container");
    auto c = JSONDecoderImpl<Dom>(current(), state_, element(), depth_ + 1, layers_).container();
    ++index_;
    return c;
  }
  std::unique_ptr<UnkeyedDecodingContainer> nestedUnkeyedContainer() override {
    if (isAtEnd()) atEnd("nested unkeyed container");
    auto c =
        JSONDecoderImpl<Dom>(current(), state_, element(), depth_ + 1, layers_).unkeyedContainer();
    ++index_;
    return c;
  }
  std::unique_ptr<Decoder> superDecoder() override {
    if (isAtEnd()) atEnd("Decoder");
    auto d =
        std::make_unique<JSONDecoderImpl<Dom>>(current(), state_, element(), depth_ + 1, layers_);
    ++index_;
    return d;
  }

 private:
  [[nodiscard]] V current() const { return elements_.at(index_); }
  [[nodiscard]] PathNode element() const {
    return PathNode::element(&node_, static_cast<int>(index_));
  }
  [[noreturn]] void atEnd(std::string_view type) const {
    throw DecodingError::valueNotFound(std::string(type),
                                       {node_.pathWith(CodingKeyRef("", static_cast<int>(index_))),
                                        "Unkeyed container is at end."});
  }

  typename Dom::Elements elements_;
  const DecodeState* state_;
  PathNode node_;
  int depth_;
  // Set for the lists of a recursive device-variant decoder: elements are
  // read with the same layers.
  const VariantLayer* layers_;
  std::size_t index_ = 0;
};

template <class Dom>
std::unique_ptr<KeyedDecodingContainer> JSONDecoderImpl<Dom>::container() {
  return keyedContainerWith(layers_);
}

template <class Dom>
std::unique_ptr<KeyedDecodingContainer> JSONDecoderImpl<Dom>::keyedContainerWith(
    const VariantLayer* layers) {
  if (Dom::kind(v_) != JSONKind::object) {
    throwMismatch<Dom>("Dictionary<String, Any>", v_, node_.path());
  }
  return std::make_unique<JSONKeyed<Dom>>(v_, state_, node_, depth_, layers);
}

template <class Dom>
std::unique_ptr<UnkeyedDecodingContainer> JSONDecoderImpl<Dom>::unkeyedContainer() {
  return unkeyedContainerWith(layers_);
}

template <class Dom>
std::unique_ptr<UnkeyedDecodingContainer> JSONDecoderImpl<Dom>::unkeyedContainerWith(
    const VariantLayer* layers) {
  if (Dom::kind(v_) != JSONKind::array) throwMismatch<Dom>("Array<Any>", v_, node_.path());
  return std::make_unique<JSONUnkeyed<Dom>>(v_, state_, node_, depth_, layers);
}

template <class Dom>
std::unique_ptr<SingleValueDecodingContainer> JSONDecoderImpl<Dom>::singleValueContainer() {
  return std::make_unique<JSONSingleValue<Dom>>(*this);
}

}  // namespace
}  // namespace quarn::detail
