// HostSession: everything the tool reads before it runs the pipeline: the
// template decoded through the host registry, the results decoded with the
// class map, the environment's facts, and the include provider.
//
//   HostPlatform platform(options.device, options.now);   // first: decoding reads the device
//   HostSession session(options);                         // InputError on bad input
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "quarnkit/composite_list/model/result.h"
#include "quarnkit/platform/device.h"
#include "quarnkit/predicate/limits.h"
#include "tools/quarnkit/common/input_file.h"
#include "tools/quarnkit/host/host_environment.h"
#include "tools/quarnkit/host/results_server.h"
#include "tools/quarnkit/host/template_files.h"

namespace quarn::tool {

/// The inputs shared by preview and explain.
struct HostOptions {
  std::string templateFile;
  std::optional<std::string> resultsFile;
  /// Answers the combined request instead of a results file.
  std::optional<ResultsServerOptions> server;
  std::optional<std::string> includesDirectory;
  std::optional<std::string> environmentFile;
  std::optional<bool> premium;
  platform::UserInterfaceIdiom device = platform::UserInterfaceIdiom::phone;
  std::optional<Date> now;
  std::optional<std::uint64_t> seed;
  /// Facts set over the environment file's (explain's matrix).
  ValueDictionary extraFacts;
  /// File size, include depth and included items at most.
  InputLimits limits;
  /// Steps the visibility predicates of one run may take together.
  std::uint64_t predicateBudget = kEvaluationBudgetPerFetch;
};

class HostSession {
 public:
  /// Reads the environment, the results and, when `loadTemplate`, the
  /// template; InputError on bad input.
  explicit HostSession(const HostOptions& options, bool loadTemplate = true);

  [[nodiscard]] const HostOptions& options() const { return options_; }
  [[nodiscard]] const std::shared_ptr<HostEnvironment>& environment() const { return environment_; }
  [[nodiscard]] const std::shared_ptr<HostRegistry>& host() const { return host_; }
  [[nodiscard]] const std::shared_ptr<CompositeListContext>& context() const { return context_; }
  [[nodiscard]] const std::shared_ptr<TemplateLoader>& loader() const { return loader_; }
  [[nodiscard]] const std::shared_ptr<FileTemplateProvider>& provider() const { return provider_; }
  /// The includes being followed, and the run's bounds on them.
  [[nodiscard]] IncludeChain& includeChain() const { return *chain_; }
  /// The template, when it was loaded.
  [[nodiscard]] const TemplateDocument& templateDocument() const { return template_; }
  [[nodiscard]] const std::vector<AnyCompositeListItem>& templateItems() const {
    return template_.items;
  }
  [[nodiscard]] const CompositeListResult& result() const { return result_; }

 private:
  HostOptions options_;
  std::shared_ptr<HostEnvironment> environment_;
  std::shared_ptr<HostRegistry> host_;
  std::shared_ptr<CompositeListContext> context_;
  std::shared_ptr<TemplateLoader> loader_;
  std::shared_ptr<IncludeChain> chain_;
  std::shared_ptr<FileTemplateProvider> provider_;
  TemplateDocument template_;
  CompositeListResult result_;
};

/// The results of a JSON array of results named `name` (a file or a URL),
/// their entity classes registered with `host`; InputError naming `name` and
/// the JSON path on bad input.
CompositeListResult readResults(const std::string& name, const std::string& text,
                                HostRegistry& host);

/// The options with the files next to the template filled in where none was
/// given: results.json (unless a server answers), environment.json and the
/// directory includes/, each when it exists.
HostOptions withSiblingFiles(HostOptions options);

/// A short text naming the input files: "results r.json, facts env.json,
/// includes inc/", or "no results, facts or includes".
std::string describeInputs(const HostOptions& options);

/// A random seed in the fetcher's own range (0...100000000).
std::uint64_t randomSeed();

}  // namespace quarn::tool
