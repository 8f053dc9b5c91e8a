/// @file
/// Device-specific member variants.
///
/// Server JSON may carry a variant of a member next to the plain member: with
/// separator "_", "title_ipad" is read on tablets and "title_iphone" on every
/// other device, "title" being the fallback. A record opts in by reading its
/// members through platformContainer() instead of container(); with
/// `recursive` set, nested records, lists and the records inside them are read
/// the same way without any change to their own decoding code.
///
/// ```
///   static Banner decode(quarn::Decoder& d) {
///     auto c = quarn::platformContainer(d, "_", /*recursive=*/true);
///     return {c->decode<std::string>("title")};   // "title_ipad" on a tablet
///   }
/// ```
///
/// Layers stack: opened on a decoder that already resolves variants (a
/// template's "~" ones), a record's own layer tries each name's variant, as
/// the layers under it resolve that, before the name itself; without
/// `recursive` its nested records still get the layers under it. A layer
/// already in force is not added again.
///
/// The wrappers never parse anything themselves and add no failures of their
/// own: every error is the wrapped decoder's, for the resolved key. The
/// standard types (primitive.h) are read by the wrapped containers directly;
/// every other type is read through a wrapping PlatformDecoder. The wrappers
/// are unique objects, valid while the decoder they wrap is.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "quarnkit/coding/decoder.h"

namespace quarn {

/// "ipad" on a tablet, "iphone" on every other device (from platform::Device).
std::string_view currentDeviceSuffix();

/// A decoder whose containers resolve device variants of member names (see the file's description).
/// A unique object, valid while the decoder it wraps is.
class PlatformDecoder final : public Decoder {
 public:
  /// Wraps a decoder it does not own (valid for the wrapper's lifetime).
  PlatformDecoder(Decoder& base, std::string separator, bool recursive);
  /// Wraps and owns `base`.
  PlatformDecoder(std::unique_ptr<Decoder> base, std::string separator, bool recursive);
  /// With a given device suffix (copied) instead of the current device's.
  PlatformDecoder(Decoder& base, std::string separator, bool recursive, std::string_view suffix);
  /// Wraps and owns `base`, with a given device suffix.
  PlatformDecoder(std::unique_ptr<Decoder> base, std::string separator, bool recursive,
                  std::string_view suffix);

  /// The wrapped decoder.
  [[nodiscard]] Decoder& base() const { return *base_; }
  /// What joins a name and its device suffix ("_").
  [[nodiscard]] const std::string& separator() const { return separator_; }
  /// Whether nested values are read through the same layer.
  [[nodiscard]] bool recursive() const { return recursive_; }
  /// The device suffix variants are looked up with ("ipad").
  [[nodiscard]] std::string_view suffix() const { return suffix_; }

  [[nodiscard]] CodingPath codingPath() const override { return base_->codingPath(); }
  [[nodiscard]] std::optional<int> lastCodingIndex() const override {
    return base_->lastCodingIndex();
  }
  [[nodiscard]] const CodingUserInfo& userInfo() const override { return base_->userInfo(); }
  std::unique_ptr<KeyedDecodingContainer> container() override;
  std::unique_ptr<UnkeyedDecodingContainer> unkeyedContainer() override;
  std::unique_ptr<SingleValueDecodingContainer> singleValueContainer() override;
  void decodePrimitive(PrimitiveRef out) override { base_->decodePrimitive(out); }
  bool decodeNil() override { return base_->decodeNil(); }

 private:
  std::unique_ptr<Decoder> owned_;
  Decoder* base_;
  std::string separator_;
  bool recursive_;
  std::string suffix_;
};

/// A keyed container that resolves every named key to its device variant.
/// Positional (integer) keys are never suffixed.
class PlatformContainerBase : public KeyedDecodingContainer {
 public:
  /// Wraps `base`, resolving names with `separator` and `suffix`; `recursive` reads nested values
  /// the same way.
  PlatformContainerBase(std::unique_ptr<KeyedDecodingContainer> base, std::string separator,
                        bool recursive, std::string_view suffix);

  /// The wrapped container.
  [[nodiscard]] KeyedDecodingContainer& base() const { return *base_; }
  /// What joins a name and its device suffix.
  [[nodiscard]] const std::string& separator() const { return separator_; }
  /// Whether nested values are read through the same layer.
  [[nodiscard]] bool recursive() const { return recursive_; }

