// quarnkit: previews, explains and lints composite-list templates by hosting
// the library the way an application screen does; previews store prices and
// feedback forms.
//
//   quarnkit preview examples/home/template.json --results examples/home/results.json
//   quarnkit explain examples/home/template.json --matrix premium=yes,no device=phone,tablet
//   quarnkit lint examples/home/template.json --env examples/home/environment.json
//   quarnkit serve examples/home/template.json --port 8080
//   quarnkit route examples/routes/routes.txt myapp://profile/42 --explain
//   quarnkit page https://api.example.com/items --per-page 20 --all
//   quarnkit download https://cdn.example.com/a.mp4 https://cdn.example.com/b.mp4 --jobs 2
//   quarnkit form examples/forms/onboarding.json --answers examples/forms/answers.json
//   quarnkit curve spring --param damping=8 --format svg --output spring.svg
//   quarnkit schema template -o template.schema.json
//
// Exit status: 0 success, 1 bad input or lint errors, 2 bad usage.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <limits>
#include <optional>

#include "quarnkit/core/date.h"
#include "quarnkit/core/error.h"
#include "quarnkit/core/log.h"
#include "quarnkit/platform/device.h"
#include "quarnkit/predicate/limits.h"
#include "tools/quarnkit/common/failure.h"
#include "tools/quarnkit/common/http_options.h"
#include "tools/quarnkit/common/input_file.h"
#include "tools/quarnkit/common/log_lines.h"
#include "tools/quarnkit/common/numbers.h"
#include "tools/quarnkit/common/output.h"
#include "tools/quarnkit/curve/curve.h"
#include "tools/quarnkit/download/download.h"
#include "tools/quarnkit/explain/explain_command.h"
#include "tools/quarnkit/form/form_command.h"
#include "tools/quarnkit/host/standard_descriptors.h"
#include "tools/quarnkit/lint/lint.h"
#include "tools/quarnkit/page/page.h"
#include "tools/quarnkit/preview/preview_command.h"
#include "tools/quarnkit/price/price_command.h"
#include "tools/quarnkit/route/route.h"
#include "tools/quarnkit/schema/schema_command.h"
#include "tools/quarnkit/serve/serve_command.h"

#ifndef QUARNKIT_VERSION
#define QUARNKIT_VERSION "0.0.0"
#endif

