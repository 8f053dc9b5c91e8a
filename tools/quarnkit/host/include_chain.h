// IncludeChain: the includes one run is following, from the template down,
// and the bounds preview, explain and lint all apply while they follow them:
// no file is included inside itself, however the includes name it (a cycle);
// includes nest at most maxIncludeDepth deep; and the included templates of
// the whole run hold at most maxIncludedItems items together. A refusal is
// an InputError at the include that crossed the bound, naming the chain:
//
//   inc/b.json: [1].entity: include cycle: t.json [2] -> inc/a.json [0] -> inc/b.json [1] ->
//   inc/a.json
//
//   IncludeChain chain(root, limits);
//   auto step = chain.enter({"t.json", "[2]"}, target);  // on the chain until `step` ends
//   chain.count(items.size());                            // the items read from `target`
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tools/quarnkit/common/input_error.h"
#include "tools/quarnkit/common/input_file.h"
#include "tools/quarnkit/host/include_folder.h"

namespace quarn::tool {

/// Where an include is written: its file (as shown) and its item's JSON path.
struct IncludeSite {
  std::string file;
  std::string path;

  /// Where errors about the include point: its "entity" (nothing for the
  /// template itself).
  [[nodiscard]] std::string entityPath() const { return path.empty() ? "" : path + ".entity"; }
};

class IncludeChain {
 public:
  /// `root` is the template itself, at the bottom of every chain.
  IncludeChain(IncludedFile root, InputLimits limits);
  IncludeChain(const IncludeChain&) = delete;
  IncludeChain& operator=(const IncludeChain&) = delete;

  /// An include on the chain; it leaves the chain when the step ends.
  class Step {
   public:
    Step(Step&& other) noexcept : chain_(other.chain_), size_(other.size_) {
      other.chain_ = nullptr;
    }
    Step& operator=(Step&&) = delete;
    Step(const Step&) = delete;
    Step& operator=(const Step&) = delete;
    ~Step();

   private:
    friend class IncludeChain;
    Step(IncludeChain* chain, std::size_t size) : chain_(chain), size_(size) {}
    IncludeChain* chain_;
    std::size_t size_;
  };

  /// Follows the include written at `site` into `target`. InputError at the
  /// site (its path + ".entity") when `target` is on the chain already, the
  /// chain would nest deeper than the limit, or the run's included items
  /// have passed theirs.
  [[nodiscard]] Step enter(const IncludeSite& site, const IncludedFile& target);
  /// Adds the items just read from the innermost included template to the
  /// run's total. InputError at the innermost include past the limit.
  void count(std::size_t items);

  /// The template at the bottom of the chain.
  [[nodiscard]] const IncludedFile& root() const { return root_; }
  /// Where the innermost include on the chain is written; the template
  /// itself (with no path) while the chain is empty.
  [[nodiscard]] IncludeSite innermostSite() const;
  /// Includes on the chain now (0 while the template's own items are read).
  [[nodiscard]] std::size_t depth() const { return links_.size(); }
  [[nodiscard]] const InputLimits& limits() const { return limits_; }

 private:
  struct Link {
    IncludeSite site;
    IncludedFile target;
  };
  /// "t.json [2] -> inc/a.json [0] -> inc/b.json": the chain now, and with
  /// one more include at its end.
  [[nodiscard]] std::string describe() const;
  [[nodiscard]] std::string describe(const IncludeSite& site, const IncludedFile& next) const;
  [[nodiscard]] InputError tooManyItems(const IncludeSite& site) const;

  IncludedFile root_;
  InputLimits limits_;
  std::vector<Link> links_;
  std::size_t included_ = 0;
};

}  // namespace quarn::tool
