// Drives random sequences of what a host does with type-preserving adapters:
// registering types and aliases (conflicting ones included), copying,
// assigning and dropping adapters, filing them for a family, and decoding
// and encoding through them. A model of every registry says what each step
// must give: the decoded type, the text written, or the registration error
// and its case. Any difference traps; AddressSanitizer catches an adapter
// that reads what another one owned.
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "event_bytes.h"
#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/coding/json_encoder.h"
#include "quarnkit/coding/type_preserving_coding.h"

namespace fuzzunits {

struct Unit : quarn::TypePreservingCodable {
  [[nodiscard]] virtual int id() const = 0;
};

template <int I>
struct U final : quarn::TypePreserving<U<I>, Unit> {
  [[nodiscard]] int id() const override { return I; }
  static U decode(quarn::Decoder& d) {
    if (d.container()->decode<std::int64_t>("k") != 3) __builtin_trap();
    return {};
  }
  void encode(quarn::Encoder& e) const override { e.container()->encode(std::int64_t{3}, "k"); }
};

}  // namespace fuzzunits

// U<0> ... U<3> have names of their own; U<4> claims U<0>'s.
namespace quarn {
template <int I>
struct CodableTypeNameOf<fuzzunits::U<I>> {
  static std::string name() { return "Fuzz.U" + std::to_string(I == 4 ? 0 : I); }
};
}  // namespace quarn

namespace {

using fuzzunits::U;
using fuzzunits::Unit;
using quarn::CodableTypeAlias;
using quarn::CodableTypeStrategy;
using quarn::TypePreservingCodingAdapter;
using quarn::TypePreservingCodingAdapterError;
using quarn::TypePreservingCodingAdapters;
using RegistrationError = quarn::TypePreservingCodingAdapterRegistrationError;
using Case = RegistrationError::Case;

constexpr int kTypes = 5;
constexpr std::size_t kSlots = 4;

void check(bool ok) {
  if (!ok) __builtin_trap();
}

std::string signatureOf(int type) { return "Fuzz.U" + std::to_string(type == 4 ? 0 : type); }

void registerType(TypePreservingCodingAdapter& a, int type, const CodableTypeAlias* alias) {
  switch (type) {
    case 0:
      alias ? (void)a.register_<U<0>>(*alias) : (void)a.register_<U<0>>();
      break;
    case 1:
      alias ? (void)a.register_<U<1>>(*alias) : (void)a.register_<U<1>>();
      break;
    case 2:
      alias ? (void)a.register_<U<2>>(*alias) : (void)a.register_<U<2>>();
      break;
    case 3:
      alias ? (void)a.register_<U<3>>(*alias) : (void)a.register_<U<3>>();
      break;
    default:
      alias ? (void)a.register_<U<4>>(*alias) : (void)a.register_<U<4>>();
      break;
  }
}

std::shared_ptr<Unit> makeUnit(int type) {
  switch (type) {
    case 0:
      return std::make_shared<U<0>>();
    case 1:
      return std::make_shared<U<1>>();
    case 2:
      return std::make_shared<U<2>>();
    case 3:
      return std::make_shared<U<3>>();
    default:
      return std::make_shared<U<4>>();
  }
}

// What an adapter should hold.
struct Model {
  std::map<std::string, int> typeBySignature;
  std::map<std::string, std::string> signatureByAlias;
  std::map<std::string, std::string> aliasBySignature;
  bool frozen = false;

