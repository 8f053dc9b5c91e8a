#include "tools/quarnkit/route/route.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <map>
#include <string_view>
#include <unordered_map>

#include "quarnkit/coding/json_schema.h"
#include "quarnkit/coding/json_serialization.h"
#include "quarnkit/core/detail/utf8.h"
#include "quarnkit/core/uuid.h"
#include "quarnkit/routing/url_pattern.h"
#include "quarnkit/routing/url_pattern_set.h"
#include "tools/quarnkit/common/input_file.h"
#include "tools/quarnkit/common/output.h"
#include "tools/quarnkit/route/route_check.h"

namespace quarn::tool {

namespace {

constexpr int kUsageStatus = 2;
constexpr std::string_view kByteOrderMark = "\xef\xbb\xbf";

std::vector<std::string> fieldsOf(std::string_view line) {
  std::vector<std::string> fields;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) fields.emplace_back(line.substr(start, i - start));
  }
  return fields;
}

// The lines of `text`, as views into it.
std::vector<std::string_view> linesOf(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.emplace_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

// Whether each "<" is closed by a ">" before the next "<", and each ">" closes one.
bool bracketsPair(std::string_view text) {
  bool open = false;
  for (const char c : text) {
    if (c == '<' || c == '>') {
      if (open == (c == '<')) return false;
      open = !open;
    }
  }
  return !open;
}

std::string inQuotes(std::string_view text) { return detail::debugQuoted(text); }

// A placeholder value as text ("42", "\"abc\"") and as JSON.
std::string valueText(const std::any& value) {
  const std::string text = describeURLValue(value).value_or("?");
  return std::any_cast<std::string>(&value) != nullptr ? inQuotes(text) : text;
}

Value valueJSON(const std::any& value) {
  if (const auto* i = std::any_cast<std::int64_t>(&value)) return *i;
  if (const auto* f = std::any_cast<float>(&value); f != nullptr && std::isfinite(*f)) {
    return std::stod(*describeURLValue(value));  // the float's shortest text, as a number
  }
  return describeURLValue(value).value_or("?");
}

std::string valuesText(const URLMatchValues& values) {
  std::string out;
  for (const auto& [key, value] : values) {
    out += (out.empty() ? "" : ", ") + key + " = " + valueText(value);
  }
  return out;
}

Value valuesJSON(const URLMatchValues& values) {
  Value::Object out;
  for (const auto& [key, value] : values) out.set(key, valueJSON(value));
  return out;
}

std::string schemeText(const std::optional<std::string>& scheme) {
  return scheme ? "\"" + *scheme + "\"" : "none";
}

// Why a pattern did not match `url`, in words.
std::string failureText(const URLMatchOutcome& outcome, const NormalizedURL& url,
                        const URLPattern& pattern) {
  using Reason = URLMatchOutcome::Reason;
  const std::size_t k = outcome.component;
  switch (outcome.reason) {
    case Reason::matched:
      return "matched";
    case Reason::scheme:
      return "scheme " + schemeText(pattern.scheme) + ", the URL's is " + schemeText(url.scheme);
    case Reason::componentCount:
      return countOf(pattern.components.size(), "component") +
             (pattern.hasPathPlaceholder ? " at least" : "") + ", the URL has " +
             std::to_string(url.components.size());
    case Reason::literal:
      return "component " + std::to_string(k + 1) + " is " + inQuotes(url.components[k]) +
             ", not " + inQuotes(pattern.components[k].text);
    case Reason::value:
      return "component " + std::to_string(k + 1) + " " + inQuotes(url.components[k]) +
             " is not a valid " + pattern.components[k].type.value_or("");
  }
  return "";
}

class RouteCommand {
 public:
  RouteCommand(const RouteOptions& options, RouteTable table)
      : options_(options), table_(std::move(table)) {}

  RouteReport run() {
    if (options_.check) return check();
    // The index is for matching only: the check reads the patterns itself.
    firstOf_.reserve(table_.routes.size());
    for (std::size_t i = 0; i < table_.routes.size(); ++i) {
      patterns_.add(table_.routes[i].pattern);
      firstOf_.try_emplace(table_.routes[i].pattern, i);
    }
    const bool json = options_.format == Format::json;
    Value::Array documents;
    std::size_t argument = 0;
    for (const std::string& given : options_.urls) {
      ++argument;
      if (given == "-") {
        std::size_t line = 0;
        for (const std::string_view url : linesOf(options_.input)) {
          ++line;
          if (!fieldsOf(url).empty()) {
            route(std::string(url), "<stdin>:" + std::to_string(line), documents);
          }
        }
      } else {
        route(given, "URL " + std::to_string(argument), documents);
      }
    }
    if (json)
      report_.output = serializeJSON(Value(std::move(documents)), {.prettyPrinted = true}) + "\n";
    return std::move(report_);
  }

 private:
  void error(const std::string& where, const std::string& message) {
    report_.errors += where + ": error: " + message + "\n";
    report_.status = 1;
  }

  // Matches one URL and writes what came of it.
  void route(const std::string& url, const std::string& where, Value::Array& documents) {
    if (!detail::isValidUTF8(url)) return error(where, "not valid UTF-8");
    if (!URLConvertible(url).urlValue()) {
      report_.errors += where + ": warning: " + inQuotes(url) +
                        " is no URL even percent-encoded; it is matched by its raw text\n";
    }
    const auto result = matcher_.match(url, patterns_);
    if (!result) report_.status = 1;
    const Route* winner = result ? &table_.routes[firstOf_.at(result->pattern)] : nullptr;
    if (options_.format == Format::json) {
      Value::Object document{{"url", url}, {"match", matchJSON(winner, result)}};
      if (options_.explain) document.set("candidates", candidatesJSON(url, winner));
      documents.emplace_back(std::move(document));
      return;
    }
    std::string& out = report_.output;
    out += url + " -> " + (winner ? winner->label() : "no match") + "\n";
    if (result && !result->values.empty()) out += "    " + valuesText(result->values) + "\n";
    if (options_.explain) out += candidatesText(url, winner);
  }

  [[nodiscard]] static Value matchJSON(const Route* winner,
                                       const std::optional<URLMatchResult>& result) {
    if (!winner) return nullptr;
    return Value::Object{{"line", winner->line},
                         {"pattern", winner->pattern},
                         {"name", winner->name ? Value(*winner->name) : Value()},
                         {"values", valuesJSON(result->values)}};
  }

  // Each route's outcome for `url`: the reason, and whether it lost to the winner.
  struct Candidate {
    const Route* route;
    URLPattern pattern;
    URLMatchOutcome outcome;
    std::string why;
  };
  std::vector<Candidate> candidates(const std::string& url, const Route* winner) const {
    const NormalizedURL normalized(url);
    std::vector<Candidate> out;
    for (const Route& r : table_.routes) {
      Candidate c{&r, URLPattern(r.pattern), matcher_.explain(url, r.pattern), {}};
      if (c.outcome.result) {
        c.why =
            "matched: " + (c.outcome.result->values.empty() ? std::string("no placeholders")
                                                            : valuesText(c.outcome.result->values));
        if (&r != winner) c.why += "; loses to line " + std::to_string(winner->line);
      } else {
        c.why = failureText(c.outcome, normalized, c.pattern);
      }
      out.push_back(std::move(c));
    }
    return out;
  }

  std::string candidatesText(const std::string& url, const Route* winner) const {
    std::string out;
    for (const Candidate& c : candidates(url, winner)) {
      out += std::string("  ") + (c.route == winner ? "* " : "  ") + c.route->label() + ", " +
             std::to_string(c.pattern.literalCount) + " literal: " + c.why + "\n";
    }
    return out;
  }

  Value candidatesJSON(const std::string& url, const Route* winner) const {
    static const std::map<URLMatchOutcome::Reason, const char*> kReasons{
        {URLMatchOutcome::Reason::matched, "matched"},
        {URLMatchOutcome::Reason::scheme, "scheme"},
        {URLMatchOutcome::Reason::componentCount, "componentCount"},
        {URLMatchOutcome::Reason::literal, "literal"},
        {URLMatchOutcome::Reason::value, "value"}};
    Value::Array out;
    for (const Candidate& c : candidates(url, winner)) {
      out.emplace_back(Value::Object{{"line", c.route->line},
                                     {"pattern", c.route->pattern},
                                     {"literalComponents", c.pattern.literalCount},
                                     {"reason", kReasons.at(c.outcome.reason)},
                                     {"winner", c.route == winner},
                                     {"detail", c.why}});
    }
    return out;
  }

  RouteReport check() {
    const auto findings = checkRoutes(table_.routes, matcher_);
    if (!findings.empty()) report_.status = 1;
    if (options_.format == Format::json) {
      Value::Array items;
      for (const RouteFinding& f : findings) {
        const Route& r = table_.routes[f.route];
        items.emplace_back(
            Value::Object{{"kind", kindName(f.kind)},
                          {"line", r.line},
                          {"pattern", r.pattern},
                          {"otherLine", f.other ? Value(table_.routes[*f.other].line) : Value()},
                          {"example", f.example.empty() ? Value() : Value(f.example)},
                          {"ties", f.ties == 0 ? Value() : Value(f.ties)},
                          {"message", f.message}});
      }
      report_.output = serializeJSON(Value(Value::Object{{"routes", table_.routes.size()},
                                                         {"findings", std::move(items)}}),
                                     {.prettyPrinted = true}) +
                       "\n";
      return std::move(report_);
    }
    for (const RouteFinding& f : findings) {
      report_.output += table_.file + ":" + std::to_string(table_.routes[f.route].line) + ": " +
                        kindLabel(f.kind) + ": " + table_.routes[f.route].pattern + ": " +
                        f.message + "\n";
    }
    report_.output += findings.empty()
                          ? "No findings in " + std::to_string(table_.routes.size()) + " routes.\n"
                          : countOf(findings.size(), "finding") + " in " +
                                std::to_string(table_.routes.size()) + " routes.\n";
    return std::move(report_);
  }

  const RouteOptions& options_;
  RouteTable table_;
  URLMatcher matcher_;
  URLPatternSet patterns_;
  // Into the routes' own texts, which do not change after construction.
  std::unordered_map<std::string_view, std::size_t> firstOf_;
  RouteReport report_;
};

}  // namespace

