#include "tools/quarnkit/serve/served_files.h"

#include <algorithm>
#include <array>
#include <system_error>
#include <utility>

namespace quarn::tool {

std::optional<std::filesystem::path> servedFile(const IncludeFolder& folder,
                                                std::string_view name) {
  if (name.empty() || name.front() == '/' || name.find('\\') != std::string_view::npos) return {};
  for (const auto& part : std::filesystem::path(name)) {
    if (part.native().starts_with('.')) return {};
  }
  const auto file = folder.file(name);
  if (!file) return {};
  std::error_code error;
  if (!std::filesystem::is_regular_file(file->opened, error)) return {};
  return file->opened;
}

std::string_view servedContentType(const std::filesystem::path& file) {
  // SVG and HTML could run scripts with this server's origin: never as such.
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 7> kTypes{{
      {".json", "application/json"},
      {".png", "image/png"},
      {".jpg", "image/jpeg"},
      {".jpeg", "image/jpeg"},
      {".gif", "image/gif"},
      {".webp", "image/webp"},
      {".txt", "text/plain; charset=utf-8"},
  }};
  std::string extension = file.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const auto& [suffix, type] : kTypes) {
    if (extension == suffix) return type;
  }
  return "text/plain; charset=utf-8";
}

}  // namespace quarn::tool
