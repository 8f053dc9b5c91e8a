#include "quarnkit/http/http_headers.h"

#include <algorithm>

namespace quarn::http {

const HTTPMethod HTTPMethod::get{"GET"};
const HTTPMethod HTTPMethod::head{"HEAD"};
const HTTPMethod HTTPMethod::post{"POST"};
const HTTPMethod HTTPMethod::put{"PUT"};
const HTTPMethod HTTPMethod::patch{"PATCH"};
const HTTPMethod HTTPMethod::delete_{"DELETE"};
const HTTPMethod HTTPMethod::options{"OPTIONS"};

bool headerNamesEqual(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

void HTTPHeaders::add(std::string name, std::string value) {
  fields_.push_back({std::move(name), std::move(value)});
}

void HTTPHeaders::update(std::string name, std::string value) {
  remove(name);
  add(std::move(name), std::move(value));
}

void HTTPHeaders::remove(std::string_view name) {
  std::erase_if(fields_, [&](const HTTPHeader& h) { return headerNamesEqual(h.name, name); });
}

std::optional<std::string> HTTPHeaders::value(std::string_view name) const {
  std::optional<std::string> out;
  for (const HTTPHeader& h : fields_) {
    if (!headerNamesEqual(h.name, name)) continue;
    if (out) {
      *out += ", ";
      *out += h.value;
    } else {
      out = h.value;
    }
  }
  return out;
}

std::optional<std::string> HTTPHeaders::exactValue(std::string_view name) const {
  for (const HTTPHeader& h : fields_) {
    if (h.name == name) return h.value;
  }
  return std::nullopt;
}

}  // namespace quarn::http
