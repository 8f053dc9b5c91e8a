#include "quarnkit/core/type_name.h"

#include <cxxabi.h>

#include <cctype>
#include <cstdlib>
#include <memory>

namespace quarn::detail {

std::string stripQualifiers(std::string_view input) {
  // Anonymous namespaces print differently per compiler; drop them first.
  std::string text(input);
  for (std::string_view anon : {"(anonymous namespace)::", "{anonymous}::"}) {
    for (auto p = text.find(anon); p != std::string::npos; p = text.find(anon, p)) {
      text.erase(p, anon.size());
    }
  }
  const std::string_view name = text;
  // Copy the text, dropping every identifier that is followed by "::" (and the
  // "::" itself), so "a::b::C<d::E>" becomes "C<E>".
  std::string out;
  out.reserve(name.size());
  size_t i = 0;
  while (i < name.size()) {
    const char c = name[i];
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
      size_t j = i;
      while (j < name.size() &&
             (std::isalnum(static_cast<unsigned char>(name[j])) || name[j] == '_')) {
        ++j;
      }
      if (name.substr(j, 2) == "::") {
        i = j + 2;
        continue;
      }
      out.append(name.substr(i, j - i));
      i = j;
    } else if (c == ':' && name.substr(i, 2) == "::") {
      i += 2;  // a leading "::"
    } else {
      out.push_back(c);
      ++i;
    }
  }
  return out;
}

}  // namespace quarn::detail

namespace quarn {

std::string typeNameOf(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> name(
      abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
  return detail::stripQualifiers(status == 0 && name ? name.get() : type.name());
}

}  // namespace quarn
