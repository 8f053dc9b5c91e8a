#include "quarnkit/coding/type_preserving_coding.h"

namespace quarn::detail {

namespace {

CodingPath appended(CodingPath path, std::string_view key) {
  path.emplace_back(key);
  return path;
}

bool isWrapperMember(const CodingKeyRef& key) {
  return !key.intValue &&
         (key.stringValue == kPreservedTypeKey || key.stringValue == kTypePreservingStrategyKey);
}

// The object a type-preserved value writes its members into, shared with the
// wrapper's two members, which the value may not write: the data would then
// name another type (or none) than the value's.
class WrappedMembersContainer final : public KeyedEncodingContainer {
 public:
  WrappedMembersContainer(std::unique_ptr<KeyedEncodingContainer> base,
                          const TypePreservingCodable& value)
      : base_(std::move(base)), value_(value) {}
  [[nodiscard]] CodingPath codingPath() const override { return base_->codingPath(); }
  void encodeNil(CodingKeyRef key) override { checked(key).encodeNil(key); }
  void encodePrimitive(CodingKeyRef key, PrimitiveCRef value) override {
    checked(key).encodePrimitive(key, value);
  }
  void encodeNested(CodingKeyRef key, EncodeFn fn) override { checked(key).encodeNested(key, fn); }
  std::unique_ptr<KeyedEncodingContainer> nestedContainer(CodingKeyRef key) override {
    return checked(key).nestedContainer(key);
  }
  std::unique_ptr<UnkeyedEncodingContainer> nestedUnkeyedContainer(CodingKeyRef key) override {
    return checked(key).nestedUnkeyedContainer(key);
  }
  std::unique_ptr<Encoder> superEncoder() override { return base_->superEncoder(); }
  std::unique_ptr<Encoder> superEncoder(CodingKeyRef key) override {
    return checked(key).superEncoder(key);
  }

 private:
  KeyedEncodingContainer& checked(const CodingKeyRef& key) const {
    if (isWrapperMember(key)) {
      CodingPath path = base_->codingPath();
      path.emplace_back(key.stringValue);
      throw EncodingError::invalidValue(
          typeNameOf(typeid(value_)),
          {std::move(path), "A type-preserved value may not write the member \"" +
                                std::string(key.stringValue) +
                                "\": its wrapper writes it with the value's type."});
    }
    return *base_;
  }
  std::unique_ptr<KeyedEncodingContainer> base_;
  const TypePreservingCodable& value_;
};

// The encoder a type-preserved value writes its members through: the same
// object as the type's name, and nothing else (a scalar or a list would
// replace or lose the name).
class ObjectOnlyEncoder final : public Encoder {
 public:
  ObjectOnlyEncoder(Encoder& base, const TypePreservingCodable& value)
      : base_(base), value_(value) {}
  [[nodiscard]] CodingPath codingPath() const override { return base_.codingPath(); }
  [[nodiscard]] const CodingUserInfo& userInfo() const override { return base_.userInfo(); }
  std::unique_ptr<KeyedEncodingContainer> container() override {
    return std::make_unique<WrappedMembersContainer>(base_.container(), value_);
  }
  std::unique_ptr<UnkeyedEncodingContainer> unkeyedContainer() override { notAnObject(); }
  std::unique_ptr<SingleValueEncodingContainer> singleValueContainer() override { notAnObject(); }

