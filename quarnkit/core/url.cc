#include "quarnkit/core/url.h"

#include <boost/url.hpp>

namespace quarn {

namespace urls = boost::urls;

std::optional<URL> URL::parse(std::string_view text) {
  if (text.empty()) return std::nullopt;
  auto r = urls::parse_uri_reference(text);
  if (!r) return std::nullopt;
  return URL(std::string(text));
}

URL URL::fileURL(const std::filesystem::path& path) {
  urls::url u;
  u.set_scheme("file");
  u.set_host("");
  u.set_path(std::filesystem::absolute(path).lexically_normal().generic_string());
  return URL(std::string(u.buffer()));
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
