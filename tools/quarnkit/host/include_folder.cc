#include "tools/quarnkit/host/include_folder.h"

#include <system_error>
#include <vector>

namespace quarn::tool {

namespace fs = std::filesystem;

namespace {

// As many symlinks as the system follows in one path before it gives up.
constexpr int kMaxSymlinks = 40;

// Whether `path` lies strictly below `base` (both absolute and resolved).
bool isStrictlyUnder(const fs::path& path, const fs::path& base) {
  auto p = path.begin();
  for (auto b = base.begin(); b != base.end(); ++b, ++p) {
    if (b->empty()) continue;  // a trailing separator
    if (p == path.end() || *p != *b) return false;
  }
  for (; p != path.end(); ++p) {
    if (!p->empty()) return true;
  }
  return false;
}

void pushComponents(const fs::path& path, std::vector<std::string>& pending) {
  std::vector<std::string> parts;
  for (const auto& part : path.relative_path()) parts.push_back(part.string());
  pending.insert(pending.end(), parts.rbegin(), parts.rend());
}

}  // namespace

std::optional<fs::path> IncludeFolder::resolveSymlinks(const fs::path& path) {
  std::error_code error;
  const fs::path absolute = path.is_absolute() ? path : fs::absolute(path, error);
  if (error) return std::nullopt;
  std::vector<std::string> pending;  // the components still to walk, the next one last
  pushComponents(absolute, pending);
  fs::path result = absolute.root_path();
  int links = 0;
  while (!pending.empty()) {
    const std::string part = std::move(pending.back());
    pending.pop_back();
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      result = result.parent_path();
      continue;
    }
    fs::path next = result / part;
    if (fs::is_symlink(fs::symlink_status(next, error))) {
      if (++links > kMaxSymlinks) return std::nullopt;
      const fs::path target = fs::read_symlink(next, error);
      if (error) return std::nullopt;
      if (target.is_absolute()) result = target.root_path();
      pushComponents(target, pending);
      continue;
    }
    // Not a link, or nothing there: what follows cannot be a link through it.
    result = std::move(next);
  }
  return result;
}

IncludeFolder::IncludeFolder(fs::path folder) : given_(std::move(folder)) {
  const fs::path start = given_.empty() ? fs::path(".") : given_;
  std::error_code error;
  absolute_ = fs::absolute(start, error).lexically_normal();
  real_ = resolveSymlinks(start).value_or(absolute_);
}

std::optional<IncludedFile> IncludeFolder::file(std::string_view name) const {
  if (name.empty() || name.find('\0') != std::string_view::npos) return std::nullopt;
  const auto isBelow = [](const fs::path& relative) {
    return !relative.empty() && relative != "." && *relative.begin() != "..";
  };
  const fs::path written{std::string(name)};
  fs::path relative = written.lexically_normal();
  if (written.is_absolute()) {
    // An absolute name may spell the folder by its real path or as given.
    const fs::path absolute = relative;
    relative = absolute.lexically_relative(real_);
    if (!isBelow(relative)) relative = absolute.lexically_relative(absolute_);
  }
  if (!isBelow(relative)) return std::nullopt;
  auto opened = resolveSymlinks(real_ / relative);
  if (!opened || !isStrictlyUnder(*opened, real_)) return std::nullopt;
  return IncludedFile{(given_ / relative).string(), std::move(*opened)};
}

}  // namespace quarn::tool
