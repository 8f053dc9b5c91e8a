#include "tools/quarnkit/explain/explain_command.h"

#include <map>

#include "quarnkit/coding/json_serialization.h"
#include "quarnkit/platform/runtime/async.h"
#include "tools/quarnkit/common/input_error.h"
#include "tools/quarnkit/common/log_lines.h"
#include "tools/quarnkit/common/output.h"
#include "tools/quarnkit/explain/explain.h"

namespace quarn::tool {

namespace {

// A matrix bigger than this is almost certainly a typo.
constexpr std::size_t kMaxCombinations = 256;

std::string premiumText(std::optional<bool> premium) {
  if (!premium) return "premium unknown";
  return *premium ? "premium user" : "free user";
}

Value optionalBool(std::optional<bool> b) { return b ? Value(*b) : Value(); }

std::string explanationText(const Explanation& e, const HostOptions& options) {
  std::string out = options.templateFile + " — " + std::string(platform::toString(options.device)) +
                    ", " + premiumText(e.premium) + ", " + e.now.iso8601String() + "\n";
  std::size_t shown = 0;
  for (const ExplainedItem& item : e.items) {
    if (item.isShown()) ++shown;
    std::string line(static_cast<std::size_t>(2 + 2 * item.depth), ' ');
    line += item.isShown() ? "shown   " : "hidden  ";
    line += item.uniqueId + " (" + item.type + ")";
    const std::string why = describeVisibility(item, e.premium);
    if (why != "shown") line += ": " + why.substr(why.find(':') + 2);
    if (item.depth > 0) line += "  [" + item.file + " " + item.path + "]";
    out += line + "\n";
  }
  out += std::to_string(shown) + " of " + std::to_string(e.items.size()) + " items shown.\n";
  if (e.nextChange) {
    out += "Next change: " + e.nextChange->date.iso8601String() + ", when " +
           e.nextChange->uniqueId + (e.nextChange->starts ? " starts" : " expires") + ".\n";
  } else {
    out += "No start or expiry date ahead changes what is shown.\n";
  }
  return out;
}

Value explanationJSON(const Explanation& e, const HostOptions& options) {
  Value::Array items;
  for (const ExplainedItem& item : e.items) {
    items.push_back(Value::Object{
        {"uniqueId", item.uniqueId},
        {"type", item.type},
        {"file", item.file},
        {"path", item.path},
        {"depth", item.depth},
        {"shown", item.isShown()},
        {"reason", reasonName(item)},
        {"detail", describeVisibility(item, e.premium)},
    });
  }
  Value next;
  if (e.nextChange) {
    next = Value::Object{{"date", e.nextChange->date},
                         {"uniqueId", e.nextChange->uniqueId},
                         {"event", e.nextChange->starts ? "starts" : "expires"}};
  }
  return Value::Object{{"template", options.templateFile},
                       {"now", e.now},
                       {"device", std::string(platform::toString(options.device))},
                       {"premium", optionalBool(e.premium)},
                       {"items", std::move(items)},
                       {"nextChange", std::move(next)}};
}

Explanation explainOnce(const HostOptions& options) {
  HostPlatform platform(options.device, options.now);
  HostSession session(options);
  return runUntilComplete(explain(session));
}

std::string matrixDocument(const ExplainOptions& options) {
  std::vector<MatrixAxis> axes;
  std::size_t combinations = 1;
  for (const std::string& text : options.matrix) {
    try {
      axes.push_back(parseMatrixAxis(text));
    } catch (const std::invalid_argument& e) {
      throw InputError("--matrix", "", e.what());
    }
    combinations *= axes.back().values.size();
    if (combinations > kMaxCombinations) {
      throw InputError("--matrix", "",
                       "more than " + std::to_string(kMaxCombinations) + " combinations");
    }
  }
  struct Row {
    std::string label;
    ExplainedItem item;
    std::vector<std::optional<bool>> shown;
  };
  std::vector<std::string> labels;
  std::vector<Value> columns;
  std::vector<Row> rows;
  std::map<std::string, std::size_t> rowOf;
  for (std::size_t c = 0; c < combinations; ++c) {
    HostOptions host = options.host;
    std::string label;
    Value::Object column;
    std::size_t rest = c;
    std::vector<std::size_t> picks(axes.size());
    for (std::size_t a = axes.size(); a-- > 0;) {
      picks[a] = rest % axes[a].values.size();
      rest /= axes[a].values.size();
    }
    for (std::size_t a = 0; a < axes.size(); ++a) {
      const std::string& value = axes[a].values[picks[a]];
      try {
        host = applyAxisValue(std::move(host), axes[a].name, value);
      } catch (const std::invalid_argument& e) {
        throw InputError("--matrix", "", e.what());
      }
      label += (label.empty() ? "" : " ") + axes[a].name + "=" + value;
      column.set(axes[a].name, value);
    }
    labels.push_back(label);
    columns.emplace_back(std::move(column));
    const Explanation e = explainOnce(host);
    for (const ExplainedItem& item : e.items) {
      auto [it, inserted] = rowOf.emplace(item.key(), rows.size());
      if (inserted) {
        rows.push_back({std::string(static_cast<std::size_t>(2 * item.depth), ' ') + item.uniqueId +
                            " (" + item.type + ")",
                        item, std::vector<std::optional<bool>>(combinations)});
      }
      rows[it->second].shown[c] = item.isShown();
    }
  }

  if (options.format == Format::json) {
    Value::Array items;
    for (const Row& row : rows) {
      Value::Array shown;
      for (const auto& s : row.shown) shown.push_back(s ? Value(*s) : Value());
      items.push_back(Value::Object{{"uniqueId", row.item.uniqueId},
                                    {"type", row.item.type},
                                    {"file", row.item.file},
                                    {"path", row.item.path},
                                    {"shown", std::move(shown)}});
    }
    Value::Object document{{"template", options.host.templateFile},
                           {"combinations", Value::Array(columns.begin(), columns.end())},
                           {"items", std::move(items)}};
    return serializeJSON(Value(std::move(document)), {.prettyPrinted = true}) + "\n";
  }

  std::string out = options.host.templateFile + " — items shown in each combination\n";
  for (std::size_t c = 0; c < labels.size(); ++c) {
    out += "  " + std::to_string(c + 1) + "  " + labels[c] + "\n";
  }
  std::size_t width = 4;
  for (const Row& row : rows) width = std::max(width, row.label.size() + 2);
  const std::size_t cell = std::to_string(combinations).size() + 2;
  auto pad = [](std::string text, std::size_t to) {
    if (text.size() < to) text.append(to - text.size(), ' ');
    return text;
  };
  out += "\n";
  std::string header = pad("item", width);
  for (std::size_t c = 0; c < combinations; ++c) header += pad(std::to_string(c + 1), cell);
  while (header.back() == ' ') header.pop_back();
  out += header + "\n";
  for (const Row& row : rows) {
    std::string line = pad(row.label, width);
    for (const auto& s : row.shown) {
      // Padding counts bytes; the check mark takes three.
      line += !s ? pad("-", cell) : *s ? pad("✓", cell + 2) : pad("·", cell + 1);
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += line + "\n";
  }
  out += "\n✓ shown   · hidden   - not in that combination (behind an include)\n";
  return out;
}

}  // namespace

std::string explainDocument(const ExplainOptions& options) {
  if (options.format == Format::html) {
    throw InputError("--format", "", "explain writes text or json");
  }
  if (!options.matrix.empty()) return matrixDocument(options);
  const Explanation e = explainOnce(options.host);
  if (options.format == Format::json) {
    return serializeJSON(explanationJSON(e, options.host), {.prettyPrinted = true}) + "\n";
  }
  return explanationText(e, options.host);
}

int runExplain(const ExplainOptions& options) {
  const std::string document = explainDocument(options);
  // Broken predicates are part of the explanation already.
  LibraryLogLines::discardCurrent();
  writeOutput(options.output, document);
  return 0;
}

}  // namespace quarn::tool
