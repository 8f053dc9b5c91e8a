#include "quarnkit/coding/platform_decoder.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "quarnkit/coding/detail/variant_containers.h"
#include "quarnkit/platform/device.h"

namespace quarn {

std::string_view currentDeviceSuffix() {
  return platform::Device::current()->userInterfaceIdiom() == platform::UserInterfaceIdiom::tablet
             ? "ipad"
             : "iphone";
}

// ----- PlatformDecoder -----------------------------------------------------

PlatformDecoder::PlatformDecoder(Decoder& base, std::string separator, bool recursive)
    : PlatformDecoder(base, std::move(separator), recursive, currentDeviceSuffix()) {}

PlatformDecoder::PlatformDecoder(std::unique_ptr<Decoder> base, std::string separator,
                                 bool recursive)
    : PlatformDecoder(std::move(base), std::move(separator), recursive, currentDeviceSuffix()) {}

PlatformDecoder::PlatformDecoder(Decoder& base, std::string separator, bool recursive,
                                 std::string_view suffix)
    : base_(&base), separator_(std::move(separator)), recursive_(recursive), suffix_(suffix) {}

PlatformDecoder::PlatformDecoder(std::unique_ptr<Decoder> base, std::string separator,
                                 bool recursive, std::string_view suffix)
    : owned_(std::move(base)),
      base_(owned_.get()),
      separator_(std::move(separator)),
      recursive_(recursive),
      suffix_(suffix) {}

namespace {
// Whether the containers of `decoder` already resolve this layer (recursive
// device-variant decoders under it have it). A layer in force is not added
// again: it could only prefer doubled tails, and a recursive record that
// opens its own layer would otherwise add one per level.
bool hasLayer(Decoder& decoder, std::string_view separator, std::string_view suffix) {
  Decoder* d = &decoder;
  for (;;) {
    if (auto* p = dynamic_cast<PlatformDecoder*>(d)) {
      if (p->recursive() && p->separator() == separator && p->suffix() == suffix) return true;
      d = &p->base();
    } else if (auto* r = dynamic_cast<ReopenedDecoder*>(d)) {
      d = &r->base();
    } else {
      return false;
    }
  }
}
}  // namespace

std::unique_ptr<KeyedDecodingContainer> PlatformDecoder::container() {
  if (!recursive_) return base_->container();
  if (auto json = detail::variantKeyedContainer(*base_, separator_, suffix_, true)) return json;
  if (hasLayer(*base_, separator_, suffix_)) return base_->container();
  return std::make_unique<PlatformContainer<>>(base_->container(), separator_, true, suffix_);
}

std::unique_ptr<UnkeyedDecodingContainer> PlatformDecoder::unkeyedContainer() {
  if (!recursive_) return base_->unkeyedContainer();
  if (auto json = detail::variantUnkeyedContainer(*base_, separator_, suffix_)) return json;
  if (hasLayer(*base_, separator_, suffix_)) return base_->unkeyedContainer();
  return std::make_unique<PlatformUnkeyedContainer>(base_->unkeyedContainer(), separator_, true,
                                                    suffix_);
}

std::unique_ptr<KeyedDecodingContainer> detail::platformKeyedContainer(Decoder& decoder,
                                                                       std::string separator,
                                                                       bool recursive) {
  const std::string_view suffix = currentDeviceSuffix();
  if (auto json = variantKeyedContainer(decoder, separator, suffix, recursive)) return json;
  if (hasLayer(decoder, separator, suffix)) return decoder.container();
  return std::make_unique<PlatformContainer<>>(decoder.container(), std::move(separator), recursive,
                                               suffix);
}

std::unique_ptr<SingleValueDecodingContainer> PlatformDecoder::singleValueContainer() {
  return base_->singleValueContainer();
}

// ----- PlatformContainerBase -----------------------------------------------

// The key to use for a requested key: its device variant when the data has
// one, else the key itself. Short candidates are built on the stack.
class PlatformContainerBase::ResolvedKey {
 public:
  ResolvedKey(const PlatformContainerBase& c, CodingKeyRef key) : key_(key) {
    if (key.intValue || !c.mayHaveVariants()) return;
    const std::size_t n = key.stringValue.size() + c.separator_.size() + c.suffix_.size();
    char* out = n <= inline_.size() ? inline_.data() : (heap_.resize(n), heap_.data());
    // Views, not C strings: nothing here is null-terminated.
    // NOLINTBEGIN(bugprone-not-null-terminated-result)
    std::memcpy(out, key.stringValue.data(), key.stringValue.size());
    std::memcpy(out + key.stringValue.size(), c.separator_.data(), c.separator_.size());
    std::memcpy(out + key.stringValue.size() + c.separator_.size(), c.suffix_.data(),
                c.suffix_.size());
    // NOLINTEND(bugprone-not-null-terminated-result)
    const CodingKeyRef candidate(std::string_view(out, n));
    if (c.base_->contains(candidate)) key_ = candidate;
  }
  operator CodingKeyRef() const { return key_; }  // NOLINT

