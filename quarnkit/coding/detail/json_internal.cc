#include "quarnkit/coding/detail/json_internal.h"

#include <fmt/format.h>

#include <algorithm>
#include <vector>

#include "quarnkit/coding/coding_error.h"
#include "quarnkit/coding/json_decoder.h"

namespace quarn::detail {

namespace json = boost::json;

boost::json::value parseJSONText(std::string_view text, json::storage_ptr storage) {
  json::parse_options options;
  options.max_depth = JSONDecoder::kMaxDepth;
  json::parser parser(json::storage_ptr(), options);
  parser.reset(std::move(storage));  // the document is built in `storage`
  boost::system::error_code ec;
  std::size_t consumed = parser.write_some(text.data(), text.size(), ec);
  if (!ec && consumed < text.size()) ec = json::error::extra_data;
  if (ec) {
    // Locate the failure for the message: 1-based line and column.
    consumed = std::min(consumed, text.size());
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < consumed; ++i) {
      if (text[i] == '\n') {
        ++line;
        column = 1;
      } else {
        ++column;
      }
    }
    std::string reason = ec == json::error::too_deep
                             ? fmt::format("nesting deeper than {} levels", JSONDecoder::kMaxDepth)
                             : ec.message();
    throw DecodingError::dataCorrupted(
        {{},
         fmt::format("The given data was not valid JSON: {} at line {}, column {}.", reason, line,
                     column)});
  }
  return parser.release();
}

Value toValue(const json::value& v) {
  switch (v.kind()) {
    case json::kind::null:
      return Value();
    case json::kind::bool_:
      return Value(v.get_bool());
    case json::kind::int64:
      return Value(v.get_int64());
    case json::kind::uint64: {
      const auto u = v.get_uint64();
      if (u <= static_cast<std::uint64_t>(INT64_MAX)) return Value(static_cast<std::int64_t>(u));
      return Value(static_cast<double>(u));
    }
    case json::kind::double_:
      return Value(v.get_double());
    case json::kind::string:
      return Value(std::string(v.get_string()));
    case json::kind::array: {
      Value::Array out;
      out.reserve(v.get_array().size());
      for (const auto& e : v.get_array()) out.push_back(toValue(e));
      return Value(std::move(out));
    }
    case json::kind::object: {
      Value::Object out;
      out.reserve(v.get_object().size());
      for (const auto& e : v.get_object()) out.set(std::string(e.key()), toValue(e.value()));
      return Value(std::move(out));
    }
  }
  return Value();
}

namespace {

void writeString(std::string_view s, std::string& out) {
  out.push_back('"');
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          out += fmt::format("\\u{:04x}", c);
        } else {
          out.push_back(ch);
        }
    }
  }
  out.push_back('"');
}

void newline(const JSONOutputFormatting& f, int depth, std::string& out) {
  if (!f.prettyPrinted) return;
  out.push_back('\n');
  out.append(static_cast<std::size_t>(depth) * 2, ' ');
}

void write(const json::value& v, const JSONOutputFormatting& f, int depth, std::string& out) {
  switch (v.kind()) {
    case json::kind::null:
      out += "null";
      break;
    case json::kind::bool_:
      out += v.get_bool() ? "true" : "false";
      break;
    case json::kind::int64:
      fmt::format_to(std::back_inserter(out), "{}", v.get_int64());
      break;
    case json::kind::uint64:
      fmt::format_to(std::back_inserter(out), "{}", v.get_uint64());
      break;
    case json::kind::double_:
      fmt::format_to(std::back_inserter(out), "{}", v.get_double());
      break;
    case json::kind::string:
      writeString(v.get_string(), out);
      break;
    case json::kind::array: {
      const auto& a = v.get_array();
      if (a.empty()) {
        out += "[]";
        break;
      }
      out.push_back('[');
      bool first = true;
      for (const auto& e : a) {
        if (!first) out.push_back(',');
        first = false;
        newline(f, depth + 1, out);
        write(e, f, depth + 1, out);
      }
      newline(f, depth, out);
      out.push_back(']');
      break;
    }
    case json::kind::object: {
      const auto& o = v.get_object();
      if (o.empty()) {
        out += "{}";
        break;
      }
      std::vector<const json::key_value_pair*> members;
      members.reserve(o.size());
      for (const auto& e : o) members.push_back(&e);
      if (f.sortedKeys) {
        std::sort(members.begin(), members.end(),
                  [](const auto* a, const auto* b) { return a->key() < b->key(); });
      }
      out.push_back('{');
      bool first = true;
      for (const auto* e : members) {
        if (!first) out.push_back(',');
        first = false;
        newline(f, depth + 1, out);
        writeString(e->key(), out);
        out += f.prettyPrinted ? " : " : ":";
        write(e->value(), f, depth + 1, out);
      }
      newline(f, depth, out);
      out.push_back('}');
      break;
    }
  }
}

}  // namespace

void writeJSON(const json::value& v, const JSONOutputFormatting& formatting, std::string& out) {
  write(v, formatting, 0, out);
}

}  // namespace quarn::detail
