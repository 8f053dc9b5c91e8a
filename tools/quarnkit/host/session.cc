#include "tools/quarnkit/host/session.h"

#include "quarnkit/coding/json_serialization.h"
#include "quarnkit/platform/services.h"
#include "tools/quarnkit/common/input_error.h"

namespace quarn::tool {

namespace fs = std::filesystem;

std::uint64_t randomSeed() {
  return platform::SystemRandomSource::shared().nextInt(std::uint64_t{100000001});
}

HostOptions withSiblingFiles(HostOptions options) {
  const fs::path directory = fs::path(options.templateFile).parent_path();
  std::error_code error;
  auto sibling = [&](std::optional<std::string>& slot, const char* name, bool isDirectory) {
    if (slot) return;
    const fs::path path = directory / name;
    if (isDirectory ? fs::is_directory(path, error) : fs::is_regular_file(path, error)) {
      slot = path.string();
    }
  };
  // A results server answers instead of a file.
  if (!options.server) sibling(options.resultsFile, "results.json", false);
  sibling(options.environmentFile, "environment.json", false);
  sibling(options.includesDirectory, "includes", true);
  return options;
}

std::string describeInputs(const HostOptions& options) {
  std::string out;
  auto add = [&](const char* what, const std::optional<std::string>& file) {
    if (file) out += (out.empty() ? "" : ", ") + std::string(what) + " " + *file;
  };
  add("results", options.resultsFile);
  add("facts", options.environmentFile);
  add("includes", options.includesDirectory);
  return out.empty() ? "no results, facts or includes" : out;
}

CompositeListResult readResults(const std::string& name, const std::string& text,
                                HostRegistry& host) {
  try {
    const Value document = parseInputJSON(name, text);
    if (!document.isArray()) {
      throw InputError(name, "",
                       "expected a JSON array of results, found " +
                           std::string(Value::kindName(document.kind())));
    }
    host.registerClasses(document);
    JSONDecoder decoder;
    decoder.dateDecodingStrategy = DateDecodingStrategy::iso8601();
    return decodeCompositeListResult(text, *host.registry()->entityClassMap(), decoder);
  } catch (...) {
    rethrowAsInputError(name);
  }
}

HostSession::HostSession(const HostOptions& options, bool loadTemplate) : options_(options) {
  ValueDictionary facts;
  if (options.environmentFile) {
    facts = readFacts(*options.environmentFile, options.limits.maxFileSize);
  }
  facts.merge(options.extraFacts);
  environment_ = std::make_shared<HostEnvironment>(std::move(facts), options.premium);
  host_ = std::make_shared<HostRegistry>(environment_);
  context_ =
      std::make_shared<CompositeListContext>(std::make_shared<ArbitraryRandomNumberGenerator>(
          options.seed ? *options.seed : randomSeed()));
  loader_ = std::make_shared<TemplateLoader>(host_, context_, options.limits.maxFileSize);

  std::optional<fs::path> includes;
  if (options.includesDirectory) {
    includes = fs::path(*options.includesDirectory);
    std::error_code error;
    if (!fs::is_directory(*includes, error)) {
      throw InputError(*options.includesDirectory, "", "not a directory");
    }
  }
  const auto resolved = IncludeFolder::resolveSymlinks(options.templateFile);
  chain_ = std::make_shared<IncludeChain>(
      IncludedFile{options.templateFile, resolved.value_or(options.templateFile)}, options.limits);
  provider_ =
      std::make_shared<FileTemplateProvider>(includes, options.templateFile, loader_, chain_);

  if (options.resultsFile) {
    const std::string& file = *options.resultsFile;
    result_ = readResults(file, readInputFile(file, options.limits.maxFileSize), *host_);
  }
  if (loadTemplate) {
    template_ = loader_->load(options.templateFile);
    provider_->noteSites(template_);
  }
}

}  // namespace quarn::tool