  // The refusal a registration must meet, or nothing when it must succeed.
  [[nodiscard]] std::optional<Case> refusal(int type, const std::string* alias) const {
    if (frozen) return Case::registeredAfterFirstUse;
    const std::string signature = signatureOf(type);
    if (auto it = typeBySignature.find(signature);
        it != typeBySignature.end() && it->second != type)
      return Case::signatureRegisteredForAnotherType;
    if (alias != nullptr) {
      if (auto it = signatureByAlias.find(*alias);
          it != signatureByAlias.end() && it->second != signature)
        return Case::aliasRegisteredForAnotherSignature;
      if (auto it = aliasBySignature.find(signature);
          it != aliasBySignature.end() && it->second != *alias)
        return Case::anotherAliasRegisteredForSignature;
    }
    return std::nullopt;
  }
  void apply(int type, const std::string* alias) {
    const std::string signature = signatureOf(type);
    typeBySignature.emplace(signature, type);
    if (alias != nullptr) {
      signatureByAlias.emplace(*alias, signature);
      aliasBySignature.emplace(signature, *alias);
    }
  }
  // The type data naming `name` with `strategy` decodes to, or -1.
  [[nodiscard]] int decoded(const std::string& name, int strategy) const {
    if (strategy != 1) {
      if (auto it = signatureByAlias.find(name); it != signatureByAlias.end())
        return typeBySignature.at(it->second);
      if (strategy == 2) return -1;
    }
    auto it = typeBySignature.find(name);
    return it == typeBySignature.end() ? -1 : it->second;
  }
};

struct Slot {
  std::shared_ptr<TypePreservingCodingAdapter> adapter;
  Model model;
};

std::shared_ptr<TypePreservingCodingAdapters> familyWith(
    std::shared_ptr<TypePreservingCodingAdapter> adapter) {
  auto adapters = std::make_shared<TypePreservingCodingAdapters>();
  adapters->register_<Unit>(std::move(adapter));
  return adapters;
}

template <class F>
std::optional<Case> refusalOf(F&& f) {
  try {
    f();
  } catch (const RegistrationError& e) {
    return e.errorCase();
  }
  return std::nullopt;
}

void decodeStep(quarn::fuzzing::EventBytes& in, Slot& slot) {
  const int strategy = static_cast<int>(in.choose(3));
  const std::string name = in.choose(2) == 0 ? "a" + std::to_string(in.choose(4))
                                             : signatureOf(static_cast<int>(in.choose(kTypes)));
  const std::string json = R"({"__preserved_type":")" + name +
                           R"(","__type_preserving_strategy":)" + std::to_string(strategy) +
                           R"(,"k":3})";
  quarn::JSONDecoder decoder;
  decoder.userInfo.set(std::string(quarn::kTypePreservingCodingAdaptersKey),
                       familyWith(slot.adapter));
  const int expected = slot.model.decoded(name, strategy);
  slot.model.frozen = true;
  try {
    const auto wrapper = decoder.decode<quarn::TypePreservingDecodeWrapper<Unit>>(json);
    const auto* unit = dynamic_cast<const Unit*>(wrapper.wrapped.get());
    check(unit != nullptr && unit->id() == expected);
    check(static_cast<int>(wrapper.strategy) == strategy);
  } catch (const TypePreservingCodingAdapterError& e) {
    check(expected == -1);
    check(e.errorCase() ==
          (strategy == 2
               ? TypePreservingCodingAdapterError::Case::noSignatureRegisteredForAlias
               : TypePreservingCodingAdapterError::Case::noDecodableRegisteredForSignature));
  }
}

