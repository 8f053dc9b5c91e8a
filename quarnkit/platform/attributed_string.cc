#include "quarnkit/platform/attributed_string.h"

#include <algorithm>

namespace quarn::platform {

const Value* AttributeContainer::find(std::string_view name) const {
  for (const auto& [key, value] : entries_) {
    if (key == name) return &value;
  }
  return nullptr;
}

void AttributeContainer::set(std::string_view name, Value value) {
  for (auto& [key, existing] : entries_) {
    if (key == name) {
      existing = std::move(value);
      return;
    }
  }
  entries_.emplace_back(std::string(name), std::move(value));
}

void AttributeContainer::remove(std::string_view name) {
  std::erase_if(entries_, [&](const auto& entry) { return entry.first == name; });
}

void AttributeContainer::merge(const AttributeContainer& other) {
  for (const auto& [key, value] : other.entries_) set(key, value);
}

bool operator==(const AttributeContainer& a, const AttributeContainer& b) {
  if (a.entries_.size() != b.entries_.size()) return false;
  return std::all_of(a.entries_.begin(), a.entries_.end(), [&](const auto& entry) {
    const Value* other = b.find(entry.first);
    return other != nullptr && *other == entry.second;
  });
}

AttributedString::AttributedString(std::string text, AttributeContainer attributes)
    : text_(std::move(text)) {
  if (!text_.empty()) runs_.push_back({{0, text_.size()}, std::move(attributes)});
}

const AttributeContainer& AttributedString::attributes(std::size_t offset) const {
  for (const Run& run : runs_) {
    if (offset >= run.range.begin && offset < run.range.end) return run.attributes;
  }
  static const AttributeContainer none;
  return none;
}

void AttributedString::append(std::string_view text, const AttributeContainer& attributes) {
  if (text.empty()) return;
  const std::size_t begin = text_.size();
  text_ += text;
  runs_.push_back({{begin, text_.size()}, attributes});
  coalesce();
}

void AttributedString::append(const AttributedString& other) {
  const std::size_t offset = text_.size();
  text_ += other.text_;
  for (const Run& run : other.runs_) {
    runs_.push_back({{run.range.begin + offset, run.range.end + offset}, run.attributes});
  }
  coalesce();
}

std::optional<TextRange> AttributedString::range(std::string_view text) const {
  if (text.empty()) return std::nullopt;
  const std::size_t at = text_.find(text);
  if (at == std::string::npos) return std::nullopt;
  return TextRange{at, at + text.size()};
}

void AttributedString::setAttribute(TextRange range, std::string_view name, const Value& value) {
  range.end = std::min(range.end, text_.size());
  if (range.begin >= range.end) return;
  std::vector<Run> runs;
  runs.reserve(runs_.size() + 2);
  for (const Run& run : runs_) {
    const std::size_t b = std::max(run.range.begin, range.begin);
    const std::size_t e = std::min(run.range.end, range.end);
    if (b >= e) {
      runs.push_back(run);
      continue;
    }
    if (run.range.begin < b) runs.push_back({{run.range.begin, b}, run.attributes});
    Run inside{{b, e}, run.attributes};
    inside.attributes.set(name, value);
    runs.push_back(std::move(inside));
    if (e < run.range.end) runs.push_back({{e, run.range.end}, run.attributes});
  }
  runs_ = std::move(runs);
  coalesce();
}

void AttributedString::replaceSubrange(TextRange range, const AttributedString& replacement) {
  range.end = std::min(range.end, text_.size());
  range.begin = std::min(range.begin, range.end);
  AttributedString out;
  for (const Run& run : runs_) {
    if (run.range.begin >= range.begin) break;
    const std::size_t e = std::min(run.range.end, range.begin);
    out.append(std::string_view(text_).substr(run.range.begin, e - run.range.begin),
               run.attributes);
  }
  out.append(replacement);
  for (const Run& run : runs_) {
    if (run.range.end <= range.end) continue;
    const std::size_t b = std::max(run.range.begin, range.end);
    out.append(std::string_view(text_).substr(b, run.range.end - b), run.attributes);
  }
  *this = std::move(out);
}

AttributedString AttributedString::replacingStronglyEmphasizedAttributes(
    const AttributeContainer& attributes) const {
  AttributedString copy = *this;
  for (Run& run : copy.runs_) {
    const Value* intent = run.attributes.find(kInlinePresentationIntentAttribute);
    const std::int64_t* value = intent != nullptr ? intent->ifInteger() : nullptr;
    const std::int64_t bits = value != nullptr ? *value : 0;
    if ((bits & stronglyEmphasized) == 0) continue;
    if (const std::int64_t rest = bits & ~std::int64_t{stronglyEmphasized}; rest != 0) {
      run.attributes.set(kInlinePresentationIntentAttribute, Value(rest));
    } else {
      run.attributes.remove(kInlinePresentationIntentAttribute);
    }
    run.attributes.merge(attributes);
  }
  copy.coalesce();
  return copy;
}

bool operator==(const AttributedString& a, const AttributedString& b) {
  if (a.text_ != b.text_ || a.runs_.size() != b.runs_.size()) return false;
  for (std::size_t i = 0; i < a.runs_.size(); ++i) {
    if (!(a.runs_[i].range == b.runs_[i].range) ||
        !(a.runs_[i].attributes == b.runs_[i].attributes)) {
      return false;
    }
  }
  return true;
}

void AttributedString::coalesce() {
  std::vector<Run> runs;
  runs.reserve(runs_.size());
  for (Run& run : runs_) {
    if (run.range.begin >= run.range.end) continue;
    if (!runs.empty() && runs.back().range.end == run.range.begin &&
        runs.back().attributes == run.attributes) {
      runs.back().range.end = run.range.end;
    } else {
      runs.push_back(std::move(run));
    }
  }
  runs_ = std::move(runs);
}

}  // namespace quarn::platform
