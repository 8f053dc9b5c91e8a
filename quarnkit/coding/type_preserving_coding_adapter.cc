#include "quarnkit/coding/type_preserving_coding_adapter.h"

#include <fmt/format.h>

#include "quarnkit/core/type_name.h"

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

TypePreservingCodingAdapterRegistrationError::TypePreservingCodingAdapterRegistrationError(
    Case c, std::string subject, std::string holder)
    : case_(c), subject_(std::move(subject)), holder_(std::move(holder)) {}

std::string TypePreservingCodingAdapterRegistrationError::description() const {
  const char* name = "";
  switch (case_) {
    case Case::signatureRegisteredForAnotherType:
      name = "signatureRegisteredForAnotherType";
      break;
    case Case::aliasRegisteredForAnotherSignature:
      name = "aliasRegisteredForAnotherSignature";
      break;
    case Case::anotherAliasRegisteredForSignature:
      name = "anotherAliasRegisteredForSignature";
      break;
    case Case::registeredAfterFirstUse:
      name = "registeredAfterFirstUse";
      break;
  }
  std::string out = std::string(name) + "(" + subject_;
  if (!holder_.empty()) out += ", held by " + holder_;
  return out + ")";
}

TypePreservingCodingAdapter::TypePreservingCodingAdapter(const TypePreservingCodingAdapter& other) {
  const auto lock = other.freeze_.lock();
  metaCodablesBySignature_ = other.metaCodablesBySignature_;
  metaCodablesByAliases_ = other.metaCodablesByAliases_;
  aliasesBySignatures_ = other.aliasesBySignatures_;
}

TypePreservingCodingAdapter& TypePreservingCodingAdapter::operator=(
    const TypePreservingCodingAdapter& other) {
  if (this == &other) return *this;
  // Assigning is registering everything anew: refused once frozen, since
  // pointers handed out by look-ups point into these maps.
  TypePreservingCodingAdapter copy(other);
  const auto lock = freeze_.lock();
  if (freeze_.frozen()) {
    throw TypePreservingCodingAdapterRegistrationError(
        TypePreservingCodingAdapterRegistrationError::Case::registeredAfterFirstUse,
        "the whole adapter", "");
  }
  metaCodablesBySignature_ = std::move(copy.metaCodablesBySignature_);
  metaCodablesByAliases_ = std::move(copy.metaCodablesByAliases_);
  aliasesBySignatures_ = std::move(copy.aliasesBySignatures_);
  return *this;
}

void TypePreservingCodingAdapter::registerType(const MetaCodable& meta,
                                               const CodableTypeAlias* alias) {
  using Refusal = TypePreservingCodingAdapterRegistrationError;
  const std::string& signature = meta.signature.rawValue;
  const auto lock = freeze_.lock();
  if (freeze_.frozen()) {
    throw Refusal(Refusal::Case::registeredAfterFirstUse,
                  alias != nullptr ? alias->rawValue : signature, "");
  }
  // Every check before any change: a refused registration leaves nothing.
  if (const auto it = metaCodablesBySignature_.find(signature);
      it != metaCodablesBySignature_.end() && *it->second.type != *meta.type) {
    throw Refusal(Refusal::Case::signatureRegisteredForAnotherType, signature,
                  typeNameOf(*it->second.type));
  }
  if (alias != nullptr) {
    if (const auto it = metaCodablesByAliases_.find(alias->rawValue);
        it != metaCodablesByAliases_.end() && it->second.signature.rawValue != signature) {
      throw Refusal(Refusal::Case::aliasRegisteredForAnotherSignature, alias->rawValue,
                    it->second.signature.rawValue);
    }
    if (const auto it = aliasesBySignatures_.find(signature);
        it != aliasesBySignatures_.end() && it->second != *alias) {
      throw Refusal(Refusal::Case::anotherAliasRegisteredForSignature, alias->rawValue,
                    it->second.rawValue);
    }
  }
  metaCodablesBySignature_.try_emplace(signature, meta);
  if (alias != nullptr) {
    metaCodablesByAliases_.try_emplace(alias->rawValue, meta);
    aliasesBySignatures_.try_emplace(signature, *alias);
  }
}

const MetaCodable* TypePreservingCodingAdapter::findMetaCodable(std::string_view signature) const {
  freeze_.freeze();
  const auto it = metaCodablesBySignature_.find(signature);
  return it == metaCodablesBySignature_.end() ? nullptr : &it->second;
}

const CodableTypeSignature* TypePreservingCodingAdapter::findSignature(
    std::string_view alias) const {
  const MetaCodable* meta = findMetaCodableByAlias(alias);
  return meta == nullptr ? nullptr : &meta->signature;
}

const MetaCodable* TypePreservingCodingAdapter::findMetaCodableByAlias(
    std::string_view alias) const {
  freeze_.freeze();
  const auto it = metaCodablesByAliases_.find(alias);
  return it == metaCodablesByAliases_.end() ? nullptr : &it->second;
}

const CodableTypeAlias* TypePreservingCodingAdapter::findAlias(std::string_view signature) const {
  freeze_.freeze();
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

void TypePreservingCodingAdapters::file(
    const std::type_info& family, std::shared_ptr<const TypePreservingCodingAdapter> adapter) {
  using Refusal = TypePreservingCodingAdapterRegistrationError;
  const auto lock = freeze_.lock();
  if (freeze_.frozen())
    throw Refusal(Refusal::Case::registeredAfterFirstUse, typeNameOf(family), "");
  // Before first use nothing holds the family's adapter yet, so filing
  // another one for it replaces it, as registering always has.
  storage_.insert_or_assign(std::type_index(family), std::move(adapter));
}

std::shared_ptr<const TypePreservingCodingAdapter> TypePreservingCodingAdapters::find(
    const std::type_info& family) const {
  freeze_.freeze();
  const auto it = storage_.find(std::type_index(family));
  return it == storage_.end() ? nullptr : it->second;
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
