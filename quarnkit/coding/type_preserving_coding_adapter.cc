#include "quarnkit/coding/type_preserving_coding_adapter.h"

#include <fmt/format.h>

namespace quarn {

std::string invalidStrategyDescription(std::uint64_t number) {
  return fmt::format("Cannot initialize CodableTypeStrategy from invalid UInt value {}", number);
}

CodableTypeStrategy Decodable<CodableTypeStrategy>::decode(Decoder& d) {
  const auto number = d.decode<std::uint64_t>();
  if (number > 2)
    throw DecodingError::dataCorrupted({d.codingPath(), invalidStrategyDescription(number)});
  return static_cast<CodableTypeStrategy>(number);
}

void Encodable<CodableTypeStrategy>::encode(CodableTypeStrategy strategy, Encoder& e) {
  e.encode(static_cast<std::uint64_t>(strategy));
}

TypePreservingCodingAdapterError::TypePreservingCodingAdapterError(
    Case c, std::optional<CodableTypeSignature> signature, std::optional<CodableTypeAlias> alias,
    CodingPath path, std::string debugDescription)
    : DecodingError(Kind::dataCorrupted, {}, std::nullopt,
                    {std::move(path), std::move(debugDescription)}),
      case_(c),
      signature_(std::move(signature)),
      alias_(std::move(alias)) {}

TypePreservingCodingAdapterError
TypePreservingCodingAdapterError::noDecodableRegisteredForSignature(CodableTypeSignature signature,
                                                                    CodingPath path) {
  std::string text =
      "No decodable type is registered for the signature \"" + signature.rawValue + "\".";
  return {Case::noDecodableRegisteredForSignature, std::move(signature), std::nullopt,
          std::move(path), std::move(text)};
}

TypePreservingCodingAdapterError TypePreservingCodingAdapterError::noSignatureRegisteredForAlias(
    CodableTypeAlias alias, CodingPath path) {
  std::string text = "No type is registered for the alias \"" + alias.rawValue + "\".";
  return {Case::noSignatureRegisteredForAlias, std::nullopt, std::move(alias), std::move(path),
          std::move(text)};
}

TypePreservingCodingAdapterError TypePreservingCodingAdapterError::noAliasRegisteredForSignature(
    CodableTypeSignature signature, CodingPath path) {
  std::string text = "No alias is registered for the signature \"" + signature.rawValue + "\".";
  return {Case::noAliasRegisteredForSignature, std::move(signature), std::nullopt, std::move(path),
          std::move(text)};
}

TypePreservingCodingAdapterError TypePreservingCodingAdapterError::adapterWasNotProvided(
    CodingPath path) {
  return {Case::adapterWasNotProvided, std::nullopt, std::nullopt, std::move(path),
          "No type-preserving coding adapter was provided for the family."};
}

std::string TypePreservingCodingAdapterError::description() const {
  std::string out;
  switch (case_) {
    case Case::noDecodableRegisteredForSignature:
      out = "noDecodableRegisteredForSignature(" + signature_->rawValue + ")";
      break;
    case Case::noSignatureRegisteredForAlias:
      out = "noSignatureRegisteredForAlias(" + alias_->rawValue + ")";
      break;
    case Case::noAliasRegisteredForSignature:
      out = "noAliasRegisteredForSignature(" + signature_->rawValue + ")";
      break;
    case Case::adapterWasNotProvided:
      out = "adapterWasNotProvided";
      break;
  }
  const std::string path = codingPathDescription(codingPath());
  if (!path.empty()) out += " at " + path;
  return out;
}

void TypePreservingCodingAdapter::registerMeta(MetaCodable meta) {
  std::string key = meta.signature.rawValue;
  metaCodablesBySignature_.insert_or_assign(std::move(key), std::move(meta));
}

void TypePreservingCodingAdapter::registerAlias(const CodableTypeAlias& alias,
                                                const CodableTypeSignature& signature) {
  signaturesByAliases_.insert_or_assign(alias.rawValue,
                                        AliasEntry{signature, findMetaCodable(signature.rawValue)});
  aliasesBySignatures_.insert_or_assign(signature.rawValue, alias);
}

const MetaCodable* TypePreservingCodingAdapter::findMetaCodable(std::string_view signature) const {
  const auto it = metaCodablesBySignature_.find(signature);
  return it == metaCodablesBySignature_.end() ? nullptr : &it->second;
}

const CodableTypeSignature* TypePreservingCodingAdapter::findSignature(
    std::string_view alias) const {
  const auto it = signaturesByAliases_.find(alias);
  return it == signaturesByAliases_.end() ? nullptr : &it->second.signature;
}

const MetaCodable* TypePreservingCodingAdapter::findMetaCodableByAlias(
    std::string_view alias) const {
  const auto it = signaturesByAliases_.find(alias);
  return it == signaturesByAliases_.end() ? nullptr : it->second.meta;
}

const CodableTypeAlias* TypePreservingCodingAdapter::findAlias(std::string_view signature) const {
  const auto it = aliasesBySignatures_.find(signature);
  return it == aliasesBySignatures_.end() ? nullptr : &it->second;
}

const MetaCodable& TypePreservingCodingAdapter::metaCodable(
    const CodableTypeSignature& signature) const {
  if (const MetaCodable* meta = findMetaCodable(signature.rawValue)) return *meta;
  throw TypePreservingCodingAdapterError::noDecodableRegisteredForSignature(signature);
}

const MetaCodable& TypePreservingCodingAdapter::metaCodable(const CodableTypeAlias& alias) const {
  const CodableTypeSignature* signature = findSignature(alias.rawValue);
  if (signature == nullptr)
    throw TypePreservingCodingAdapterError::noSignatureRegisteredForAlias(alias);
  return metaCodable(*signature);
}

namespace {

const TypePreservingCodingAdapters* adaptersIn(const CodingUserInfo& info) {
  // An entry of another kind counts as missing.
  using Shared = std::shared_ptr<TypePreservingCodingAdapters>;
  using SharedConst = std::shared_ptr<const TypePreservingCodingAdapters>;
  if (const auto* a = info.get<Shared>(kTypePreservingCodingAdaptersKey)) return a->get();
  if (const auto* a = info.get<SharedConst>(kTypePreservingCodingAdaptersKey)) return a->get();
  return nullptr;
}

}  // namespace

const TypePreservingCodingAdapters& typePreservingCodingAdapters(const Decoder& d) {
  const TypePreservingCodingAdapters* adapters = adaptersIn(d.userInfo());
  if (adapters == nullptr) {
    throw TypePreservingCodingAdapterError::adapterWasNotProvided(d.codingPath());
  }
  return *adapters;
}

const TypePreservingCodingAdapters* typePreservingCodingAdapters(const Encoder& e) {
  return adaptersIn(e.userInfo());
}

}  // namespace quarn
