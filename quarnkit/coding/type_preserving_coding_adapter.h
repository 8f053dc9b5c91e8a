/// @file
/// Type-preserving coding: values whose concrete type is known only at run
/// time are written together with their type's name and read back as that
/// same type.
///
/// A family of such values has a common base deriving from
/// TypePreservingCodable. A TypePreservingCodingAdapter is the family's
/// registry: its concrete types by signature, and the aliases the application
/// gave them. TypePreservingCodingAdapters maps each family (its provider
/// type, usually the base) to its adapter and travels in the coders' settings
/// under "typePreservingCodingAdapters".
///
/// ```
///   auto shapes = std::make_shared<quarn::TypePreservingCodingAdapter>();
///   shapes->register_<Circle>().register_<Square>("square");
///   auto adapters = std::make_shared<quarn::TypePreservingCodingAdapters>();
///   adapters->register_<Shape>(shapes);
///   decoder.userInfo.set(std::string(quarn::kTypePreservingCodingAdaptersKey), adapters);
/// ```
///
/// Concrete types need a name in data (codable_type_signature.h), a decoded
/// form (static decode, or a shared_ptr-returning one) and encode(); deriving
/// them through TypePreserving<Self, Base> lets each value name its own type
/// wherever it is encoded. The wrappers and the container operations are in
/// type_preserving_coding.h.
///
/// Kinds: TypePreservingCodingAdapter is a value (a copy shares nothing with
/// its source, so a template adapter can be copied and extended);
/// TypePreservingCodingAdapters is a unique object, shared with the coders
/// through a shared_ptr in their settings.
///
/// Set-up, then use: both registries are filled before coding starts. The
/// first look-up (any coding that reaches it, or a find/metaCodable call)
/// freezes a registry; registering into a frozen one throws
/// TypePreservingCodingAdapterRegistrationError (registeredAfterFirstUse) and
/// changes nothing, so data already decoded and data decoded next are read
/// with the same names. Registration may come from any thread and is
/// serialised; look-ups after the freeze take no lock. A registry is never
/// re-pointed silently: a name that another type already holds is refused
/// with the same error, and registering the same type again changes nothing.
#pragma once

#include <concepts>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <typeindex>
#include <typeinfo>
#include <unordered_map>

#include "quarnkit/coding/codable_type_signature.h"
#include "quarnkit/coding/coding_error.h"
#include "quarnkit/coding/decoder.h"
#include "quarnkit/coding/encoder.h"
#include "quarnkit/core/registry_freeze.h"

namespace quarn {

/// The settings key of the adapters (a shared_ptr<TypePreservingCodingAdapters>).
inline constexpr std::string_view kTypePreservingCodingAdaptersKey = "typePreservingCodingAdapters";

/// The root of type-preserved families: a family's base derives from it.
class TypePreservingCodable {
 public:
  virtual ~TypePreservingCodable() = default;
  /// Writes the value's own members; a type-preserved value encodes as an
  /// object, to which the type's name is added.
  virtual void encode(Encoder& encoder) const = 0;
  /// The signature of this value's concrete type, written beside it. By
  /// default the name its run-time type was given in this process (by
  /// registering it, or CodableTypeSignature::of); types deriving through
  /// TypePreserving name themselves, registered or not.
  [[nodiscard]] virtual std::optional<CodableTypeSignature> codableTypeSignature() const {
    return CodableTypeSignature::ofType(typeid(*this));
  }

