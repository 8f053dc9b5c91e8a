#include "quarnkit/predicate/detail/text_match.h"

#include <fmt/format.h>
#include <unicode/bytestream.h>
#include <unicode/casemap.h>
#include <unicode/normalizer2.h>
#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <climits>
#include <span>

#include "quarnkit/predicate/detail/step_counter.h"
#include "quarnkit/predicate/errors.h"
#include "quarnkit/predicate/limits.h"

namespace quarn::detail {
namespace {

using Kind = PredicateEvaluationError::Kind;

void checkLength(std::string_view text) {
  if (text.size() > static_cast<std::size_t>(INT32_MAX)) {
    throw PredicateEvaluationError(Kind::limitExceeded, "String too long");
  }
}

icu::StringPiece piece(std::string_view text) {
  return {text.data(), static_cast<std::int32_t>(text.size())};
}

icu::UnicodeString toUnicode(std::string_view text) {
  checkLength(text);
  return icu::UnicodeString::fromUTF8(piece(text));
}

const icu::Normalizer2& normalizer(bool decomposed) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* n = decomposed ? icu::Normalizer2::getNFDInstance(status)
                                         : icu::Normalizer2::getNFCInstance(status);
  if (U_FAILURE(status) || n == nullptr) {
    throw PredicateEvaluationError(Kind::invalidArgument, "Unicode normalization unavailable");
  }
  return *n;
}

// Calls f(codePoint, begin, end) for each code point of `text` (U+FFFD for
// each ill-formed sequence), with its byte range.
template <class F>
void forEachCodePoint(std::string_view text, F&& f) {
  const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<std::int64_t>(text.size());
  std::int64_t i = 0;
  while (i < length) {
    const std::int64_t begin = i;
    UChar32 c = 0;
    U8_NEXT_OR_FFFD(s, i, length, c);
    f(c, begin, i);
  }
}

void appendCodePoint(std::string& out, UChar32 c) {
  std::array<std::uint8_t, U8_MAX_LENGTH> bytes{};
  std::int32_t n = 0;
  U8_APPEND_UNSAFE(bytes.data(), n, c);
  out.append(reinterpret_cast<const char*>(bytes.data()), static_cast<std::size_t>(n));
}

bool wellFormed(std::string_view text) {
  const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<std::int64_t>(text.size());
  for (std::int64_t i = 0; i < length;) {
    UChar32 c = 0;
    U8_NEXT(s, i, length, c);
    if (c < 0) return false;
  }
  return true;
}

// Buffers of the folding stages, kept between calls so that folding the
// same sizes of text again allocates nothing.
struct FoldBuffers {
  std::string valid, first, second;
};

// Runs one ICU stage from `in` into `out` (cleared first).
template <class Stage>
std::string_view stage(std::string_view in, std::string& out, UErrorCode& status, Stage&& run) {
  out.clear();
  icu::StringByteSink<std::string> sink(&out);
  run(piece(in), sink);
  if (U_FAILURE(status)) {
    throw PredicateEvaluationError(Kind::invalidArgument,
                                   fmt::format("Folding failed: {}", u_errorName(status)));
  }
  return out;
}

std::string_view foldUnicode(std::string_view text, bool caseless, bool markless,
                             std::string& scratch) {
  checkLength(text);
  thread_local FoldBuffers buffers;
  std::string_view current = text;
  if (!wellFormed(text)) {
    buffers.valid.clear();
    forEachCodePoint(text, [&](UChar32 c, auto, auto) { appendCodePoint(buffers.valid, c); });
    current = buffers.valid;
  }
  UErrorCode status = U_ZERO_ERROR;
  if (markless) {
    const auto decomposed = stage(current, buffers.first, status, [&](auto in, auto& sink) {
      normalizer(true).normalizeUTF8(0, in, sink, nullptr, status);
    });
    buffers.second.clear();
    forEachCodePoint(decomposed, [&](UChar32 c, std::int64_t begin, std::int64_t end) {
      if (u_charType(c) != U_NON_SPACING_MARK) {
        buffers.second.append(decomposed.substr(static_cast<std::size_t>(begin),
                                                static_cast<std::size_t>(end - begin)));
      }
    });
    current = buffers.second;
  }
  if (caseless) {
    current = stage(current, buffers.first, status, [&](auto in, auto& sink) {
      icu::CaseMap::utf8Fold(0, in, sink, nullptr, status);
    });
  }
  return stage(current, scratch, status, [&](auto in, auto& sink) {
    normalizer(false).normalizeUTF8(0, in, sink, nullptr, status);
  });
}

UBool takeTick(const void* steps, std::int32_t /*ticks*/) {
  return static_cast<StepCounter*>(const_cast<void*>(steps))->tryTake(kRegexStepsPerTick) ? 1 : 0;
}

}  // namespace

