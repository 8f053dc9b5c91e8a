#include "tools/quarnkit/lint/lint.h"

#include <fmt/format.h>

#include <map>
#include <set>

#include "quarnkit/coding/json_serialization.h"
#include "quarnkit/composite_list/model/divider_include.h"
#include "quarnkit/composite_list/model/element.h"
#include "quarnkit/core/error.h"
#include "quarnkit/predicate/errors.h"
#include "quarnkit/predicate/key_path.h"
#include "quarnkit/predicate/parse_cache.h"
#include "tools/quarnkit/common/input_error.h"
#include "tools/quarnkit/common/input_file.h"
#include "tools/quarnkit/common/log_lines.h"
#include "tools/quarnkit/common/output.h"
#include "tools/quarnkit/host/host_descriptions.h"
#include "tools/quarnkit/host/host_environment.h"

namespace quarn::tool {

namespace {

using Severity = LintFinding::Severity;

class Linter {
 public:
  explicit Linter(const HostOptions& options) : session_(sessionOptions(options), false) {
    facts_ = session_.environment()->resolvedValues();
  }

  void lintTemplate() { lintFile(session_.includeChain().root()); }

  std::vector<LintFinding> findings() && { return std::move(findings_); }

 private:
  /// An include of a linted file that resolves, and the file it names.
  struct Include {
    IncludeSite site;
    IncludedFile target;
  };
  struct LintedFile {
    /// Items the file gives an include (elements with a type).
    std::size_t items = 0;
    std::vector<Include> includes;
  };

  // Lints a file's content once, then follows its includes every time it is
  // reached, as preview and explain follow them: the same chain finds a
  // cycle through any file, and the same bounds stop a fan-out.
  void lintFile(const IncludedFile& file) {
    auto [it, fresh] = files_.try_emplace(file.opened.string());
    if (fresh) it->second = lintContent(file);
    const LintedFile& linted = it->second;
    IncludeChain& chain = session_.includeChain();
    if (chain.depth() > 0 && !bounded([&] { chain.count(linted.items); })) {
      exhausted_ = true;
      return;
    }
    for (const Include& include : linted.includes) {
      if (exhausted_) return;
      std::optional<IncludeChain::Step> step;
      if (bounded([&] { step.emplace(chain.enter(include.site, include.target)); })) {
        lintFile(include.target);
      }
    }
  }

  // Runs a step of the chain; its refusal becomes one finding (once for
  // each place it is reported at).
  template <class Action>
  bool bounded(const Action& action) {
    try {
      action();
      return true;
    } catch (const InputError& e) {
      if (boundReported_.insert(e.file() + "\n" + e.path()).second) {
        report(e.file(), e.path(), Severity::error, e.reason());
      }
      return false;
    }
  }

  LintedFile lintContent(const IncludedFile& file) {
    LintedFile linted;
    Value document;
    try {
      document =
          parseJSON(readInputFile(file.opened, file.shown, session_.options().limits.maxFileSize));
    } catch (...) {
      report(file.shown, "", Severity::error, describeInput(file.shown));
      return linted;
    }
    if (!document.isArray()) {
      report(file.shown, "", Severity::error,
             "expected a JSON array of template items, found " +
                 std::string(Value::kindName(document.kind())));
      return linted;
    }
    linted.items = templateItemPaths(document).size();
    session_.host()->registerTypes(document);
    decodeEach(file.shown, document);
    lintItems(file.shown, document, "", linted.includes);
    return linted;
  }

  static HostOptions sessionOptions(HostOptions options) {
    // The linter decodes templates itself, one item at a time; the session
    // only provides the registry, the facts and the include provider.
    options.resultsFile.reset();
    return options;
  }

  std::string describeInput(const std::string& file) {
    try {
      rethrowAsInputError(file);
    } catch (const InputError& e) {
      return (e.path().empty() ? "" : e.path() + ": ") + e.reason();
    }
  }

  void report(std::string file, std::string path, Severity severity, std::string message) {
    findings_.push_back({std::move(file), std::move(path), severity, std::move(message)});
  }