 private:
  std::array<char, 64> inline_;
  std::string heap_;
  CodingKeyRef key_;
};

bool PlatformContainerBase::mayHaveVariants() const {
  if (mayHaveVariants_ < 0) {
    // The tail anywhere after the first character: layers under this one
    // (the base's own) append their tails after it.
    std::string tail = separator_ + suffix_;
    bool found = false;
    base_->forEachKey([&](std::string_view k) {
      if (!found && k.size() > tail.size() && k.find(tail, 1) != std::string_view::npos) {
        found = true;
      }
    });
    mayHaveVariants_ = found ? 1 : 0;
  }
  return mayHaveVariants_ == 1;
}

PlatformContainerBase::PlatformContainerBase(std::unique_ptr<KeyedDecodingContainer> base,
                                             std::string separator, bool recursive,
                                             std::string_view suffix)
    : base_(std::move(base)),
      separator_(std::move(separator)),
      recursive_(recursive),
      suffix_(suffix) {}

bool PlatformContainerBase::contains(CodingKeyRef key) const {
  return base_->contains(ResolvedKey(*this, key));
}

void PlatformContainerBase::forEachMember(
    FunctionRef<void(std::string_view key, Decoder& value)> fn) {
  // The base's walk gives each member under the name it answers to there
  // (through any layers of the base); this layer then strips its own tail,
  // or skips a name whose variant stands for it.
  const std::size_t tail = separator_.size() + suffix_.size();
  const bool variants = mayHaveVariants();
  std::string candidate;
  base_->forEachMember([&](std::string_view key, Decoder& value) {
    std::string_view name = key;
    if (variants) {
      if (key.size() > tail && key.ends_with(suffix_) &&
          key.substr(key.size() - tail, separator_.size()) == separator_) {
        name.remove_suffix(tail);
      } else {
        candidate.assign(key).append(separator_).append(suffix_);
        if (base_->contains(candidate)) return;  // its device variant stands for it
      }
    }
    if (!recursive_) return fn(name, value);
    PlatformDecoder wrapped(value, separator_, true, suffix_);
    fn(name, wrapped);
  });
}

bool PlatformContainerBase::decodeNil(CodingKeyRef key) {
  return base_->decodeNil(ResolvedKey(*this, key));
}

void PlatformContainerBase::decodePrimitive(CodingKeyRef key, PrimitiveRef out) {
  base_->decodePrimitive(ResolvedKey(*this, key), out);
}

bool PlatformContainerBase::decodePrimitiveIfPresent(CodingKeyRef key, PrimitiveRef out) {
  return base_->decodePrimitiveIfPresent(ResolvedKey(*this, key), out);
}

void PlatformContainerBase::decodeNested(CodingKeyRef key, DecodeFn fn) {
  if (!recursive_) return base_->decodeNested(ResolvedKey(*this, key), fn);
  base_->decodeNested(ResolvedKey(*this, key), [&](Decoder& d) {
    PlatformDecoder wrapped(d, separator_, true, suffix_);
    fn(wrapped);
  });
}

bool PlatformContainerBase::decodeNestedIfPresent(CodingKeyRef key, DecodeFn fn) {
  if (!recursive_) return base_->decodeNestedIfPresent(ResolvedKey(*this, key), fn);
  return base_->decodeNestedIfPresent(ResolvedKey(*this, key), [&](Decoder& d) {
    PlatformDecoder wrapped(d, separator_, true, suffix_);
    fn(wrapped);
  });
}

std::unique_ptr<KeyedDecodingContainer> PlatformContainerBase::nestedContainer(CodingKeyRef key) {
  auto nested = base_->nestedContainer(ResolvedKey(*this, key));
  if (!recursive_) return nested;
  return std::make_unique<PlatformContainer<>>(std::move(nested), separator_, true, suffix_);
}

std::unique_ptr<UnkeyedDecodingContainer> PlatformContainerBase::nestedUnkeyedContainer(
    CodingKeyRef key) {
  auto nested = base_->nestedUnkeyedContainer(ResolvedKey(*this, key));
  if (!recursive_) return nested;
  return std::make_unique<PlatformUnkeyedContainer>(std::move(nested), separator_, true, suffix_);
}

std::unique_ptr<Decoder> PlatformContainerBase::superDecoder() {
  auto d = base_->superDecoder();
  if (!recursive_) return d;
  return std::make_unique<PlatformDecoder>(std::move(d), separator_, true, suffix_);
}

std::unique_ptr<Decoder> PlatformContainerBase::superDecoder(CodingKeyRef key) {
  auto d = base_->superDecoder(ResolvedKey(*this, key));
  if (!recursive_) return d;
  return std::make_unique<PlatformDecoder>(std::move(d), separator_, true, suffix_);
}

// ----- PlatformUnkeyedContainer --------------------------------------------

PlatformUnkeyedContainer::PlatformUnkeyedContainer(std::unique_ptr<UnkeyedDecodingContainer> base,
                                                   std::string separator, bool recursive,
                                                   std::string_view suffix)
    : base_(std::move(base)),
      separator_(std::move(separator)),
      recursive_(recursive),
      suffix_(suffix) {}

void PlatformUnkeyedContainer::decodeNested(DecodeFn fn) {
  if (!recursive_) return base_->decodeNested(fn);
  base_->decodeNested([&](Decoder& d) {
    PlatformDecoder wrapped(d, separator_, true, suffix_);
    fn(wrapped);
  });
}

bool PlatformUnkeyedContainer::decodeNestedIfPresent(DecodeFn fn) {
  if (!recursive_) return base_->decodeNestedIfPresent(fn);
  return base_->decodeNestedIfPresent([&](Decoder& d) {
    PlatformDecoder wrapped(d, separator_, true, suffix_);
    fn(wrapped);
  });
}

std::unique_ptr<KeyedDecodingContainer> PlatformUnkeyedContainer::nestedContainer() {
  auto nested = base_->nestedContainer();
  if (!recursive_) return nested;
  return std::make_unique<PlatformContainer<>>(std::move(nested), separator_, true, suffix_);
}

std::unique_ptr<UnkeyedDecodingContainer> PlatformUnkeyedContainer::nestedUnkeyedContainer() {
  auto nested = base_->nestedUnkeyedContainer();
  if (!recursive_) return nested;
  return std::make_unique<PlatformUnkeyedContainer>(std::move(nested), separator_, true, suffix_);
}

std::unique_ptr<Decoder> PlatformUnkeyedContainer::superDecoder() {
  auto d = base_->superDecoder();
  if (!recursive_) return d;
  return std::make_unique<PlatformDecoder>(std::move(d), separator_, true, suffix_);
}

}  // namespace quarn
