// The confinement of include names to their folder: which names lead to a
// file under it (and which file is opened), and which are refused, with
// symlinks planted inside that point back in, out, nowhere and in circles.
#include "tools/quarnkit/host/include_folder.h"

#include <gtest/gtest.h>

#include "tools/quarnkit/common/tool_test_support.h"

namespace quarn::tool {
namespace {

namespace fs = std::filesystem;
using testing::ScratchDirectory;

struct Planted {
  ScratchDirectory dir;
  fs::path real = fs::canonical(dir.path());
  fs::path includes = real / "inc";

  Planted() {
    dir.write("inc/a.json", "[]");
    dir.write("inc/sub/b.json", "[]");
    dir.write("outside/secret.json", "[]");
    fs::create_directory_symlink("sub", includes / "in");
    fs::create_directory_symlink("..", includes / "up");
    fs::create_directory_symlink("../../outside", includes / "sub" / "back");
    fs::create_directory_symlink(real / "outside", includes / "out_abs");
    fs::create_symlink("../outside/secret.json", includes / "file_out");
    fs::create_symlink("../outside/none.json", includes / "dangling_out");
    fs::create_symlink("sub/b.json", includes / "b_link.json");
    fs::create_symlink("loop2", includes / "loop1");
    fs::create_symlink("loop1", includes / "loop2");
    fs::create_directory_symlink(includes, real / "alias");
  }
};

TEST(IncludeFolderTest, NamesUnderTheFolderResolveToTheFileItself) {
  Planted p;
  const IncludeFolder folder(p.includes);
  struct Case {
    const char* name;
    const char* shown;   // after the folder
    const char* opened;  // after the folder's real path
  };
  const Case cases[] = {
      {"a.json", "a.json", "a.json"},
      {"./sub/../a.json", "a.json", "a.json"},
      {"in/b.json", "in/b.json", "sub/b.json"},
      {"b_link.json", "b_link.json", "sub/b.json"},
      // Normalised before any link is followed: "back/.." is gone.
      {"sub/back/../b.json", "sub/b.json", "sub/b.json"},
      {"missing/x.json", "missing/x.json", "missing/x.json"},
  };
  for (const Case& c : cases) {
    const auto file = folder.file(c.name);
    ASSERT_TRUE(file) << c.name;
    EXPECT_EQ(file->shown, (p.includes / c.shown).string()) << c.name;
    EXPECT_EQ(file->opened, p.includes / c.opened) << c.name;
  }
  // An absolute name may spell the folder as given or by its real path.
  const IncludeFolder aliased(p.real / "alias");
  ASSERT_TRUE(aliased.file((p.real / "alias" / "a.json").string()));
  EXPECT_EQ(aliased.file((p.includes / "in/b.json").string())->opened, p.includes / "sub/b.json");
  EXPECT_EQ(aliased.file("a.json")->shown, (p.real / "alias" / "a.json").string());
}

TEST(IncludeFolderTest, NamesLeadingElsewhereAreRefused) {
  Planted p;
  const IncludeFolder folder(p.includes);
  for (const char* name : {
           "../outside/secret.json",  // lexically out
           "sub/../../outside/secret.json",
           "/etc/passwd",                   // absolute elsewhere
           "up/outside/secret.json",        // a link to the folder's parent
           "sub/back/secret.json",          // a link out from a subfolder
           "out_abs/secret.json",           // an absolute link out
           "file_out",                      // a link to an outside file
           "dangling_out",                  // ... that does not exist: the same answer
           "loop1",                         // a link loop
           "", ".", "sub/..", "a.json/..",  // the folder itself
       }) {
    EXPECT_FALSE(folder.file(name)) << name;
  }
  EXPECT_FALSE(folder.file(std::string("a\0.json", 7)));
  EXPECT_FALSE(folder.file((p.real / "outside/secret.json").string()));
}

TEST(IncludeFolderTest, ResolvesSymlinksAsTheSystemDoes) {
  Planted p;
  // Through a link to "..", then down again: the physical parent.
  EXPECT_EQ(IncludeFolder::resolveSymlinks(p.includes / "up" / "inc" / "in" / "b.json"),
            p.includes / "sub" / "b.json");
  EXPECT_EQ(IncludeFolder::resolveSymlinks(p.includes / "sub" / "back" / ".." / "inc"), p.includes);
  EXPECT_EQ(IncludeFolder::resolveSymlinks(p.includes / "dangling_out"),
            p.real / "outside" / "none.json");
  EXPECT_FALSE(IncludeFolder::resolveSymlinks(p.includes / "loop1"));
  EXPECT_EQ(IncludeFolder::resolveSymlinks(p.real / "alias"), p.includes);
}

}  // namespace
}  // namespace quarn::tool
