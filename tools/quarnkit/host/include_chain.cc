#include "tools/quarnkit/host/include_chain.h"

#include <algorithm>

#include "tools/quarnkit/common/input_error.h"

namespace quarn::tool {

IncludeChain::IncludeChain(IncludedFile root, InputLimits limits)
    : root_(std::move(root)), limits_(limits) {}

IncludeChain::Step::~Step() {
  if (chain_ != nullptr && chain_->links_.size() > size_) chain_->links_.resize(size_);
}

std::string IncludeChain::describe() const {
  std::string text = root_.shown;
  for (const Link& link : links_) text += " " + link.site.path + " -> " + link.target.shown;
  return text;
}

std::string IncludeChain::describe(const IncludeSite& site, const IncludedFile& next) const {
  return describe() + " " + site.path + " -> " + next.shown;
}

IncludeChain::Step IncludeChain::enter(const IncludeSite& site, const IncludedFile& target) {
  const auto isTarget = [&](const IncludedFile& file) { return file.opened == target.opened; };
  if (isTarget(root_) || std::any_of(links_.begin(), links_.end(),
                                     [&](const Link& link) { return isTarget(link.target); })) {
    throw InputError(site.file, site.entityPath(), "include cycle: " + describe(site, target));
  }
  if (links_.size() + 1 > static_cast<std::size_t>(std::max(limits_.maxIncludeDepth, 0))) {
    throw InputError(site.file, site.entityPath(),
                     "includes nest deeper than " + std::to_string(limits_.maxIncludeDepth) +
                         " (--max-include-depth): " + describe(site, target));
  }
  // Once the items have passed their limit, no include is followed.
  if (included_ > limits_.maxIncludedItems) throw tooManyItems(site);
  links_.push_back({site, target});
  return Step(this, links_.size() - 1);
}

IncludeSite IncludeChain::innermostSite() const {
  return links_.empty() ? IncludeSite{root_.shown, ""} : links_.back().site;
}

void IncludeChain::count(std::size_t items) {
  included_ += items;
  if (included_ > limits_.maxIncludedItems) throw tooManyItems(innermostSite());
}

InputError IncludeChain::tooManyItems(const IncludeSite& site) const {
  return InputError(site.file, site.entityPath(),
                    "more than " + std::to_string(limits_.maxIncludedItems) +
                        " included items (--max-included-items): " + describe());
}

}  // namespace quarn::tool
