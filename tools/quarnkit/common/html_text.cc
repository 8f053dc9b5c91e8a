#include "tools/quarnkit/common/html_text.h"

#include <cctype>

namespace quarn::tool {

std::string escapeHTML(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

namespace {

std::string lowerScheme(std::string_view url) {
  std::string scheme;
  for (char c : url) {
    if (c == ':') return scheme;
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.')) break;
    scheme += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return {};
}

}  // namespace

// Links: any scheme except those that run code in the page.
std::optional<std::string> safeLink(const std::optional<std::string>& url) {
  if (!url) return std::nullopt;
  const std::string scheme = lowerScheme(*url);
  if (scheme.empty() || scheme == "javascript" || scheme == "vbscript" || scheme == "data") {
    return std::nullopt;
  }
  return escapeHTML(*url);
}

// Images: web and local files only.
std::optional<std::string> safeImage(const std::optional<std::string>& url) {
  if (!url) return std::nullopt;
  const std::string scheme = lowerScheme(*url);
  if (scheme != "http" && scheme != "https" && scheme != "file") return std::nullopt;
  return escapeHTML(*url);
}

}  // namespace quarn::tool