std::string_view foldText(std::string_view text, unsigned options, std::string& scratch) {
  const bool caseless = (options & kCaseInsensitive) != 0;
  bool capitals = false;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80) {
      return foldUnicode(text, caseless, (options & kDiacriticInsensitive) != 0, scratch);
    }
    capitals = capitals || (u >= 'A' && u <= 'Z');
  }
  // ASCII has no marks to remove and only capitals to fold.
  if (!caseless || !capitals) return text;
  scratch.assign(text);
  for (char& c : scratch) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return scratch;
}

std::string foldString(std::string_view text, unsigned options) {
  std::string scratch;
  return std::string(foldText(text, options, scratch));
}

// ----- LIKE ----------------------------------------------------------------

LikePattern::LikePattern(std::string_view pattern) {
  bool escaped = false;
  forEachCodePoint(pattern, [&](UChar32 c, auto, auto) {
    if (escaped) {
      elements_.push_back({Part::literal, static_cast<char32_t>(c)});
      escaped = false;
    } else if (c == U'\\') {
      escaped = true;
    } else if (c == U'*') {
      if (elements_.empty() || elements_.back().part != Part::many) {
        elements_.push_back({Part::many, 0});
      }
    } else if (c == U'?') {
      elements_.push_back({Part::one, 0});
    } else {
      elements_.push_back({Part::literal, static_cast<char32_t>(c)});
    }
  });
  if (escaped) elements_.push_back({Part::literal, U'\\'});  // a trailing "\" is itself

  // Literal runs with a "*" at either end or both compare bytes directly. A
  // U+FFFD stands for any ill-formed sequence, which only the general
  // matcher treats as one character.
  const bool leading = !elements_.empty() && elements_.front().part == Part::many;
  const bool trailing = elements_.size() > leading && elements_.back().part == Part::many;
  const auto inner = std::span(elements_)
                         .subspan(leading ? 1 : 0)
                         .first(elements_.size() - (leading ? 1 : 0) - (trailing ? 1 : 0));
  const bool literal = std::all_of(inner.begin(), inner.end(), [](const Element& e) {
    return e.part == Part::literal && e.c != 0xFFFD;
  });
  if (!literal) return;
  for (const Element& e : inner) appendCodePoint(literal_, static_cast<UChar32>(e.c));
  shape_ = leading && trailing ? Shape::infix
           : leading           ? Shape::suffix
           : trailing          ? Shape::prefix
                               : Shape::exact;
}

bool LikePattern::matches(std::string_view text, StepCounter* steps) const {
  if (shape_ == Shape::general) return matchesGeneral(text, steps);
  if (steps != nullptr) steps->take(1 + text.size() / 64);
  switch (shape_) {
    case Shape::exact:
      return text == literal_;
    case Shape::prefix:
      return text.starts_with(literal_);
    case Shape::suffix:
      return text.ends_with(literal_);
    case Shape::infix:
      return text.find(literal_) != std::string_view::npos;
    case Shape::general:
      break;
  }
  return false;
}