namespace {

using namespace quarn;
using namespace quarn::tool;

constexpr int kUsageError = 2;

// The options preview and explain share; lint takes a few of them.
// Numbers are kept as text and checked here: CLI11 would read "-5" or a
// number too large for 64 bits into an unsigned option without a word.
struct SharedOptions {
  std::string templateFile;
  std::string resultsFile, includesDirectory, environmentFile;
  std::string premium, device = "phone", now, format = "text", output;
  std::string seed, maxFileSize, maxIncludeDepth, maxIncludedItems, predicateBudget;
  bool noDefaults = false;
};

// The largest values of the numeric options.
constexpr std::uint64_t kMaxSeed = std::numeric_limits<std::uint64_t>::max();
constexpr std::uint64_t kMaxFileSizeMiB = std::uint64_t{1} << 20;  // 1 TiB
constexpr std::uint64_t kMaxDepth = 1000;
constexpr std::uint64_t kMaxItems = std::uint64_t{1} << 32;
constexpr std::uint64_t kMaxSamples = 100000;

CLI::Option* addNumber(CLI::App& command, const std::string& name, std::string& slot,
                       const std::string& description, std::uint64_t min, std::uint64_t max) {
  return command.add_option(name, slot, description)
      ->type_name("N")
      ->check([min, max](const std::string& text) -> std::string {
        const auto value = readWholeNumber(text, max);
        if (value && *value >= min) return "";
        return "expected a whole number from " + std::to_string(min) + " to " +
               std::to_string(max) + ", not \"" + text + "\"";
      });
}

void addTemplate(CLI::App& command, SharedOptions& o) {
  command.add_option("TEMPLATE", o.templateFile, "The template (a JSON array of items)")
      ->required();
}

void addLimits(CLI::App& command, SharedOptions& o) {
  const InputLimits defaults;
  addNumber(command, "--max-file-size", o.maxFileSize,
            "Largest input file, in MiB (default " + describeSize(defaults.maxFileSize) + ")", 1,
            kMaxFileSizeMiB);
  addNumber(command, "--max-include-depth", o.maxIncludeDepth,
            "How deep includes may nest (default " + std::to_string(defaults.maxIncludeDepth) + ")",
            0, kMaxDepth);
  addNumber(command, "--max-included-items", o.maxIncludedItems,
            "Items all included templates may hold together (default " +
                std::to_string(defaults.maxIncludedItems) + ")",
            0, kMaxItems);
}

void addEnvironment(CLI::App& command, SharedOptions& o) {
  addLimits(command, o);
  command.add_flag("--no-defaults", o.noDefaults,
                   "Read only the files named here, not results.json, environment.json and "
                   "includes/ next to the template");
  command.add_option("--env", o.environmentFile,
                     "Facts (a JSON object) merged over the built-in ones");
  command.add_option("--includes", o.includesDirectory,
                     "Directory of included templates: KEY.json, and index.json mapping "
                     "references to keys");
}

void addHost(CLI::App& command, SharedOptions& o) {
  addEnvironment(command, o);
  command.add_option("--results", o.resultsFile,
                     "The answer to the combined request (a JSON array of results)");
  command.add_option("--premium", o.premium, "Whether the user is premium")
      ->check(CLI::IsMember({"yes", "no"}));
  command.add_option("--device", o.device, "The device idiom")
      ->check(CLI::IsMember({"phone", "tablet", "desktop", "tv"}))
      ->capture_default_str();
  command
      .add_option("--now", o.now, "Fix the clock at an internet date-time (2024-05-01T10:00:00Z)")
      ->check([](const std::string& text) -> std::string {
        return Date::parseISO8601(text) ? "" : "expected a date-time like 2024-05-01T10:00:00Z";
      });
  addNumber(command, "--seed", o.seed, "Seed of the random selection of list entities", 0,
            kMaxSeed);
  addNumber(command, "--predicate-budget", o.predicateBudget,
            "Steps the visibility predicates may take together (default " +
                std::to_string(kEvaluationBudgetPerFetch) + ")",
            0, kMaxSeed);
  command.add_option("--output,-o", o.output, "Write to FILE instead of standard output");
}

HostOptions hostOptions(const SharedOptions& o, const CLI::App& command) {
  HostOptions host;
  host.templateFile = o.templateFile;
  auto given = [&](const char* name) {
    const CLI::Option* option = command.get_option_no_throw(name);
    return option != nullptr && option->count() > 0;
  };
  if (!o.resultsFile.empty()) host.resultsFile = o.resultsFile;
  if (!o.includesDirectory.empty()) host.includesDirectory = o.includesDirectory;
  if (!o.environmentFile.empty()) host.environmentFile = o.environmentFile;
  if (!o.premium.empty()) host.premium = o.premium == "yes";
  if (auto idiom = platform::userInterfaceIdiomFromString(o.device)) host.device = *idiom;
  if (!o.now.empty()) host.now = Date::parseISO8601(o.now);
  // The texts were checked while parsing.
  if (given("--seed")) host.seed = readWholeNumber(o.seed, kMaxSeed);
  if (given("--predicate-budget")) {
    host.predicateBudget = *readWholeNumber(o.predicateBudget, kMaxSeed);
  }
  if (given("--max-file-size")) {
    host.limits.maxFileSize = *readWholeNumber(o.maxFileSize, kMaxFileSizeMiB) << 20;
  }
  if (given("--max-include-depth")) {
    host.limits.maxIncludeDepth = static_cast<int>(*readWholeNumber(o.maxIncludeDepth, kMaxDepth));
  }
  if (given("--max-included-items")) {
    host.limits.maxIncludedItems =
        static_cast<std::size_t>(*readWholeNumber(o.maxIncludedItems, kMaxItems));
  }
  return o.noDefaults ? host : withSiblingFiles(std::move(host));
}

// --header NAME:VALUE, repeatable.
CLI::Option* addHeaders(CLI::App& command, std::vector<std::string>& headers) {
  return command
      .add_option("--header", headers, "A header field NAME:VALUE sent with each request")
      ->type_name("NAME:VALUE")
      ->check([](const std::string& text) -> std::string {
        return parseHeaderOption(text) ? ""
                                       : "expected NAME:VALUE, not \"" + printableLine(text) + "\"";
      });
}

// --max-time SECONDS.
CLI::Option* addMaxTime(CLI::App& command, std::string& seconds) {
  return command
      .add_option("--max-time", seconds,
                  "Fail a request that takes more than SECONDS in all (default: no limit)")
      ->type_name("SECONDS")
      ->check([](const std::string& text) -> std::string {
        return parseSecondsOption(text)
                   ? ""
                   : "expected a number of seconds, not \"" + printableLine(text) + "\"";
      });
}

http::HTTPHeaders headersOf(const std::vector<std::string>& texts) {
  http::HTTPHeaders out;
  for (const std::string& text : texts) {
    if (auto h = parseHeaderOption(text)) out.add(std::move(h->name), std::move(h->value));
  }
  return out;
}

CLI::Validator httpURL() {
  return CLI::Validator(
      [](const std::string& text) -> std::string {
        const std::string why = checkHTTPURL(text);
        return why.empty() ? "" : why + ": \"" + printableLine(text) + "\"";
      },
      "URL");
}

Format formatOf(const std::string& name) {
  if (name == "json") return Format::json;
  if (name == "html") return Format::html;
  return Format::text;
}

std::optional<std::string> optionalText(const std::string& text) {
  return text.empty() ? std::nullopt : std::optional<std::string>(text);
}

}  // namespace