  [[nodiscard]] CodingPath codingPath() const override { return base_->codingPath(); }
  [[nodiscard]] std::vector<RawCodingKey> allKeys() const override { return base_->allKeys(); }
  void forEachKey(FunctionRef<void(std::string_view)> fn) const override { base_->forEachKey(fn); }
  [[nodiscard]] bool contains(CodingKeyRef key) const override;
  void forEachMember(FunctionRef<void(std::string_view key, Decoder& value)> fn) override;
  bool decodeNil(CodingKeyRef key) override;
  void decodePrimitive(CodingKeyRef key, PrimitiveRef out) override;
  bool decodePrimitiveIfPresent(CodingKeyRef key, PrimitiveRef out) override;
  void decodeNested(CodingKeyRef key, DecodeFn fn) override;
  bool decodeNestedIfPresent(CodingKeyRef key, DecodeFn fn) override;
  std::unique_ptr<KeyedDecodingContainer> nestedContainer(CodingKeyRef key) override;
  std::unique_ptr<UnkeyedDecodingContainer> nestedUnkeyedContainer(CodingKeyRef key) override;
  std::unique_ptr<Decoder> superDecoder() override;
  std::unique_ptr<Decoder> superDecoder(CodingKeyRef key) override;

 protected:
  class ResolvedKey;
  /// Whether any key of the data can be a device variant (holds the
  /// separator and suffix after its first character); when none can, keys
  /// resolve to themselves without a look-up. Computed on first use.
  [[nodiscard]] bool mayHaveVariants() const;

  /// The wrapped container.
  std::unique_ptr<KeyedDecodingContainer> base_;
  /// Whether some key may be a variant: -1 not yet known, 0 no, 1 yes.
  mutable signed char mayHaveVariants_ = -1;
  /// What joins a name and its device suffix.
  std::string separator_;
  /// Whether nested values are read through the same layer.
  bool recursive_;
  /// The device suffix.
  std::string suffix_;
};

/// PlatformContainerBase for a record's own key set: allKeys() lists only the
/// keys Key knows, so device variants are not listed.
template <class Key = RawCodingKey>
class PlatformContainer final : public PlatformContainerBase {
 public:
  /// Wraps a container, as PlatformContainerBase does.
  using PlatformContainerBase::PlatformContainerBase;

  [[nodiscard]] std::vector<RawCodingKey> allKeys() const override {
    if constexpr (std::is_same_v<Key, RawCodingKey>) {
      return base_->allKeys();
    } else {
      std::vector<RawCodingKey> out;
      for (const auto& k : base_->allKeys()) {
        if (auto known = convertKey<Key>(k)) {
          out.emplace_back(CodingKeyRef(known->stringValue(), known->intValue()));
        }
      }
      return out;
    }
  }
};

/// A list whose elements are read through the device-variant layer. A unique object, valid while
/// the container it wraps is.
class PlatformUnkeyedContainer final : public UnkeyedDecodingContainer {
 public:
  /// Wraps `base`; elements are read with `separator`, `recursive` and `suffix` as a
  /// PlatformDecoder would.
  PlatformUnkeyedContainer(std::unique_ptr<UnkeyedDecodingContainer> base, std::string separator,
                           bool recursive, std::string_view suffix);

  [[nodiscard]] CodingPath codingPath() const override { return base_->codingPath(); }
  [[nodiscard]] std::optional<int> count() const override { return base_->count(); }
  [[nodiscard]] bool isAtEnd() const override { return base_->isAtEnd(); }
  [[nodiscard]] int currentIndex() const override { return base_->currentIndex(); }
  bool decodeNil() override { return base_->decodeNil(); }
  void decodePrimitive(PrimitiveRef out) override { base_->decodePrimitive(out); }
  bool decodePrimitiveIfPresent(PrimitiveRef out) override {
    return base_->decodePrimitiveIfPresent(out);
  }
  void decodeNested(DecodeFn fn) override;
  bool decodeNestedIfPresent(DecodeFn fn) override;
  std::unique_ptr<KeyedDecodingContainer> nestedContainer() override;
  std::unique_ptr<UnkeyedDecodingContainer> nestedUnkeyedContainer() override;
  std::unique_ptr<Decoder> superDecoder() override;

 private:
  std::unique_ptr<UnkeyedDecodingContainer> base_;
  std::string separator_;
  bool recursive_;
  std::string suffix_;
};

namespace detail {
std::unique_ptr<KeyedDecodingContainer> platformKeyedContainer(Decoder& decoder,
                                                               std::string separator,
                                                               bool recursive);
}

/// Opens the decoder's keyed container with device-variant resolution for
/// the record's key set (RawCodingKey: any key; a typed key set also limits
/// allKeys() to its own keys). There are no defaults for separator and flag.
/// Over a JSON decoder the JSON containers resolve variants themselves (the
/// whole stack of layers in one container, same results); over any other
/// decoder the container is a PlatformContainer.
template <class Key = RawCodingKey>
std::unique_ptr<KeyedDecodingContainer> platformContainer(Decoder& decoder, std::string separator,
                                                          bool recursive) {
  if constexpr (std::is_same_v<Key, RawCodingKey>) {
    return detail::platformKeyedContainer(decoder, std::move(separator), recursive);
  } else {
    return std::make_unique<PlatformContainer<Key>>(decoder.container(), std::move(separator),
                                                    recursive, currentDeviceSuffix());
  }
}

}  // namespace quarn