void encodeStep(quarn::fuzzing::EventBytes& in, Slot& slot) {
  const int type = static_cast<int>(in.choose(kTypes));
  const auto strategy = static_cast<CodableTypeStrategy>(in.choose(3));
  quarn::JSONEncoder encoder;
  encoder.userInfo.set(std::string(quarn::kTypePreservingCodingAdaptersKey),
                       familyWith(slot.adapter));
  const std::string signature = signatureOf(type);
  const auto alias = slot.model.aliasBySignature.find(signature);
  const bool hasAlias = alias != slot.model.aliasBySignature.end();
  slot.model.frozen = true;
  const quarn::TypePreservingEncodeWrapper<Unit> wrapper{makeUnit(type), strategy};
  try {
    const std::string json = encoder.encode(wrapper);
    const bool aliased = hasAlias && strategy != CodableTypeStrategy::signature;
    check(strategy != CodableTypeStrategy::alias || hasAlias);
    check(json == R"({"__preserved_type":")" + (aliased ? alias->second : signature) +
                      R"(","__type_preserving_strategy":)" + (aliased ? "2" : "1") + R"(,"k":3})");
  } catch (const TypePreservingCodingAdapterError& e) {
    check(strategy == CodableTypeStrategy::alias && !hasAlias);
    check(e.errorCase() == TypePreservingCodingAdapterError::Case::noAliasRegisteredForSignature);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quarn::fuzzing::EventBytes in(data, size);
  std::vector<Slot> slots(1);
  slots[0].adapter = std::make_shared<TypePreservingCodingAdapter>();
  // The family's adapters, filed from the slots: which slot's adapter is
  // filed (by identity), and whether it was looked up.
  TypePreservingCodingAdapters family;
  std::shared_ptr<const TypePreservingCodingAdapter> filed;
  bool familyFrozen = false;

  for (int step = 0; step < 96 && !in.empty(); ++step) {
    Slot& slot = slots[in.choose(slots.size())];
    switch (in.choose(9)) {
      case 0:
      case 1: {  // register a type, with an alias or not
        const int type = static_cast<int>(in.choose(kTypes));
        const bool withAlias = in.choose(2) == 1;
        const std::string aliasName = "a" + std::to_string(in.choose(4));
        const CodableTypeAlias alias(aliasName);
        const std::optional<Case> expected =
            slot.model.refusal(type, withAlias ? &aliasName : nullptr);
        const std::optional<Case> got =
            refusalOf([&] { registerType(*slot.adapter, type, withAlias ? &alias : nullptr); });
        check(got == expected);
        if (!expected) slot.model.apply(type, withAlias ? &aliasName : nullptr);
        break;
      }
      case 2:  // copy an adapter
        if (slots.size() < kSlots) {
          Slot copy{std::make_shared<TypePreservingCodingAdapter>(*slot.adapter), slot.model};
          copy.model.frozen = false;
          slots.push_back(std::move(copy));
        }
        break;
      case 3:  // drop an adapter (the host's references; a filed one lives on)
        if (slots.size() > 1)
          slots.erase(slots.begin() + static_cast<long>(in.choose(slots.size())));
        break;
      case 4: {  // assign one adapter to another
        const Slot& source = slots[in.choose(slots.size())];
        const Model sourceModel = source.model;
        const auto got = refusalOf([&] { *slot.adapter = *source.adapter; });
        if (&source == &slot) {
          check(!got);
        } else if (slot.model.frozen) {
          check(got == Case::registeredAfterFirstUse);
        } else {
          check(!got);
          slot.model = sourceModel;
          slot.model.frozen = false;
        }
        break;
      }
      case 5:
        decodeStep(in, slot);
        break;
      case 6:
        encodeStep(in, slot);
        break;
      case 7: {  // file the slot's adapter for the family, or replace the filed one
        const bool replace = in.choose(2) == 1;
        const auto got = refusalOf([&] {
          if (replace) {
            family.replace<Unit>(slot.adapter);
          } else {
            family.register_<Unit>(slot.adapter);
          }
        });
        if (familyFrozen) {
          check(got == Case::registeredAfterFirstUse);
        } else {  // before first use, the last adapter filed is the family's
          check(!got);
          filed = slot.adapter;
        }
        break;
      }
      default: {  // look the family's adapter up, and use it
        check(family.adapter<Unit>() == filed);
        familyFrozen = true;
        if (filed) (void)filed->findMetaCodable(signatureOf(0));
        for (auto& s : slots) {
          if (s.adapter == filed) s.model.frozen = true;
        }
        break;
      }
    }
    for (const auto& s : slots) check(s.adapter->isFrozen() == s.model.frozen);
  }
  return 0;
}
