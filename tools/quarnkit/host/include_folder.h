// IncludeFolder: the one folder included templates are read from, and the
// confinement of every name a template gives for one. A name (a key's file
// name, a URL's percent-decoded path, relative or absolute) is normalised
// lexically, joined to the folder and its symlinks resolved one component at
// a time, as the system would resolve them; it names an included file only
// when the result is still strictly under the folder's own real path.
// Nothing outside the folder is looked at, so a refusal never tells whether
// an outside file exists.
//
//   IncludeFolder folder("examples/home/includes");
//   folder.file("extra/promo.json");      // {shown "examples/home/includes/extra/promo.json",
//                                         //  opened "/abs/.../includes/extra/promo.json"}
//   folder.file("../../etc/passwd");      // nothing
//   folder.file("/etc/passwd");           // nothing
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quarn::tool {

/// A file under the includes folder.
struct IncludedFile {
  /// As messages and explanations show it: the folder as given, then the
  /// normalised name.
  std::string shown;
  /// The same file with every symlink resolved: the one that is read, and
  /// the file's identity (two names of one file are the same include).
  std::filesystem::path opened;
};

class IncludeFolder {
 public:
  /// `folder` is resolved to its real path once, here; a folder that does not
  /// exist confines to its absolute, normalised path.
  explicit IncludeFolder(std::filesystem::path folder);

  /// The folder as given.
  [[nodiscard]] const std::filesystem::path& path() const { return given_; }
  /// The file `name` names under the folder, or nothing when it leads
  /// outside (or to the folder itself, or holds a NUL, or passes through a
  /// symlink loop). Whether the file exists is not checked.
  [[nodiscard]] std::optional<IncludedFile> file(std::string_view name) const;

  /// The real path of `path` as the system resolves it, except that
  /// components that do not exist are kept as they are. Nothing when
  /// symlinks nest more than 40 deep.
  static std::optional<std::filesystem::path> resolveSymlinks(const std::filesystem::path& path);

 private:
  std::filesystem::path given_;
  std::filesystem::path absolute_;
  std::filesystem::path real_;
};

}  // namespace quarn::tool
