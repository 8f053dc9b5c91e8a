#include "quarnkit/core/url.h"

#include <array>
#include <boost/url.hpp>
#include <cstdint>

#include "quarnkit/core/detail/utf8.h"

namespace quarn {

namespace urls = boost::urls;

namespace {

constexpr bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool isHexDigit(char c) {
  return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Character classes of the simple-shape check, one table look-up per character.
enum CharClass : std::uint8_t {
  kPlain = 1,   // unreserved and sub-delims of RFC 3986
  kScheme = 2,  // may follow the first letter of a scheme
};
constexpr std::array<std::uint8_t, 256> kCharClasses = [] {
  std::array<std::uint8_t, 256> t{};
  for (int c = 0; c < 256; ++c) {
    const char ch = static_cast<char>(c);
    if (isAlpha(ch) || isDigit(ch)) t[c] = kPlain | kScheme;
  }
  for (const char ch : std::string_view("-._~!$&'()*+,;=")) {
    t[static_cast<unsigned char>(ch)] |= kPlain;
  }
  for (const char ch : std::string_view("+-.")) t[static_cast<unsigned char>(ch)] |= kScheme;
  return t;
}();
bool isPlain(char c) { return (kCharClasses[static_cast<unsigned char>(c)] & kPlain) != 0; }
bool isSchemeChar(char c) { return (kCharClasses[static_cast<unsigned char>(c)] & kScheme) != 0; }

// Whether `text` is a URI of the common shape scheme "://" reg-name
// path-abempty ["?" query] ["#" fragment] (RFC 3986), without user
// information or a port. Every such text is a valid URI reference; any other
// text is left to the full parser.
bool isSimpleURI(std::string_view text) {
  const std::size_t n = text.size();
  if (n == 0 || !isAlpha(text[0])) return false;
  std::size_t i = 1;
  while (i < n && isSchemeChar(text[i])) ++i;
  if (text.substr(i, 3) != "://") return false;
  i += 3;
  // The part being read: 0 host, 1 path, 2 query, 3 fragment.
  int part = 0;
  for (; i < n; ++i) {
    const char c = text[i];
    if (isPlain(c)) continue;
    if (c == '%') {
      if (i + 2 >= n || !isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2])) return false;
      i += 2;
      continue;
    }
    if (c == '/') {
      if (part == 0) part = 1;
      continue;
    }
    if (c == ':' || c == '@') {
      if (part == 0) return false;  // a port or user information: not this shape
      continue;
    }
    if (c == '?') {
      if (part < 2) part = 2;
      continue;
    }
    if (c == '#' && part < 3) {
      part = 3;
      continue;
    }
    return false;
  }
  return true;
}

}  // namespace

std::optional<URL> URL::parse(std::string_view text) {
  if (text.empty()) return std::nullopt;
  if (!isSimpleURI(text) && !urls::parse_uri_reference(text)) return std::nullopt;
  return URL(std::string(text));
}

URL URL::fileURL(const std::filesystem::path& path) {
  urls::url u;
  u.set_scheme("file");
  u.set_host("");
  u.set_path(std::filesystem::absolute(path).lexically_normal().generic_string());
  return URL(std::string(u.buffer()));
}

std::optional<std::string> URL::addingPercentEncoding(std::string_view text,
                                                      std::string_view allowed) {
  if (!detail::isValidUTF8(text)) return std::nullopt;
  // Callers pass one of a few constant sets: the table of the last one is
  // kept (building it asks about each of the 256 bytes).
  struct Table {
    std::string allowed;
    urls::grammar::lut_chars chars{'\0'};
  };
  thread_local std::optional<Table> last;
  if (!last || last->allowed != allowed) {
    std::array<bool, 0x80> isAllowed{};
    for (const char c : allowed) {
      if (static_cast<unsigned char>(c) < 0x80) isAllowed[static_cast<unsigned char>(c)] = true;
    }
    last = Table{std::string(allowed), urls::grammar::lut_chars([&isAllowed](char c) {
                   const auto byte = static_cast<unsigned char>(c);
                   return c != '%' && byte < 0x80 && isAllowed[byte];
                 })};
  }
  const urls::grammar::lut_chars& unreserved = last->chars;
  return urls::encode(text, unreserved);
}

std::optional<std::string> URL::removingPercentEncoding(std::string_view text) {
  auto escaped = urls::make_pct_string_view(text);
  if (!escaped) return std::nullopt;
  std::string decoded = escaped->decode();
  if (!detail::isValidUTF8(decoded)) return std::nullopt;
  return decoded;
}

namespace {
urls::url_view view(const std::string& text) { return urls::parse_uri_reference(text).value(); }
}  // namespace

std::string URL::scheme() const { return std::string(view(text_).scheme()); }

std::optional<std::string> URL::host() const {
  auto v = view(text_);
  if (!v.has_authority()) return std::nullopt;
  return v.host();
}

std::optional<int> URL::port() const {
  auto v = view(text_);
  if (!v.has_port()) return std::nullopt;
  return static_cast<int>(v.port_number());
}

std::string URL::path() const { return view(text_).path(); }

std::vector<std::string> URL::pathComponents() const {
  auto v = view(text_);
  std::vector<std::string> out;
  if (v.is_path_absolute()) out.emplace_back("/");
  for (auto seg : v.segments()) {
    if (!seg.empty()) out.push_back(seg);
  }
  return out;
}

std::string URL::lastPathComponent() const {
  auto parts = pathComponents();
  return parts.empty() ? std::string() : parts.back();
}

std::optional<std::string> URL::query() const {
  auto v = view(text_);
  if (!v.has_query()) return std::nullopt;
  return std::string(v.encoded_query());
}

std::optional<std::string> URL::fragment() const {
  auto v = view(text_);
  if (!v.has_fragment()) return std::nullopt;
  return v.fragment();
}

std::optional<std::vector<URL::QueryItem>> URL::queryItems() const {
  auto v = view(text_);
  if (!v.has_query()) return std::nullopt;
  std::vector<QueryItem> items;
  if (v.encoded_query().empty()) return items;
  urls::encoding_opts plusIsPlus;
  plusIsPlus.space_as_plus = false;
  for (auto param : v.params(plusIsPlus)) {
    items.push_back({std::move(param.key), param.has_value
                                               ? std::optional<std::string>(std::move(param.value))
                                               : std::nullopt});
  }
  return items;
}

bool URL::isFileURL() const { return view(text_).scheme_id() == urls::scheme::file; }

std::filesystem::path URL::filePath() const { return std::filesystem::path(path()); }

URL URL::appendingPathComponent(std::string_view component) const {
  urls::url u(view(text_));
  auto segs = u.segments();
  if (!segs.empty() && segs.back().empty()) segs.pop_back();  // trailing "/"
  segs.push_back(component);
  return URL(std::string(u.buffer()));
}

}  // namespace quarn