int main(int argc, char** argv) {
  holdClosedStandardDescriptors();
  CLI::App app(
      "Previews, explains and lints composite-list templates; matches URLs against routing tables.",
      "quarnkit");
  app.set_version_flag("--version", std::string("quarnkit ") + QUARNKIT_VERSION);
  app.require_subcommand(1);

  SharedOptions shared;
  bool printRequest = false;
  bool watch = false;
  std::vector<std::string> matrix;
  std::string server;
  std::vector<std::string> headers;
  std::string maxTime;
  PageOptions page;
  std::string perPage = "20", pages = "1";

  CLI::App* preview = app.add_subcommand(
      "preview", "Run the fetch pipeline over a template and show the sections a screen shows");
  addTemplate(*preview, shared);
  addHost(*preview, shared);
  preview->add_option("--format", shared.format, "text, json or html")
      ->check(CLI::IsMember({"text", "json", "html"}))
      ->capture_default_str();
  preview->add_flag("--print-request", printRequest, "Also show the combined request body");
  preview->add_flag("--watch", watch, "Render again each time the template file grows");
  preview
      ->add_option("--server", server,
                   "POST the combined request to URL and read the results from its answer")
      ->check(httpURL())
      ->excludes("--results");
  addHeaders(*preview, headers)->needs("--server");
  addMaxTime(*preview, maxTime)->needs("--server");

  CLI::App* explainCommand =
      app.add_subcommand("explain", "Say for every item whether it is shown and, when not, why");
  addTemplate(*explainCommand, shared);
  addHost(*explainCommand, shared);
  explainCommand->add_option("--format", shared.format, "text or json")
      ->check(CLI::IsMember({"text", "json"}))
      ->capture_default_str();
  explainCommand
      ->add_option("--matrix", matrix,
                   "Axes NAME=VALUE,VALUE... (premium, device, now or any fact): a table of the "
                   "items each combination shows")
      ->expected(1, -1);

  CLI::App* lint = app.add_subcommand(
      "lint", "Check a template and its includes; exit 1 when an error is found");
  addTemplate(*lint, shared);
  addEnvironment(*lint, shared);

  std::string servePort;
  CLI::App* serveCommand = app.add_subcommand(
      "serve", "Preview a template live in the browser, rendering again on every change");
  addTemplate(*serveCommand, shared);
  addEnvironment(*serveCommand, shared);
  serveCommand->add_option("--results", shared.resultsFile,
                           "The answer to the combined request (a JSON array of results)");
  addNumber(*serveCommand, "--port", servePort,
            "The port of 127.0.0.1 to serve on (default 0: a free one)", 0, 65535);

  RouteOptions route;
  std::string routeFormat = "text";
  CLI::App* routeCommand = app.add_subcommand(
      "route", "Match URLs against a routing table and say why, or check the table");
  routeCommand
      ->add_option("ROUTES_FILE", route.routesFile,
                   "Patterns, one a line, each optionally followed by a name")
      ->required();
  routeCommand->add_option("URL", route.urls,
                           "URLs to match (\"-\" reads them from standard input)");
  routeCommand->add_flag("--explain", route.explain,
                         "List every pattern with why it matched or not");
  routeCommand->add_flag("--check", route.check,
                         "Without URLs: report ties decided by order, unreachable patterns and "
                         "unknown placeholder types; exit 1 when there is one");
  std::string routeMaxFileSize;
  addNumber(*routeCommand, "--max-file-size", routeMaxFileSize,
            "Largest routes file and standard input, in MiB (default " +
                describeSize(InputLimits{}.maxFileSize) + ")",
            1, kMaxFileSizeMiB);
  routeCommand->add_option("--format", routeFormat, "text or json")
      ->check(CLI::IsMember({"text", "json"}))
      ->capture_default_str();

  CLI::App* pageCommand =
      app.add_subcommand("page", "Walk a paged endpoint the way the paginated data source does");
  pageCommand->add_option("URL", page.url, "The endpoint")->required()->check(httpURL());
  pageCommand->add_option("--scheme", page.scheme, "page, offset, pk, from-id or ids")
      ->check(CLI::IsMember({"page", "offset", "pk", "from-id", "ids"}))
      ->capture_default_str();
  addNumber(*pageCommand, "--per-page", perPage, "Items per page (default 20)", 1,
            std::numeric_limits<std::int64_t>::max());
  pageCommand->add_option("--page-key", page.pageKey, "Name of the page parameter")
      ->capture_default_str();
  pageCommand->add_option("--size-key", page.sizeKey, "Name of the page-size parameter")
      ->capture_default_str();
  pageCommand->add_option("--ids", page.ids, "The ids the ids scheme pages through")
      ->delimiter(',');
  pageCommand->add_option("--ids-key", page.idsKey, "Name of the ids parameter")
      ->capture_default_str();
  pageCommand->add_option("--key-path", page.keyPath,
                          "Dotted path of the item array in the response (data.items)");
  addHeaders(*pageCommand, headers);
  addMaxTime(*pageCommand, maxTime);
  CLI::Option* all = pageCommand->add_flag("--all", page.all, "Walk until the scheme stops");
  addNumber(*pageCommand, "--pages", pages, "Walk at most N pages (default 1)", 1, kMaxPages)
      ->excludes(all);
  pageCommand->add_option("--format", shared.format, "text or json")
      ->check(CLI::IsMember({"text", "json"}))
      ->capture_default_str();

  DownloadOptions download;
  std::string downloadTo, downloadName, downloadJobs;
  bool downloadUsage = false, downloadClear = false;
  CLI::App* downloadCommand = app.add_subcommand(
      "download", "Fetch files into the download cache and print their local paths");
  downloadCommand->add_option("URL", download.urls, "The files to fetch")->check(httpURL());
  downloadCommand->add_option("--to", downloadTo,
                              "Download into DIR instead of the download cache");
  CLI::Option* nameOption =
      downloadCommand->add_option("--name", downloadName, "The local file name (one URL only)");
  CLI::Option* jobsOption = addNumber(*downloadCommand, "--jobs", downloadJobs,
                                      "Downloads at once (default 4)", 1, kMaxDownloadJobs);
  CLI::Option* quietOption =
      downloadCommand->add_flag("--quiet", download.quiet, "Show no progress");
  CLI::Option* usageOption = downloadCommand->add_flag(
      "--usage", downloadUsage, "Print how much the download cache (or --to) holds");
  CLI::Option* clearOption = downloadCommand->add_flag(
      "--clear", downloadClear, "Remove the download cache (or --to) with everything in it");
  for (CLI::Option* maintenance : {usageOption, clearOption}) {
    maintenance->excludes(nameOption)->excludes(jobsOption)->excludes(quietOption);
  }
  usageOption->excludes(clearOption);
  downloadCommand->parse_complete_callback([&] {
    const bool maintenance = downloadUsage || downloadClear;
    if (maintenance && !download.urls.empty()) {
      throw CLI::ValidationError("URL", "--usage and --clear take no URL");
    }
    if (!maintenance && download.urls.empty()) throw CLI::RequiredError("URL");
    if (download.urls.size() > 1 && nameOption->count() > 0) {
      throw CLI::ValidationError(
          "--name", "names the file of one URL, not of " + std::to_string(download.urls.size()));
    }
  });

  CurveOptions curveOptions;
  std::string curveSamples, curveFormat = "text", curveOutput;
  CLI::App* curve = app.add_subcommand(
      "curve", "Sample a timing function: a table, a CSV or an SVG plot of its curve");
  curve->add_option("NAME", curveOptions.name, "The curve")
      ->required()
      ->check(CLI::IsMember(curveNames()));
  curve->add_option("--param,-p", curveOptions.params,
                    "KEY=VALUE: spring damping, mass, stiffness, velocity; keyvalues values "
                    "(V,V,...) and function (an easing or spring, with the spring's parameters)");
  addNumber(*curve, "--samples", curveSamples, "Samples from t = 0 to 1 (default 101)", 2,
            kMaxSamples);
  curve->add_option("--format", curveFormat, "text, csv or svg")
      ->check(CLI::IsMember({"text", "csv", "svg"}))
      ->capture_default_str();
  curve->add_option("--output,-o", curveOutput, "Write to FILE instead of standard output");

  PriceArguments priceArguments;
  CLI::App* price = addPriceCommand(app, priceArguments);
  FormArguments formArguments;
  CLI::App* form = addFormCommand(app, formArguments);
  SchemaArguments schemaArguments;
  CLI::App* schema = addSchemaCommand(app, schemaArguments);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int status = app.exit(e);
    return status == 0 ? 0 : kUsageError;
  }

  // Library log lines become tidy warnings unless a log level was asked for.
  const LibraryLogLines logLines;
  const std::string& templateFile =
      pageCommand->parsed()       ? page.url
      : downloadCommand->parsed() ? (downloadTo.empty() ? "download cache" : downloadTo)
      : price->parsed()           ? priceArguments.options.productsFile
      : form->parsed()
          ? (formArguments.lint->parsed() ? formArguments.lintFile : formArguments.options.formFile)
          : shared.templateFile;
  try {
    int status = 0;
    if (preview->parsed()) {
      PreviewOptions options{hostOptions(shared, *preview), formatOf(shared.format),
                             optionalText(shared.output), printRequest, watch};
      if (!server.empty()) {
        // The server answers: no results file, not even the one next to the template.
        options.host.server =
            ResultsServerOptions{server, headersOf(headers), parseSecondsOption(maxTime)};
        options.host.resultsFile.reset();
      }
      status = runPreview(options);
    } else if (explainCommand->parsed()) {
      ExplainOptions options{hostOptions(shared, *explainCommand), formatOf(shared.format),
                             optionalText(shared.output), matrix};
      status = runExplain(options);
    } else if (lint->parsed()) {
      status = runLint(hostOptions(shared, *lint));
    } else if (serveCommand->parsed()) {
      ServeOptions options;
      options.host = hostOptions(shared, *serveCommand);
      if (!servePort.empty()) options.port = static_cast<int>(*readWholeNumber(servePort, 65535));
      status = runServe(options);
    } else if (routeCommand->parsed()) {
      route.format = formatOf(routeFormat);
      if (!routeMaxFileSize.empty()) {
        route.maxFileSize = *readWholeNumber(routeMaxFileSize, kMaxFileSizeMiB) << 20;
      }
      status = runRoute(route);
    } else if (pageCommand->parsed()) {
      page.perPage = static_cast<std::int64_t>(*readWholeNumber(perPage, kMaxSeed));
      page.pages = static_cast<std::int64_t>(*readWholeNumber(pages, kMaxSeed));
      page.headers = headersOf(headers);
      page.maxTime = parseSecondsOption(maxTime);
      page.format = formatOf(shared.format);
      status = runPage(page);
    } else if (downloadCommand->parsed()) {
      download.to = optionalText(downloadTo);
      download.name = nameOption->count() > 0 ? std::optional(downloadName) : std::nullopt;
      if (!downloadJobs.empty()) {
        download.jobs = static_cast<std::size_t>(*readWholeNumber(downloadJobs, kMaxDownloadJobs));
      }
      if (downloadUsage) {
        writeOutput(std::nullopt, downloadCacheUsage(download.to));
      } else if (downloadClear) {
        writeOutput(std::nullopt, clearDownloadCache(download.to));
      } else {
        status = runDownload(download);
      }
    } else if (curve->parsed()) {
      if (!curveSamples.empty()) {
        curveOptions.samples =
            static_cast<std::size_t>(*readWholeNumber(curveSamples, kMaxSamples));
      }
      curveOptions.format = curveFormat == "csv"   ? CurveFormat::csv
                            : curveFormat == "svg" ? CurveFormat::svg
                                                   : CurveFormat::text;
      curveOptions.output = optionalText(curveOutput);
      status = runCurve(curveOptions);
    } else if (price->parsed()) {
      status = runPrice(priceArguments.parsed());
    } else if (form->parsed()) {
      status = formArguments.run();
    } else if (schema->parsed()) {
      status = runSchema(schemaArguments.parsed());
    }
    logLines.flush();
    // What is still buffered for standard output is written on closing it.
    if (std::fclose(stdout) != 0) throw OutputError(kStandardOutput, errno);
    return status;
  } catch (...) {
    logLines.flush();
    const std::string subject = curve->parsed() ? std::string("curve") : templateFile;
    writeErrorLine(describeFailure(subject));
    return 1;
  }
}