  // Decodes every top-level element on its own, so that every broken item is
  // reported, not only the first.
  void decodeEach(const std::string& file, const Value& document) {
    const Value::Array& elements = *document.ifArray();
    const JSONDecoder decoder = session_.loader()->decoder();
    for (std::size_t i = 0; i < elements.size(); ++i) {
      const std::string position = "[" + std::to_string(i) + "]";
      if (auto number = outOfRangeNumber(elements[i], position)) {
        report(file, *number, Severity::error, kNumberOutOfRange);
        continue;
      }
      try {
        const std::string text = "[" + serializeJSON(elements[i]) + "]";
        (void)decodeCompositeListTemplate(text, session_.host()->registry(), decoder);
      } catch (const DecodingError& e) {
        std::string path = codingPathDescription(e.codingPath());
        // The path starts at the one-element array: put the real position in.
        if (path.starts_with("[0]")) path.replace(0, 3, position);
        report(file, path, Severity::error, describeDecodingFailure(std::current_exception()));
      } catch (...) {
        report(file, position, Severity::error, describeCurrentException());
      }
    }
  }

  void lintItems(const std::string& file, const Value& array, const std::string& arrayPath,
                 std::vector<Include>& includes) {
    const Value::Array* elements = array.ifArray();
    if (elements == nullptr) return;
    std::map<std::string, std::string> ids;  // uniqueId → first path
    for (std::size_t i = 0; i < elements->size(); ++i) {
      const Value& element = (*elements)[i];
      const std::string path = arrayPath + "[" + std::to_string(i) + "]";
      if (!element.isObject()) continue;  // a decoding error, reported already
      const Value* type = element.find("type");
      if (type == nullptr) {
        report(file, path, Severity::warning, "the item has no \"type\"; it is skipped");
        continue;
      }
      if (!type->isString()) continue;  // a decoding error
      const std::string& typeName = *type->ifString();
      noteType(file, path, typeName);

      const Value* uniqueId = element.find("uniqueId");
      const std::string id = uniqueId && uniqueId->isString() ? *uniqueId->ifString()
                                                              : typeName + "_" + std::to_string(i);
      if (auto [it, inserted] = ids.emplace(id, path); !inserted) {
        report(file, path + ".uniqueId", Severity::error,
               "duplicate uniqueId \"" + id + "\" (first at " + it->second +
                   "); results reach only the first");
      }

      const ValueDictionary itemValues = valuesWith(facts_, element.find("vars"));
      checkPredicate(file, path, element);
      if (const Value* data = element.find("data")) {
        for (const char* key : {"title", "description", "footerText"}) {
          checkPlaceholders(file, path + ".data." + key, data->find(key), itemValues);
        }
      }
      if (typeName == "rows" || typeName == "tags") lintRows(file, path, element, itemValues);
      if (typeName == "include") lintInclude(file, path, element, includes);
      for (const auto& [key, value] : *element.ifObject()) {
        if (isItemsKey(key)) {
          lintItems(file, value, fmt::format("{}.{}", path, key), includes);
        }
      }
    }
  }

  void noteType(const std::string& file, const std::string& path, const std::string& type) {
    if (HostRegistry::isBuiltIn(type) || !genericReported_.insert(type).second) return;
    report(
        file, path + ".type", Severity::warning,
        "no built-in description for type \"" + type + "\"; previewed as " +
            (CompositeListItemType(type).isAnyListOf() ? "a list of entities" : "a single entity") +
            " (the host must register one)");
  }

  void lintRows(const std::string& file, const std::string& path, const Value& item,
                const ValueDictionary& itemValues) {
    const Value* rows = item.find("entity");
    if (rows == nullptr || !rows->isArray()) return;
    for (std::size_t r = 0; r < rows->ifArray()->size(); ++r) {
      const Value& row = (*rows->ifArray())[r];
      const std::string rowPath = path + ".entity[" + std::to_string(r) + "]";
      checkPredicate(file, rowPath, row);
      const ValueDictionary rowValues = valuesWith(itemValues, row.find("vars"));
      checkPlaceholders(file, rowPath + ".text", row.find("text"), rowValues);
      checkPlaceholders(file, rowPath + ".details", row.find("details"), rowValues);
    }
  }