std::string countOf(std::size_t n, const char* noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

std::string Route::label() const {
  return "line " + std::to_string(line) + " " + pattern + (name ? " (" + *name + ")" : "");
}

std::optional<std::string> patternProblem(const std::string& pattern) {
  std::size_t index = 0;
  // The components the matcher compares: those of the normalised pattern.
  for (const URLPathComponent& c : URLPattern(pattern).components) {
    ++index;
    const std::string component = "component " + std::to_string(index) + " ";
    if (c.isPlain() && c.text.size() > 1 && c.text.front() == '<' && c.text.back() == '>') {
      return component + inQuotes(c.text) + " has more than one \":\"; it would match only itself";
    }
    // The matcher reads a component as a placeholder only when it is one
    // "<...>" whole; anything else is literal text, brackets included.
    // Brackets that do not pair up are a typo.
    const std::string written = c.isPlain() ? c.text : "<" + c.text + ">";
    if (!bracketsPair(written)) {
      return component + inQuotes(written) + " has an unbalanced \"<\" or \">\"";
    }
    if (c.isPlaceholder() && c.text.empty()) return component + "is a placeholder without a key";
  }
  return std::nullopt;
}

namespace {

// The line each element of a JSON routes document's entry list starts on:
// of the top-level array, or of the "routes" array of a top-level object.
// `text` is known to be JSON.
std::vector<std::size_t> entryLines(std::string_view text) {
  struct Open {
    char kind;
    std::string key;
    bool expectKey = false;
  };
  std::vector<Open> open;
  std::vector<std::size_t> lines;
  std::size_t line = 1;
  bool inValue = false;  // inside a number or a literal
  auto atEntries = [&] {
    return (open.size() == 1 && open[0].kind == '[') ||
           (open.size() == 2 && open[0].kind == '{' && open[0].key == "routes" &&
            open[1].kind == '[');
  };
  auto valueStarts = [&] {
    if (atEntries()) lines.push_back(line);
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\n') ++line;
    if (c == '"') {
      std::string s;
      for (++i; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] == '\\') ++i;
        if (i < text.size()) s += text[i];
      }
      if (!open.empty() && open.back().kind == '{' && open.back().expectKey) {
        open.back().key = std::move(s);
        open.back().expectKey = false;
      } else {
        valueStarts();
      }
      inValue = false;
      continue;
    }
    if (c == '{' || c == '[') {
      valueStarts();
      open.push_back({c, {}, c == '{'});
      inValue = false;
    } else if (c == '}' || c == ']') {
      if (!open.empty()) open.pop_back();
      inValue = false;
    } else if (c == ',') {
      if (!open.empty() && open.back().kind == '{') open.back().expectKey = true;
      inValue = false;
    } else if (c == ':' || c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      inValue = false;
    } else if (!inValue) {
      valueStarts();
      inValue = true;
    }
  }
  return lines;
}

