#include "quarnkit/coding/platform_decoder.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "quarnkit/coding/json_internal.h"
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

std::unique_ptr<KeyedDecodingContainer> PlatformDecoder::container() {
  if (!recursive_) return base_->container();
  if (auto json = detail::variantKeyedContainer(*base_, separator_, suffix_, true)) return json;
  return std::make_unique<PlatformContainer<>>(base_->container(), separator_, true, suffix_);
}

std::unique_ptr<UnkeyedDecodingContainer> PlatformDecoder::unkeyedContainer() {
  if (!recursive_) return base_->unkeyedContainer();
  if (auto json = detail::variantUnkeyedContainer(*base_, separator_, suffix_)) return json;
  return std::make_unique<PlatformUnkeyedContainer>(base_->unkeyedContainer(), separator_, true,
                                                    suffix_);
}

std::unique_ptr<KeyedDecodingContainer> detail::platformKeyedContainer(Decoder& decoder,
                                                                       std::string separator,
                                                                       bool recursive) {
  const std::string_view suffix = currentDeviceSuffix();
  if (auto json = variantKeyedContainer(decoder, separator, suffix, recursive)) return json;
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
    const std::size_t tail = separator_.size() + suffix_.size();
    bool found = false;
    base_->forEachKey([&](std::string_view k) {
      if (!found && k.size() > tail && k.substr(k.size() - suffix_.size()) == suffix_ &&
          k.substr(k.size() - tail, separator_.size()) == separator_) {
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
  std::vector<std::string> keys;
  base_->forEachKey([&](std::string_view k) { keys.emplace_back(k); });
  const std::size_t tail = separator_.size() + suffix_.size();
  const auto isVariant = [&](std::string_view k) {
    return k.size() > tail && k.ends_with(suffix_) &&
           k.substr(k.size() - tail, separator_.size()) == separator_;
  };
  const bool variants = mayHaveVariants();
  for (const std::string& k : keys) {
    std::string_view name = k;
    if (variants) {
      if (isVariant(k)) {
        name = name.substr(0, name.size() - tail);  // resolves back to k
      } else if (std::find(keys.begin(), keys.end(), k + separator_ + std::string(suffix_)) !=
                 keys.end()) {
        continue;  // its device variant stands for it
      }
    }
    if (decodeNil(name)) continue;
    decodeNested(name, [&](Decoder& value) { fn(name, value); });
  }
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