 protected:
  TypePreservingCodable() = default;
  /// Copied as a value, by subclasses.
  TypePreservingCodable(const TypePreservingCodable&) = default;
  /// Copied as a value, by subclasses.
  TypePreservingCodable& operator=(const TypePreservingCodable&) = default;
};

/// A concrete type of a family that names itself in data, so that its
/// values are written with their signature even in a process that never
/// registered the type (one that only encodes):
///
/// ```
///   struct Circle : quarn::TypePreserving<Circle, Shape> { ... };
/// ```
///
/// A subclass without a TypePreserving of its own is not given Self's name.
template <class Self, class Base = TypePreservingCodable>
class TypePreserving : public Base {
 public:
  using Base::Base;
  [[nodiscard]] std::optional<CodableTypeSignature> codableTypeSignature() const override {
    if (typeid(*this) != typeid(Self)) return TypePreservingCodable::codableTypeSignature();
    return CodableTypeSignature::of<Self>();
  }
};

/// What a wrapper writes under "__preserved_type", in data as its number.
enum class CodableTypeStrategy : std::uint8_t {
  /// The alias when one is registered, else the signature.
  auto_ = 0,
  signature = 1,
  /// The alias, which must exist.
  alias = 2,
};

/// Decodes a strategy from its number.
template <>
struct Decodable<CodableTypeStrategy> {
  /// A number other than 0, 1, 2 is dataCorrupted.
  static CodableTypeStrategy decode(Decoder& d);
};
/// The debug description of a strategy number other than 0, 1, 2.
std::string invalidStrategyDescription(std::uint64_t number);
/// Encodes a strategy as its number.
template <>
struct Encodable<CodableTypeStrategy> {
  /// Writes the strategy's number.
  static void encode(CodableTypeStrategy strategy, Encoder& e);
};

/// Why a type could not be found or named. It is a DecodingError too
/// (dataCorrupted at the coding path where it arose), so every failure of
/// decoding is one; encoding raises the same cases.
class TypePreservingCodingAdapterError final : public DecodingError {
 public:
  /// Which type could not be found or named.
  enum class Case {
    noDecodableRegisteredForSignature,
    noSignatureRegisteredForAlias,
    noAliasRegisteredForSignature,
    adapterWasNotProvided,
  };

  /// No type is registered under `signature` (at `path`).
  static TypePreservingCodingAdapterError noDecodableRegisteredForSignature(
      CodableTypeSignature signature, CodingPath path = {});
  /// No signature is registered for `alias` (at `path`).
  static TypePreservingCodingAdapterError noSignatureRegisteredForAlias(CodableTypeAlias alias,
                                                                        CodingPath path = {});
  /// No alias is registered for `signature`, which the alias strategy needs (at `path`).
  static TypePreservingCodingAdapterError noAliasRegisteredForSignature(
      CodableTypeSignature signature, CodingPath path = {});
  /// The coder's settings hold no adapter for the family (at `path`).
  static TypePreservingCodingAdapterError adapterWasNotProvided(CodingPath path = {});

  /// Which type could not be found or named.
  [[nodiscard]] Case errorCase() const { return case_; }
  /// The payload of the signature cases.
  [[nodiscard]] const std::optional<CodableTypeSignature>& signature() const { return signature_; }
  /// The payload of noSignatureRegisteredForAlias.
  [[nodiscard]] const std::optional<CodableTypeAlias>& alias() const { return alias_; }

  /// "noSignatureRegisteredForAlias(circle) at shapes[1].__preserved_type".
  [[nodiscard]] std::string description() const override;

 private:
  TypePreservingCodingAdapterError(Case c, std::optional<CodableTypeSignature> signature,
                                   std::optional<CodableTypeAlias> alias, CodingPath path,
                                   std::string debugDescription);
  Case case_;
  std::optional<CodableTypeSignature> signature_;
  std::optional<CodableTypeAlias> alias_;
};

/// Why a registration was refused. Registration is set-up, so these are the
/// host's mistakes; the registry is left as it was.
class TypePreservingCodingAdapterRegistrationError final : public Error {
 public:
  /// Why the registration was refused.
  enum class Case {
    /// The signature is registered for another C++ type.
    signatureRegisteredForAnotherType,
    /// The alias names another signature.
    aliasRegisteredForAnotherSignature,
    /// The signature already has another alias (a type has one alias, the
    /// one its values are written with).
    anotherAliasRegisteredForSignature,
    /// The registry was used for coding (or looked up) already.
    registeredAfterFirstUse,
  };

  /// The refusal `c` of registering `subject`, held by `holder`.
  TypePreservingCodingAdapterRegistrationError(Case c, std::string subject, std::string holder);

  /// Why the registration was refused.
  [[nodiscard]] Case errorCase() const { return case_; }
  /// What was being registered: the alias, the signature or the family.
  [[nodiscard]] const std::string& subject() const { return subject_; }
  /// What already holds it (a signature, an alias, a type), when known.
  [[nodiscard]] const std::string& holder() const { return holder_; }