bool isJSONRoutes(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && (text[first] == '[' || text[first] == '{');
}

// The JSON form: entries numbered by the line they start on.
void readJSONRoutes(RouteTable& table, std::string_view text) {
  const std::string& file = table.file;
  const Value document = parseInputJSON(file, text);
  const Value* entries = &document;
  if (const auto* object = document.ifObject()) {
    entries = object->find("routes");
    if (entries == nullptr || !entries->isArray()) {
      table.errors.push_back(file + ": error: expected a \"routes\" array of entries");
      return;
    }
  }
  const std::vector<std::size_t> lines = entryLines(text);
  std::map<std::string, std::size_t> names;
  std::size_t index = 0;
  for (const Value& entry : *entries->ifArray()) {
    const std::size_t number = index < lines.size() ? lines[index] : 0;
    ++index;
    const std::string where = file + ":" + std::to_string(number) + ": error: ";
    Route route{number, {}, std::nullopt};
    const Value* pattern = &entry;
    if (const auto* object = entry.ifObject()) {
      pattern = object->find("pattern");
      if (const Value* name = object->find("name"); name != nullptr && !name->isNull()) {
        if (!name->isString()) {
          table.errors.push_back(where + "the name is not a string");
          continue;
        }
        route.name = *name->ifString();
      }
    }
    if (pattern == nullptr || !pattern->isString() || pattern->ifString()->empty()) {
      table.errors.push_back(where +
                             "expected a pattern, or an object with a \"pattern\" and a \"name\"");
      continue;
    }
    route.pattern = *pattern->ifString();
    if (route.name) {
      if (auto [it, added] = names.try_emplace(*route.name, number); !added) {
        table.errors.push_back(where + "the name " + inQuotes(*route.name) + " is used on line " +
                               std::to_string(it->second) + " already");
        continue;
      }
    }
    if (auto problem = patternProblem(route.pattern)) {
      table.errors.push_back(where + *problem);
      continue;
    }
    table.routes.push_back(std::move(route));
  }
}

}  // namespace