bool LikePattern::matchesGeneral(std::string_view text, StepCounter* steps) const {
  // Greedy match that backs up to the last "*" on a mismatch: O(|t| * |p|).
  const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<std::int64_t>(text.size());
  const std::size_t count = elements_.size();
  std::int64_t ti = 0;
  std::size_t pi = 0;
  std::size_t star = SIZE_MAX;
  std::int64_t starText = 0;
  std::uint64_t tried = 0;
  while (ti < length) {
    if (steps != nullptr && (++tried & 63) == 0) steps->take(1);
    std::int64_t next = ti;
    UChar32 c = 0;
    U8_NEXT_OR_FFFD(s, next, length, c);
    if (pi < count &&
        (elements_[pi].part == Part::one ||
         (elements_[pi].part == Part::literal && elements_[pi].c == static_cast<char32_t>(c)))) {
      ti = next;
      ++pi;
    } else if (pi < count && elements_[pi].part == Part::many) {
      star = pi++;
      starText = ti;
    } else if (star != SIZE_MAX) {
      pi = star + 1;
      U8_NEXT_OR_FFFD(s, starText, length, c);
      ti = starText;
    } else {
      return false;
    }
  }
  while (pi < count && elements_[pi].part == Part::many) ++pi;
  return pi == count;
}

// ----- Regular expressions -------------------------------------------------

struct Regex::Impl {
  std::unique_ptr<icu::RegexPattern> pattern;
};

Regex::Regex(std::string_view pattern, bool caseInsensitive) : impl_(std::make_unique<Impl>()) {
  UErrorCode status = U_ZERO_ERROR;
  UParseError where{};
  const std::uint32_t flags = caseInsensitive ? UREGEX_CASE_INSENSITIVE : 0;
  impl_->pattern.reset(icu::RegexPattern::compile(toUnicode(pattern), flags, where, status));
  if (U_FAILURE(status) || !impl_->pattern) {
    throw PredicateEvaluationError(Kind::invalidRegularExpression,
                                   fmt::format("Invalid regular expression \"{}\": {} at offset {}",
                                               pattern, u_errorName(status), where.offset));
  }
}

Regex::~Regex() = default;

bool Regex::matchesWhole(std::string_view subject, StepCounter* steps) const {
  UErrorCode status = U_ZERO_ERROR;
  const icu::UnicodeString input = toUnicode(subject);
  const std::int64_t length = input.length();
  const std::int64_t ticks = kRegexBaseTicks + length / kRegexCharactersPerTick;
  const std::int64_t stack =
      std::min(kRegexMaxStack, kRegexBaseStack + length * kRegexStackPerCharacter);
  std::unique_ptr<icu::RegexMatcher> matcher(impl_->pattern->matcher(input, status));
  if (U_SUCCESS(status)) matcher->setTimeLimit(static_cast<std::int32_t>(ticks), status);
  if (U_SUCCESS(status)) matcher->setStackLimit(static_cast<std::int32_t>(stack), status);
  if (U_SUCCESS(status) && steps != nullptr) matcher->setMatchCallback(takeTick, steps, status);
  const bool matched = U_SUCCESS(status) && matcher->matches(status);
  if (status == U_REGEX_STOPPED_BY_CALLER && steps != nullptr) steps->spent();
  if (status == U_REGEX_TIME_OUT || status == U_REGEX_STACK_OVERFLOW) {
    const std::string bound = status == U_REGEX_TIME_OUT
                                  ? fmt::format("time bound: {} ticks of 10,000 operations", ticks)
                                  : fmt::format("memory bound: {} bytes of backtracking", stack);
    throw PredicateEvaluationError(
        Kind::limitExceeded, fmt::format("Regular expression match exceeded its {} for a text of "
                                         "{} characters",
                                         bound, length));
  }
  if (U_FAILURE(status)) {
    throw PredicateEvaluationError(
        Kind::invalidRegularExpression,
        fmt::format("Regular expression failed: {}", u_errorName(status)));
  }
  return matched;
}

}  // namespace quarn::detail