  /// "aliasRegisteredForAnotherSignature(circle, held by Geometry.Square)".
  [[nodiscard]] std::string description() const override;

 private:
  Case case_;
  std::string subject_;
  std::string holder_;
};

/// A registered concrete type: its signature, its C++ type and how an
/// instance is decoded.
struct MetaCodable {
  /// The type's name in data.
  CodableTypeSignature signature;
  /// The C++ type.
  const std::type_info* type = nullptr;
  /// Decodes an instance of the type, shared.
  std::shared_ptr<TypePreservingCodable> (*decode)(Decoder&) = nullptr;
};

/// A concrete type of a family: named in data, decodable (by value or as a
/// shared instance) and a TypePreservingCodable.
template <class T>
concept TypePreservedType = std::derived_from<T, TypePreservingCodable> &&
    CodableTypeNamedType<T> && DecodableType<std::shared_ptr<T>>;

namespace detail {
template <TypePreservedType T>
std::shared_ptr<TypePreservingCodable> decodeTypePreservedInstance(Decoder& d) {
  return d.decode<std::shared_ptr<T>>();
}
}  // namespace detail

/// The registry of one family: concrete types by signature and aliases.
/// A value: copies are independent (and open for registration).
class TypePreservingCodingAdapter {
 public:
  TypePreservingCodingAdapter() = default;
  /// An open copy of `other`'s registrations.
  TypePreservingCodingAdapter(const TypePreservingCodingAdapter& other);
  /// Takes `other`'s registrations; refused (registeredAfterFirstUse) once this adapter is frozen.
  TypePreservingCodingAdapter& operator=(const TypePreservingCodingAdapter& other);
  ~TypePreservingCodingAdapter() = default;

  /// Registers T under its signature; registering it again changes nothing.
  /// Throws TypePreservingCodingAdapterRegistrationError when the signature
  /// is registered for another type or the adapter is frozen. Returns the
  /// adapter for chaining.
  template <TypePreservedType T>
  TypePreservingCodingAdapter& register_() {
    registerType(MetaCodable{CodableTypeSignature::of<T>(), &typeid(T),
                             &detail::decodeTypePreservedInstance<T>},
                 nullptr);
    return *this;
  }
  /// As register_<T>(), and files `alias` for T's signature both ways. An
  /// alias held by another signature, or a second alias for T, is refused
  /// (and T is then not registered either).
  template <TypePreservedType T>
  TypePreservingCodingAdapter& register_(const CodableTypeAlias& alias) {
    registerType(MetaCodable{CodableTypeSignature::of<T>(), &typeid(T),
                             &detail::decodeTypePreservedInstance<T>},
                 &alias);
    return *this;
  }

  /// Whether the adapter has been used and takes no more registrations.
  [[nodiscard]] bool isFrozen() const { return freeze_.frozen(); }

  // The look-ups freeze the adapter. Pointers they return stay valid for the
  // adapter's lifetime.

  /// The type registered under `signature`; noDecodableRegisteredForSignature
  /// when there is none.
  [[nodiscard]] const MetaCodable& metaCodable(const CodableTypeSignature& signature) const;
  /// The type registered for `alias`: noSignatureRegisteredForAlias, or
  /// noDecodableRegisteredForSignature for its signature.
  [[nodiscard]] const MetaCodable& metaCodable(const CodableTypeAlias& alias) const;

  /// The look-ups without failing (nothing when missing).
  [[nodiscard]] const MetaCodable* findMetaCodable(std::string_view signature) const;
  /// The signature an alias names, or null.
  [[nodiscard]] const CodableTypeSignature* findSignature(std::string_view alias) const;
  /// The type an alias names, in one look-up (null when the alias is not
  /// registered).
  [[nodiscard]] const MetaCodable* findMetaCodableByAlias(std::string_view alias) const;
  /// The alias filed for a signature, or null.
  [[nodiscard]] const CodableTypeAlias* findAlias(std::string_view signature) const;