 private:
  [[noreturn]] void notAnObject() const {
    throw EncodingError::invalidValue(
        typeNameOf(typeid(value_)),
        {base_.codingPath(),
         "A type-preserved value must encode as an object: its type's name is written beside "
         "its members."});
  }
  Encoder& base_;
  const TypePreservingCodable& value_;
};

}  // namespace

void encodeTypePreserved(Encoder& e, const TypePreservingCodable& value,
                         CodableTypeStrategy strategy, AdapterLookup lookup) {
  auto c = e.container();
  const TypePreservingCodingAdapters* adapters = typePreservingCodingAdapters(e);
  const auto adapter = adapters ? lookup(*adapters) : nullptr;
  const std::optional<CodableTypeSignature> signature = value.codableTypeSignature();
  if (!signature) {
    throw EncodingError::invalidValue(
        typeNameOf(typeid(value)),
        {e.codingPath(),
         "The value's run-time type has no name in data: specialise CodableTypeNameOf for it and "
         "derive it through TypePreserving, or register it with its family's adapter."});
  }
  const CodableTypeAlias* alias = adapter ? adapter->findAlias(signature->rawValue) : nullptr;
  switch (strategy) {
    case CodableTypeStrategy::auto_:
      break;
    case CodableTypeStrategy::signature:
      alias = nullptr;
      break;
    case CodableTypeStrategy::alias:
      if (!adapter) throw TypePreservingCodingAdapterError::adapterWasNotProvided(e.codingPath());
      if (alias == nullptr) {
        throw TypePreservingCodingAdapterError::noAliasRegisteredForSignature(*signature,
                                                                              e.codingPath());
      }
      break;
  }
  if (alias != nullptr) {
    c->encode(alias->rawValue, kPreservedTypeKey);
    c->encode(CodableTypeStrategy::alias, kTypePreservingStrategyKey);
  } else {
    c->encode(signature->rawValue, kPreservedTypeKey);
    c->encode(CodableTypeStrategy::signature, kTypePreservingStrategyKey);
  }
  ObjectOnlyEncoder members(e, value);
  value.encode(members);
}

std::shared_ptr<TypePreservingCodable> decodeTypePreserved(Decoder& d, AdapterLookup lookup,
                                                           CodableTypeStrategy* strategyOut,
                                                           AdapterCache* cache) {
  auto c = d.container();
  AdapterCache found;
  AdapterCache& adapter = cache != nullptr ? *cache : found;
  if (!adapter) {
    adapter = lookup(typePreservingCodingAdapters(d));
    if (!adapter) throw TypePreservingCodingAdapterError::adapterWasNotProvided(d.codingPath());
  }
  // Read as a number in place: the strategy is read for every value.
  std::uint64_t number = 0;
  c->decodePrimitive(kTypePreservingStrategyKey, PrimitiveRef(&number));
  if (number > 2) {
    throw DecodingError::dataCorrupted(
        {appended(d.codingPath(), kTypePreservingStrategyKey), invalidStrategyDescription(number)});
  }
  const auto strategy = static_cast<CodableTypeStrategy>(number);

  const MetaCodable* meta = nullptr;
  if (strategy == CodableTypeStrategy::auto_) {
    // An alias when the name resolves as one; anything else is read again
    // as a signature below, whose failures are reported.
    std::string name;
    bool read = false;
    try {
      read = c->decodePrimitiveIfPresent(kPreservedTypeKey, PrimitiveRef(&name));
    } catch (const DecodingError&) {
    }
    if (read) meta = adapter->findMetaCodableByAlias(name);
  }
  if (meta == nullptr) {
    const auto name = c->decode<std::string>(kPreservedTypeKey);
    if (strategy == CodableTypeStrategy::alias) {
      meta = adapter->findMetaCodableByAlias(name);
      if (meta == nullptr) {
        throw TypePreservingCodingAdapterError::noSignatureRegisteredForAlias(
            CodableTypeAlias(name), appended(d.codingPath(), kPreservedTypeKey));
      }
    } else {
      meta = adapter->findMetaCodable(name);
      if (meta == nullptr) {
        throw TypePreservingCodingAdapterError::noDecodableRegisteredForSignature(
            CodableTypeSignature(name), appended(d.codingPath(), kPreservedTypeKey));
      }
    }
  }
  if (strategyOut != nullptr) *strategyOut = strategy;
  // The type's own decoding reads the object already opened.
  ReopenedDecoder members(d, std::move(c));
  return meta->decode(members);
}

void throwEmptyWrapper(const Encoder& e) {
  throw EncodingError::invalidValue(
      "nil", {e.codingPath(), "A type-preserving wrapper has no value to encode."});
}

void throwNotRequestedType(const Decoder& d, const std::string& requested,
                           const TypePreservingCodable& found) {
  const auto name = found.codableTypeSignature();
  throw DecodingError::typeMismatch(
      requested,
      {d.codingPath(), "Expected to decode " + requested + " but found " +
                           (name ? name->rawValue : typeNameOf(typeid(found))) + " instead."});
}

}  // namespace quarn::detail