RouteTable readRouteTable(const std::string& file, std::uint64_t maxBytes) {
  RouteTable table;
  table.file = file;
  std::map<std::string, std::size_t> names;
  std::size_t number = 0;
  std::string text = readInputFile(file, maxBytes);
  // Editors that save a byte-order mark would otherwise make it part of the first pattern.
  if (text.starts_with(kByteOrderMark)) text.erase(0, kByteOrderMark.size());
  if (isJSONRoutes(text)) {
    readJSONRoutes(table, text);
    return table;
  }
  for (const std::string_view line : linesOf(text)) {
    ++number;
    const std::string where = file + ":" + std::to_string(number) + ": error: ";
    const auto fields = fieldsOf(line);
    if (fields.empty() || fields.front().starts_with('#')) continue;
    if (!detail::isValidUTF8(line)) {
      table.errors.push_back(where + "not valid UTF-8");
      continue;
    }
    if (fields.size() > 2) {
      table.errors.push_back(where + "expected a pattern and an optional name, found " +
                             std::to_string(fields.size()) + " fields");
      continue;
    }
    Route route{number, fields[0], std::nullopt};
    if (fields.size() == 2) {
      route.name = fields[1];
      if (auto [it, added] = names.try_emplace(fields[1], number); !added) {
        table.errors.push_back(where + "the name " + inQuotes(fields[1]) + " is used on line " +
                               std::to_string(it->second) + " already");
        continue;
      }
    }
    if (auto problem = patternProblem(fields[0])) {
      table.errors.push_back(where + *problem);
      continue;
    }
    table.routes.push_back(std::move(route));
  }
  return table;
}