 private:
  void registerType(const MetaCodable& meta, const CodableTypeAlias* alias);

  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept {
      return std::hash<std::string_view>()(s);
    }
  };
  template <class V>
  using ByName = std::unordered_map<std::string, V, Hash, std::equal_to<>>;

  RegistryFreeze freeze_;
  ByName<MetaCodable> metaCodablesBySignature_;
  // An alias's type, held by value: an alias is only registered with its
  // type and neither changes afterwards, so the copy never goes stale, and a
  // copied adapter points into nothing of its source.
  ByName<MetaCodable> metaCodablesByAliases_;
  ByName<CodableTypeAlias> aliasesBySignatures_;
};

/// The adapters of every family, by provider type. A unique object: the
/// coders share it through a shared_ptr in their settings.
class TypePreservingCodingAdapters {
 public:
  TypePreservingCodingAdapters() = default;
  TypePreservingCodingAdapters(const TypePreservingCodingAdapters&) = delete;
  TypePreservingCodingAdapters& operator=(const TypePreservingCodingAdapters&) = delete;

  /// Files `adapter` for the family P, replacing the family's earlier
  /// adapter; refused once frozen (registeredAfterFirstUse). The adapters an
  /// adapter holds are refused when they conflict; a family's adapter is the
  /// last one filed before first use.
  template <class P>
  void register_(std::shared_ptr<const TypePreservingCodingAdapter> adapter) {
    file(typeid(P), std::move(adapter));
  }
  /// The same as register_, for callers that mean to replace the family's
  /// adapter. Refused once frozen.
  template <class P>
  void replace(std::shared_ptr<const TypePreservingCodingAdapter> adapter) {
    file(typeid(P), std::move(adapter));
  }
  /// The adapter of the family P, or null. Freezes the adapters.
  template <class P>
  [[nodiscard]] std::shared_ptr<const TypePreservingCodingAdapter> adapter() const {
    return find(typeid(P));
  }

  /// Whether the adapters have been used and take no more registrations.
  [[nodiscard]] bool isFrozen() const { return freeze_.frozen(); }

 private:
  void file(const std::type_info& family,
            std::shared_ptr<const TypePreservingCodingAdapter> adapter);
  [[nodiscard]] std::shared_ptr<const TypePreservingCodingAdapter> find(
      const std::type_info& family) const;

  RegistryFreeze freeze_;
  std::unordered_map<std::type_index, std::shared_ptr<const TypePreservingCodingAdapter>> storage_;
};

/// How a family P finds its adapter among the adapters: by default the
/// adapter filed for P. Specialise to choose another.
template <class P>
struct TypePreservingCodingAdapterProvider {
  /// The adapter filed for P, or null.
  static std::shared_ptr<const TypePreservingCodingAdapter> adapter(
      const TypePreservingCodingAdapters& adapters) {
    return adapters.template adapter<P>();
  }
};

/// The adapters in a decoder's settings; adapterWasNotProvided when the
/// entry is missing or of another kind.
const TypePreservingCodingAdapters& typePreservingCodingAdapters(const Decoder& d);
/// The adapters in an encoder's settings, or null.
const TypePreservingCodingAdapters* typePreservingCodingAdapters(const Encoder& e);

/// The adapter of the family P; adapterWasNotProvided when there is none.
template <class P>
std::shared_ptr<const TypePreservingCodingAdapter> typePreservingCodingAdapter(const Decoder& d) {
  auto adapter = TypePreservingCodingAdapterProvider<P>::adapter(typePreservingCodingAdapters(d));
  if (!adapter) throw TypePreservingCodingAdapterError::adapterWasNotProvided(d.codingPath());
  return adapter;
}
/// The adapter of the family P for encoding; adapterWasNotProvided when there is none.
template <class P>
std::shared_ptr<const TypePreservingCodingAdapter> typePreservingCodingAdapter(const Encoder& e) {
  const TypePreservingCodingAdapters* adapters = typePreservingCodingAdapters(e);
  auto adapter = adapters ? TypePreservingCodingAdapterProvider<P>::adapter(*adapters) : nullptr;
  if (!adapter) throw TypePreservingCodingAdapterError::adapterWasNotProvided(e.codingPath());
  return adapter;
}

}  // namespace quarn
