#include "tools/quarnkit/session.h"

#include "quarnkit/coding/json_serialization.h"
#include "quarnkit/platform/services.h"
#include "tools/quarnkit/input_error.h"

namespace quarn::tool {

namespace fs = std::filesystem;

std::uint64_t randomSeed() {
  return platform::SystemRandomSource::shared().nextInt(std::uint64_t{100000001});
}

HostSession::HostSession(const HostOptions& options, bool loadTemplate) : options_(options) {
  ValueDictionary facts;
  if (options.environmentFile) facts = readFacts(*options.environmentFile);
  facts.merge(options.extraFacts);
  environment_ = std::make_shared<HostEnvironment>(std::move(facts), options.premium);
  host_ = std::make_shared<HostRegistry>(environment_);
  context_ =
      std::make_shared<CompositeListContext>(std::make_shared<ArbitraryRandomNumberGenerator>(
          options.seed ? *options.seed : randomSeed()));
  loader_ = std::make_shared<TemplateLoader>(host_, context_);

  std::optional<fs::path> includes;
  if (options.includesDirectory) {
    includes = fs::path(*options.includesDirectory);
    std::error_code error;
    if (!fs::is_directory(*includes, error)) {
      throw InputError(*options.includesDirectory, "", "not a directory");
    }
  }
  provider_ = std::make_shared<FileTemplateProvider>(
      includes, fs::path(options.templateFile).parent_path(), loader_);

  if (options.resultsFile) {
    const std::string& file = *options.resultsFile;
    const std::string text = readFile(file);
    try {
      const Value document = parseJSON(text);
      if (!document.isArray()) {
        throw InputError(file, "",
                         "expected a JSON array of results, found " +
                             std::string(Value::kindName(document.kind())));
      }
      host_->registerClasses(document);
      JSONDecoder decoder;
      decoder.dateDecodingStrategy = DateDecodingStrategy::iso8601();
      result_ = decodeCompositeListResult(text, host_->registry()->entityClassMap, decoder);
    } catch (...) {
      rethrowAsInputError(file);
    }
  }
  if (loadTemplate) templateItems_ = loader_->load(options.templateFile);
}

}  // namespace quarn::tool
