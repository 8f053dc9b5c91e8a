#include "tools/quarnkit/page/page.h"

#include <fmt/format.h>

#include "quarnkit/coding/json_serialization.h"
#include "tools/quarnkit/common/http_options.h"
#include "tools/quarnkit/common/log_lines.h"
#include "tools/quarnkit/common/output.h"

namespace quarn::tool {

namespace {

std::string parametersText(const Value::Object& parameters) {
  std::string out;
  for (const auto& [name, value] : parameters) {
    out += (out.empty() ? "" : " ") + name + "=" +
           (value.isString() ? *value.ifString() : serializeJSON(value));
  }
  return out.empty() ? "(none)" : out;
}

std::string headerText(const std::pair<std::string, std::optional<std::string>>& header) {
  if (!header.second) return header.first + ": missing";
  if (!parsePaginationHeaderInteger(*header.second)) {
    return header.first + ": " + serializeJSON(Value(*header.second)) + " (not a number)";
  }
  return header.first + ": " + *header.second;
}

std::string walkText(const Walk& walk) {
  std::string out;
  for (const WalkedPage& page : walk.pages) {
    out += "GET " + page.request + "\n";
    out += fmt::format("  status {}, {} {}", page.status, page.items.size(),
                       page.items.size() == 1 ? "item" : "items");
    if (page.duplicatesDropped > 0)
      out += fmt::format(" ({} dropped as duplicates)", page.duplicatesDropped);
    out += "\n";
    for (const Value& item : page.items) out += "    " + serializeJSON(item) + "\n";
    std::string headers;
    for (const auto& header : page.headers)
      headers += (headers.empty() ? "" : ", ") + headerText(header);
    out += "  headers: " + headers + "\n";
    out +=
        "  next: " + parametersText(page.next) + (page.stops ? " (stops)" : " (continues)") + "\n";
  }
  out += fmt::format("{} {}: {} {} merged, {} {} dropped; {}.\n", walk.pages.size(),
                     walk.pages.size() == 1 ? "page" : "pages", walk.merged,
                     walk.merged == 1 ? "item" : "items", walk.duplicatesDropped,
                     walk.duplicatesDropped == 1 ? "duplicate" : "duplicates", walk.end);
  return out;
}

Value walkJSON(const PageOptions& options, const Walk& walk) {
  Value::Array pages;
  for (const WalkedPage& page : walk.pages) {
    Value::Object headers;
    for (const auto& [name, value] : page.headers)
      headers.set(name, value ? Value(*value) : Value());
    pages.emplace_back(Value::Object{
        {"request", page.request},
        {"status", page.status},
        {"items", Value::Array(page.items.begin(), page.items.end())},
        {"headers", std::move(headers)},
        {"info",
         Value::Object{{"currentPage", page.info.currentPage},
                       {"pageCount", page.info.pageCount},
                       {"perPage", page.info.perPage},
                       {"totalCount",
                        page.info.reportedTotalCount() ? Value(page.info.totalCount) : Value()}}},
        {"duplicatesDropped", static_cast<std::int64_t>(page.duplicatesDropped)},
        {"next", page.next},
        {"stops", page.stops},
    });
  }
  return Value::Object{{"url", options.url},
                       {"scheme", options.scheme},
                       {"pages", std::move(pages)},
                       {"merged", static_cast<std::int64_t>(walk.merged)},
                       {"duplicatesDropped", static_cast<std::int64_t>(walk.duplicatesDropped)},
                       {"end", walk.end}};
}

}  // namespace

Walk walkPages(const PageOptions& options) {
  if (const std::string why = checkHTTPURL(options.url); !why.empty()) {
    throw InputError(options.url, "", why);
  }
  try {
    return runUntilComplete(walkAsync(options));
  } catch (const http::RequestError& e) {
    // The data source's own line about the failed page says the same.
    LibraryLogLines::discardCurrent();
    throw requestFailure(e);
  }
}

std::string pageDocument(const PageOptions& options) {
  const Walk walk = walkPages(options);
  if (options.format == Format::json) {
    return serializeJSON(walkJSON(options, walk), {.prettyPrinted = true}) + "\n";
  }
  return walkText(walk);
}

int runPage(const PageOptions& options) {
  writeOutput(std::nullopt, pageDocument(options));
  return 0;
}

}  // namespace quarn::tool
