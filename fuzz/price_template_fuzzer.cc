// Fuzz target of the price templates and the search matcher. Input: a
// template, then a NUL byte, then a text to search. The template is filled in
// every form and checked for placeholder issues; the part before the NUL is
// also a query against the text after it.
//
// Beyond not crashing, hanging or leaking: the attributed forms' runs cover
// their text, and a template without "%" comes back unchanged as plain text.
// (A query need not match the text it was made from: with "ﬃ ff", "ff" is
// the longer word and takes "ﬃ", whose folded form "ffi" it begins.)
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "quarnkit/formatting/string_formatter.h"
#include "quarnkit/search/smart_search_matcher.h"

namespace quarn::fuzz {
namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

const StoreKitHelpers::StringFormatter& formatter() {
  static const StoreKitHelpers::StringFormatter f([] {
    SKProductMeta::Fields fields;
    fields.localizedPrice = "$4.99";
    fields.localizedPricePerWeek = "**$0.99**";
    fields.localizedPeriod = "1 week";
    fields.discountPercentage = 33.7f;
    return SKProductMeta("p", fields);
  }());
  return f;
}

void checkRuns(const platform::AttributedString& s) {
  std::size_t end = 0;
  for (const auto& run : s.runs()) {
    check(run.range.begin == end && run.range.end > run.range.begin);
    end = run.range.end;
  }
  check(end == s.string().size());
}

}  // namespace
}  // namespace quarn::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quarn;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string_view template_ = input.substr(0, input.find('\0'));
  const auto& f = fuzz::formatter();
  const std::string plain = f.string(template_);
  if (template_.find('%') == std::string_view::npos) fuzz::check(plain == template_);
  (void)f.validate(template_);
  (void)StoreKitHelpers::placeholderIssues(template_);
  fuzz::checkRuns(f.attributedString(template_));
  fuzz::checkRuns(f.mutableAttributedString(template_));

  const std::string_view text =
      template_.size() < input.size() ? input.substr(template_.size() + 1) : template_;
  (void)SmartSearchMatcher(template_).matches(text);
  return 0;
}