  void checkPredicate(const std::string& file, const std::string& path, const Value& element) {
    const Value* predicate = element.find("predicate");
    if (predicate == nullptr || !predicate->isString() || predicate->ifString()->empty()) return;
    try {
      (void)PredicateCache::shared().get(*predicate->ifString());
    } catch (const PredicateParseError& e) {
      report(file, path + ".predicate", Severity::error,
             "the predicate does not parse at position " + std::to_string(e.position()) + ": " +
                 e.reason() + " (\"" + e.text() + "\")");
    }
  }

  void checkPlaceholders(const std::string& file, const std::string& path, const Value* text,
                         const ValueDictionary& values) {
    if (text == nullptr || !text->isString()) return;
    for (const std::string& field : placeholderFields(*text->ifString())) {
      std::optional<Value> found;
      try {
        found = valueForKeyPath(values, field);
      } catch (...) {
        report(file, path, Severity::warning,
               "placeholder ${" + field + "} cannot be looked up: " + describeCurrentException());
        continue;
      }
      if (!found || found->isNull()) {
        report(file, path, Severity::warning,
               "placeholder ${" + field + "} names no fact and no variable of the item");
      }
    }
  }

  void lintInclude(const std::string& file, const std::string& path, const Value& item,
                   std::vector<Include>& includes) {
    const Value* entity = item.find("entity");
    if (entity == nullptr) {
      report(file, path, Severity::error, "the include has no \"entity\" naming its template");
      return;
    }
    std::optional<CompositeListInclude> include;
    try {
      JSONDecoder decoder;
      include = decoder.decode<CompositeListInclude>(serializeJSON(*entity));
    } catch (...) {
      return;  // a decoding error, reported already
    }
    const IncludeSite site{file, path};
    try {
      includes.push_back({site, session_.provider()->resolve(site, include->templateSource)});
    } catch (const InputError& e) {
      report(e.file(), e.path(), Severity::error, e.reason());
    }
  }

  static ValueDictionary valuesWith(const ValueDictionary& values, const Value* vars) {
    ValueDictionary out = values;
    if (vars != nullptr && vars->isObject()) out.merge(*vars->ifObject());
    return out;
  }

  HostSession session_;
  ValueDictionary facts_;
  /// Each file linted, by its resolved path.
  std::map<std::string, LintedFile> files_;
  std::set<std::string> boundReported_;
  /// Set once the included items pass their limit: nothing more is followed.
  bool exhausted_ = false;
  std::set<std::string> genericReported_;
  std::vector<LintFinding> findings_;
};

}  // namespace

std::vector<std::string> placeholderFields(std::string_view text) {
  std::vector<std::string> fields;
  std::size_t at = 0;
  while ((at = text.find("${", at)) != std::string_view::npos) {
    const std::size_t end = text.find('}', at + 2);
    if (end == std::string_view::npos) break;
    if (end > at + 2) fields.emplace_back(text.substr(at + 2, end - at - 2));
    at = end + 1;
  }
  return fields;
}

std::vector<LintFinding> lintTemplate(const HostOptions& options) {
  Linter linter(options);
  linter.lintTemplate();
  return std::move(linter).findings();
}

int runLint(const HostOptions& options) {
  HostPlatform platform(options.device, options.now);
  const std::vector<LintFinding> findings = lintTemplate(options);
  LibraryLogLines::discardCurrent();
  std::size_t errors = 0;
  std::string out;
  for (const LintFinding& f : findings) {
    out += f.line() + "\n";
    if (f.severity == LintFinding::Severity::error) ++errors;
  }
  const std::size_t warnings = findings.size() - errors;
  out += options.templateFile + ": " + std::to_string(errors) +
         (errors == 1 ? " error, " : " errors, ") + std::to_string(warnings) +
         (warnings == 1 ? " warning\n" : " warnings\n");
  writeOutput(std::nullopt, out);
  return errors > 0 ? 1 : 0;
}

}  // namespace quarn::tool
