// Fuzz target of the tool's include resolver: a name or URL a template gives
// for an included file, resolved under an includes folder whose neighbours
// are planted to be escaped to: symlinks out of it (absolute, relative, to a
// file, dangling, through the folder's parent), symlink loops, and a folder
// reached through a symlink itself.
//
// Input: the text of a URL include ({"url": ...}); the first byte chooses
// the folder's spelling (its real path, a symlink to it, or a relative path).
//
// Beyond not crashing: whatever resolves lies strictly under the folder's
// real path, both as the resolver says and as the system resolves it, and
// its shown name is the folder as given followed by a name without "..". The text is tried as a
// name and, when it parses as a URL, as that URL's percent-decoded path (what the include provider
// resolves for a file URL or a relative one).
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "quarnkit/core/url.h"
#include "tools/quarnkit/host/include_folder.h"

namespace quarn::fuzz {
namespace {

namespace fs = std::filesystem;
using tool::IncludeFolder;

void check(bool condition) {
  if (!condition) std::abort();
}

// The planted directory, made once per process and removed at exit:
//   outside/secret.json, outside/dir/
//   includes/a.json, includes/sub/b.json, includes/sub/deeper/
//   includes/{in -> sub, self -> ., up -> .., out_abs -> <outside>, out_rel -> ../outside,
//             file_out -> ../outside/secret.json, dangling_out -> ../outside/none.json,
//             loop1 -> loop2, loop2 -> loop1, sub/back -> ../../outside}
//   alias -> includes
struct Playground {
  fs::path root;
  fs::path includes;

  Playground() {
    std::string pattern = (fs::temp_directory_path() / "quarnkit-include-fuzz-XXXXXX").string();
    check(::mkdtemp(pattern.data()) != nullptr);
    root = fs::canonical(pattern);
    includes = root / "includes";
    const fs::path outside = root / "outside";
    fs::create_directories(outside / "dir");
    fs::create_directories(includes / "sub" / "deeper");
    for (const fs::path& file :
         {outside / "secret.json", includes / "a.json", includes / "sub" / "b.json"}) {
      std::ofstream(file) << "[]";
    }
    const auto link = [&](const fs::path& target, const fs::path& at) {
      std::error_code ignored;
      fs::create_symlink(target, at, ignored);
    };
    link("sub", includes / "in");
    link(".", includes / "self");
    link("..", includes / "up");
    link(outside, includes / "out_abs");
    link("../outside", includes / "out_rel");
    link("../outside/secret.json", includes / "file_out");
    link("../outside/none.json", includes / "dangling_out");
    link("loop2", includes / "loop1");
    link("loop1", includes / "loop2");
    link("../../outside", includes / "sub" / "back");
    link(includes, root / "alias");
  }
  ~Playground() {
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }
  Playground(const Playground&) = delete;
  Playground& operator=(const Playground&) = delete;
};

bool isStrictlyUnder(const fs::path& path, const fs::path& base) {
  const std::string p = path.lexically_normal().string();
  const std::string b = base.string() + "/";
  return p.size() > b.size() && p.compare(0, b.size(), b) == 0;
}

// The shown name is the folder as given (which may climb, "../x", when it
// is relative), then a name inside it without "..".
void checkResolved(const tool::IncludedFile& file, const fs::path& real, const fs::path& given) {
  check(isStrictlyUnder(file.opened, real));
  const std::string prefix = (given / "").string();
  check(file.shown.compare(0, prefix.size(), prefix) == 0);
  for (const auto& part : fs::path(file.shown.substr(prefix.size()))) check(part != "..");
  // What the system itself makes of the opened path, as far as it exists.
  std::error_code error;
  const fs::path system = fs::weakly_canonical(file.opened, error);
  if (!error) check(isStrictlyUnder(system, real));
}

}  // namespace

int includeResolverOneInput(const std::uint8_t* data, std::size_t size) {
  static const Playground playground;
  if (size == 0) return 0;
  fs::path folder;
  switch (data[0] % 3) {
    case 0:
      folder = playground.includes;
      break;
    case 1:
      folder = playground.root / "alias";
      break;
    default:
      folder = playground.includes.lexically_relative(fs::current_path());
      break;
  }
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

  const IncludeFolder confined(folder);
  if (auto file = confined.file(text)) checkResolved(*file, playground.includes, folder);
  if (auto url = URL::parse(text)) {
    if (auto file = confined.file(url->path())) checkResolved(*file, playground.includes, folder);
  }
  return 0;
}

}  // namespace quarn::fuzz

#ifndef QUARNKIT_FUZZ_HARNESS_ONLY
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return quarn::fuzz::includeResolverOneInput(data, size);
}
#endif
