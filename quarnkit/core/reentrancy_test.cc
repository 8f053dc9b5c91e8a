// What a host may do from inside the sink of a debugPrint redirection.
#include "quarnkit/testing/reentrancy.h"

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "quarnkit/core/log.h"

namespace quarn {
namespace {

using testing::HostAction;

TEST(CoreReentrancyTest, DebugPrintSink) {
  testing::runReentrancyTable({
      {"debugPrint sink", HostAction::release,
       "the sink ends its own redirection; the line is delivered whole, later lines go to "
       "the redirection under it",
       [] {
         std::vector<std::string> outer;
         std::vector<std::string> inner;
         const StdoutRedirect under([&](std::string_view line) { outer.emplace_back(line); });
         std::optional<StdoutRedirect> top;
         const std::string tag(64, 'x');  // a capture too large to be stored in place
         top.emplace([&, tag](std::string_view line) {
           top.reset();
           inner.push_back(tag.substr(0, 1) + std::string(line));
         });
         debugPrint("one");
         debugPrint("two");
         EXPECT_EQ(inner, std::vector<std::string>{"xone"});
         EXPECT_EQ(outer, std::vector<std::string>{"two"});
       }},
      {"debugPrint sink", HostAction::reenter,
       "the sink prints again; the inner line reaches the same sink first",
       [] {
         std::vector<std::string> lines;
         const StdoutRedirect redirect([&](std::string_view line) {
           const std::string text(line);
           if (text == "outer") debugPrint("inner");
           lines.push_back(text);
         });
         debugPrint("outer");
         EXPECT_EQ(lines, (std::vector<std::string>{"inner", "outer"}));
       }},
      {"debugPrint sink", HostAction::raise,
       "the exception reaches the caller of debugPrint; the redirection stays in place",
       [] {
         std::vector<std::string> lines;
         const StdoutRedirect redirect([&](std::string_view line) {
           if (line == "bad") throw std::runtime_error("sink");
           lines.emplace_back(line);
         });
         EXPECT_THROW(debugPrint("bad"), std::runtime_error);
         debugPrint("good");
         EXPECT_EQ(lines, std::vector<std::string>{"good"});
       }},
  });
}

}  // namespace
}  // namespace quarn
