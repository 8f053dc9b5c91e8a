// The bounds on following includes: a file included inside itself, the depth
// limit and the included-items limit, each at its exact boundary and with
// the chain it names.
#include "tools/quarnkit/host/include_chain.h"

#include <gtest/gtest.h>

#include <optional>

#include "tools/quarnkit/common/input_error.h"

namespace quarn::tool {
namespace {

IncludedFile file(const std::string& name) { return {name, "/real/" + name}; }

std::string errorOf(const std::function<void()>& step) {
  try {
    step();
  } catch (const InputError& e) {
    return e.what();
  }
  return "";
}

TEST(IncludeChainTest, AFileIncludedInsideItselfIsACycleWhateverNamesIt) {
  IncludeChain chain(file("t.json"), InputLimits{});
  auto a = chain.enter({"t.json", "[2]"}, file("a.json"));
  {
    // A diamond is no cycle: b is entered twice, one after the other.
    auto b = chain.enter({"a.json", "[0]"}, file("b.json"));
  }
  auto b = chain.enter({"a.json", "[1]"}, file("b.json"));
  // Another name of a.json (a reference, a symlink) is the same file.
  const IncludedFile again{"inc/other-name.json", "/real/a.json"};
  EXPECT_EQ(errorOf([&] {
              (void)chain.enter({"b.json", "[0]"}, again);
            }),
            "b.json: [0].entity: include cycle: t.json [2] -> a.json [1] -> b.json [0] -> "
            "inc/other-name.json");
  EXPECT_EQ(errorOf([&] {
              (void)chain.enter({"b.json", "[3]"}, file("t.json"));
            }),
            "b.json: [3].entity: include cycle: t.json [2] -> a.json [1] -> b.json [3] -> t.json");
  EXPECT_EQ(chain.depth(), 2u);
}

TEST(IncludeChainTest, NestsUpToTheDepthLimit) {
  InputLimits limits;
  limits.maxIncludeDepth = 2;
  IncludeChain chain(file("t.json"), limits);
  std::vector<IncludeChain::Step> steps;
  steps.push_back(chain.enter({"t.json", "[0]"}, file("d1.json")));
  steps.push_back(chain.enter({"d1.json", "[0]"}, file("d2.json")));
  EXPECT_EQ(chain.innermostSite().file, "d1.json");
  EXPECT_EQ(errorOf([&] {
              (void)chain.enter({"d2.json", "[4]"}, file("d3.json"));
            }),
            "d2.json: [4].entity: includes nest deeper than 2 (--max-include-depth): "
            "t.json [0] -> d1.json [0] -> d2.json [4] -> d3.json");
  steps.pop_back();
  EXPECT_EQ(chain.depth(), 1u);
  EXPECT_NO_THROW((void)chain.enter({"d1.json", "[1]"}, file("d3.json")));

  limits.maxIncludeDepth = 0;
  IncludeChain none(file("t.json"), limits);
  EXPECT_NE(errorOf([&] { (void)none.enter({"t.json", "[0]"}, file("a.json")); }), "");
}

TEST(IncludeChainTest, CountsIncludedItemsUpToTheLimitThenFollowsNoMore) {
  InputLimits limits;
  limits.maxIncludedItems = 5;
  IncludeChain chain(file("t.json"), limits);
  {
    auto a = chain.enter({"t.json", "[0]"}, file("a.json"));
    chain.count(3);
  }
  auto b = chain.enter({"t.json", "[1]"}, file("b.json"));
  chain.count(2);  // 5: at the limit
  EXPECT_EQ(errorOf([&] { chain.count(1); }),
            "t.json: [1].entity: more than 5 included items (--max-included-items): "
            "t.json [1] -> b.json");
  // Past the limit, nothing more is entered.
  EXPECT_EQ(errorOf([&] {
              (void)chain.enter({"b.json", "[0]"}, file("c.json"));
            }),
            "b.json: [0].entity: more than 5 included items (--max-included-items): "
            "t.json [1] -> b.json");
}

}  // namespace
}  // namespace quarn::tool