Value routeTableSchema(const std::string& id) {
  namespace s = json_schema;
  Value pattern = s::string(
      "A URL pattern: literal components, * (any one component) and placeholders <key> or "
      "<type:key>, type one of string, int, float, uuid, path (the rest of the URL) or the "
      "host's own. Of several matching patterns the one with the most literal components wins, "
      "then the earlier one.");
  // Every "<" closed by a ">" before the next "<"; no placeholder without a
  // key, none with two ":" (a whole component: it would be literal text).
  pattern.ifObject()->set(
      "pattern", "^(?!.*<>)(?!(.*/)?<[^<>/]*:[^<>/]*:[^<>/]*>(/|$))[^<>]*(<[^<>]*>[^<>]*)*$");
  pattern.ifObject()->set("minLength", 1);
  pattern.ifObject()->set("examples", Value::Array{Value("myapp://profile/<int:id>")});
  Value entry = Value::Object{
      {"title", "Route"},
      {"description", "A pattern, alone or with the name of the screen it opens."},
      {"anyOf", Value::Array{s::ref("pattern"),
                             s::object("", "",
                                       {{"pattern", s::ref("pattern"), true},
                                        {"name", s::string("The route's name (unique).")}})}}};
  Value entries = s::array(s::ref("entry"), "The routes, in the order the app lists them.");
  Value root = Value::Object{
      {"anyOf",
       Value::Array{s::ref("entries"), s::object("", "", {{"routes", s::ref("entries"), true}})}}};
  return s::document(id, "Routes", "An app's routing table: URL patterns in order, with names.",
                     std::move(root),
                     ValueObject{{"entries", std::move(entries)},
                                 {"entry", std::move(entry)},
                                 {"pattern", std::move(pattern)}});
}

RouteReport routeReport(const RouteOptions& options) {
  if (options.check == !options.urls.empty() || (options.check && options.explain)) {
    return {"", "quarnkit route: give URLs to match (--explain to see why), or --check alone\n",
            kUsageStatus};
  }
  RouteTable table = readRouteTable(options.routesFile, options.maxFileSize);
  if (!table.errors.empty()) {
    RouteReport report;
    for (const auto& e : table.errors) report.errors += e + "\n";
    report.status = 1;
    return report;
  }
  return RouteCommand(options, std::move(table)).run();
}

int runRoute(RouteOptions options) {
  if (std::find(options.urls.begin(), options.urls.end(), "-") != options.urls.end()) {
    options.input = readStandardInput(options.maxFileSize);
    if (options.input.starts_with(kByteOrderMark)) options.input.erase(0, kByteOrderMark.size());
  }
  const RouteReport report = routeReport(options);
  writeOutput(std::nullopt, report.output);
  writeErrors(report.errors);
  return report.status;
}

}  // namespace quarn::tool
