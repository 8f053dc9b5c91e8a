#include "quarnkit/platform/text_folding.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <memory>
#include <mutex>

namespace quarn::platform {
namespace {

constexpr unsigned kAllOptions = kFoldCase | kFoldDiacritics;

bool isAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

char foldAscii(char c, unsigned options) {
  return (options & kFoldCase) != 0 && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

const icu::Normalizer2* normalizer(bool decomposed) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* n = decomposed ? icu::Normalizer2::getNFDInstance(status)
                                         : icu::Normalizer2::getNFCInstance(status);
  return U_SUCCESS(status) ? n : nullptr;
}

icu::UnicodeString withoutMarks(const icu::UnicodeString& text) {
  icu::UnicodeString out;
  for (std::int32_t i = 0; i < text.length();) {
    const UChar32 c = text.char32At(i);
    if (u_charType(c) != U_NON_SPACING_MARK) out.append(c);
    i += U16_LENGTH(c);
  }
  return out;
}

std::string foldWithICU(std::string_view text, unsigned options) {
  const icu::Normalizer2* nfd = normalizer(true);
  const icu::Normalizer2* nfc = normalizer(false);
  if (nfd == nullptr || nfc == nullptr || text.size() > static_cast<std::size_t>(INT32_MAX)) {
    return std::string(text);
  }
  UErrorCode status = U_ZERO_ERROR;
  icu::UnicodeString u = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
  const bool markless = (options & kFoldDiacritics) != 0;
  if (markless) u = withoutMarks(nfd->normalize(u, status));
  if ((options & kFoldCase) != 0) {
    u.foldCase();
    // Folding can bring marks back (U+0130 → i + U+0307).
    if (markless) u = withoutMarks(nfd->normalize(u, status));
  }
  u = nfc->normalize(u, status);
  std::string out;
  u.toUTF8String(out);
  return out;
}

// What one code point folds to when it stands alone, kept per option set for
// the Basic Multilingual Plane: 0 not yet known, 1 not a single code point,
// 2 nothing (a mark), else (code point << 2) | 3. Filled on demand, so that
// a text costs one table read per letter once its letters have been seen.
class SingleFolds {
 public:
  static constexpr std::uint32_t kUnknown = 0, kSeveral = 1, kNothing = 2;

  std::uint32_t fold(UChar32 c, unsigned options) {
    if (c > 0xFFFF) return compute(c, options);
    std::atomic<std::uint32_t>& slot = table(options)[static_cast<std::size_t>(c)];
    std::uint32_t v = slot.load(std::memory_order_relaxed);
    if (v == kUnknown) {
      v = compute(c, options);
      slot.store(v, std::memory_order_relaxed);
    }
    return v;
  }

 private:
  static std::uint32_t compute(UChar32 c, unsigned options) {
    std::string utf8;
    icu::UnicodeString(c).toUTF8String(utf8);
    const icu::UnicodeString folded = icu::UnicodeString::fromUTF8(foldWithICU(utf8, options));
    if (folded.isEmpty()) return kNothing;
    const UChar32 f = folded.char32At(0);
    if (folded.length() != U16_LENGTH(f)) return kSeveral;
    return (static_cast<std::uint32_t>(f) << 2) | 3;
  }

  std::atomic<std::uint32_t>* table(unsigned options) {
    std::call_once(once_[options], [&] {
      tables_[options] = std::make_unique<std::atomic<std::uint32_t>[]>(0x10000);
    });
    return tables_[options].get();
  }

  std::once_flag once_[kAllOptions + 1];
  std::unique_ptr<std::atomic<std::uint32_t>[]> tables_[kAllOptions + 1];
};

SingleFolds& singleFolds() {
  static SingleFolds folds;
  return folds;
}

// Walks `text` one segment at a time: a code point and the code points that
// may combine with it in composed form, so that a segment folds on its own.
class SegmentReader {
 public:
  SegmentReader(std::string_view text, unsigned options)
      : s_(reinterpret_cast<const std::uint8_t*>(text.data())),
        length_(static_cast<std::int32_t>(std::min<std::size_t>(text.size(), INT32_MAX))),
        options_(options),
        nfc_(normalizer(false)) {}

  [[nodiscard]] bool atEnd() const { return i_ >= length_; }

  /// Appends the next segment, folded, to `out`.
  void foldNext(std::string& out) {
    const std::int32_t start = i_;
    if (s_[i_] < 0x80 && (i_ + 1 >= length_ || s_[i_ + 1] < 0x80)) {
      out += foldAscii(static_cast<char>(s_[i_++]), options_);
      return;
    }
    UChar32 first = 0;
    U8_NEXT_OR_FFFD(s_, i_, length_, first);
    bool onlyMarksFollow = true;
    while (i_ < length_ && nfc_ != nullptr) {
      std::int32_t next = i_;
      UChar32 c = 0;
      U8_NEXT_OR_FFFD(s_, next, length_, c);
      if (nfc_->hasBoundaryBefore(c)) break;
      onlyMarksFollow = onlyMarksFollow && u_charType(c) == U_NON_SPACING_MARK;
      i_ = next;
    }
    const bool alone =
        i_ == start + U8_LENGTH(first) || (onlyMarksFollow && (options_ & kFoldDiacritics) != 0);
    if (alone) {
      const std::uint32_t v = singleFolds().fold(first, options_);
      if (v == SingleFolds::kNothing) return;
      if ((v & 3) == 3) {
        appendUTF8(out, static_cast<UChar32>(v >> 2));
        return;
      }
    }
    out += foldWithICU(std::string_view(reinterpret_cast<const char*>(s_ + start),
                                        static_cast<std::size_t>(i_ - start)),
                       options_);
  }

 private:
  static void appendUTF8(std::string& out, UChar32 c) {
    if (c < 0x80) {
      out += static_cast<char>(c);
      return;
    }
    std::uint8_t buffer[4];
    std::int32_t n = 0;
    UBool error = false;
    U8_APPEND(buffer, n, 4, c, error);
    if (!error) out.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(n));
  }

  const std::uint8_t* s_;
  std::int32_t length_;
  std::int32_t i_ = 0;
  unsigned options_;
  const icu::Normalizer2* nfc_;
};

}  // namespace

std::string foldedForComparison(std::string_view text, unsigned options) {
  options &= kAllOptions;
  if (isAscii(text)) {
    std::string out(text);
    for (char& c : out) c = foldAscii(c, options);
    return out;
  }
  return foldWithICU(text, options);
}

bool foldedTextStartsWith(std::string_view text, std::string_view foldedPrefix, unsigned options) {
  SegmentReader reader(text, options & kAllOptions);
  std::string folded;
  while (folded.size() < foldedPrefix.size()) {
    if (reader.atEnd()) return false;
    const std::size_t before = folded.size();
    reader.foldNext(folded);
    const std::size_t n = std::min(folded.size(), foldedPrefix.size()) - before;
    if (folded.compare(before, n, foldedPrefix, before, n) != 0) return false;
  }
  return folded.size() == foldedPrefix.size();
}

}  // namespace quarn::platform
