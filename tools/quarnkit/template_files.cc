#include "tools/quarnkit/template_files.h"

#include "quarnkit/coding/json_serialization.h"
#include "quarnkit/composite_list/model/registry.h"
#include "tools/quarnkit/input_error.h"

namespace quarn::tool {

namespace fs = std::filesystem;

TemplateLoader::TemplateLoader(std::shared_ptr<HostRegistry> host,
                               std::shared_ptr<CompositeListContext> context)
    : host_(std::move(host)), context_(std::move(context)) {}

JSONDecoder TemplateLoader::decoder() const {
  JSONDecoder decoder;
  decoder.dateDecodingStrategy = DateDecodingStrategy::iso8601();
  decoder.userInfo.set(std::string(kCompositeListContextKey), context_);
  return decoder;
}

std::vector<AnyCompositeListItem> TemplateLoader::load(const std::string& file) const {
  return decode(file, readFile(file));
}

std::vector<AnyCompositeListItem> TemplateLoader::decode(const std::string& file,
                                                         const std::string& text) const {
  try {
    const Value document = parseJSON(text);
    if (!document.isArray()) {
      throw InputError(file, "",
                       "expected a JSON array of template items, found " +
                           std::string(Value::kindName(document.kind())));
    }
    host_->registerTypes(document);
    return decodeCompositeListTemplate(text, host_->registry(), decoder());
  } catch (...) {
    rethrowAsInputError(file);
  }
}

FileTemplateProvider::FileTemplateProvider(std::optional<fs::path> includesDirectory,
                                           std::string templateFile,
                                           std::shared_ptr<const TemplateLoader> loader)
    : includesDirectory_(std::move(includesDirectory)),
      templateFile_(std::move(templateFile)),
      baseDirectory_(fs::path(templateFile_).parent_path()),
      loader_(std::move(loader)) {}

void FileTemplateProvider::provideTemplate(const CompositeListTemplateSource& source,
                                           Completion completion) {
  std::optional<Items> items;
  try {
    const std::string file = fileFor(source);
    if (!std::filesystem::is_regular_file(file)) {
      throw InputError(templateFile_, "",
                       "cannot resolve the " + describeSource(source) + ": no file " + file);
    }
    items = loader_->load(file);
  } catch (const InputError& e) {
    // Errors about the source itself name the template that includes it.
    const bool aboutSource = e.file() == describeSource(source);
    completion(Outcome<Items>::failure(std::make_exception_ptr(
        aboutSource
            ? InputError(templateFile_, "", "cannot resolve the " + e.file() + ": " + e.reason())
            : e)));
    return;
  } catch (...) {
    completion(Outcome<Items>::failure(std::current_exception()));
    return;
  }
  completion(Outcome<Items>::success(std::move(*items)));
}

std::string FileTemplateProvider::fileForKey(const std::string& key,
                                             const std::string& what) const {
  if (!includesDirectory_) {
    throw InputError(what, "", "cannot resolve it without an includes directory (--includes DIR)");
  }
  if (key.empty() || key == "." || key == ".." || key.find_first_of("/\\") != std::string::npos ||
      key.find('\0') != std::string::npos) {
    throw InputError(what, "", "the key is not a plain file name");
  }
  return (*includesDirectory_ / (key + ".json")).string();
}

std::string FileTemplateProvider::fileFor(const CompositeListTemplateSource& source) const {
  const std::string what = describeSource(source);
  switch (source.kind()) {
    case CompositeListTemplateSource::Kind::key:
      return fileForKey(source.rawValue(), what);
    case CompositeListTemplateSource::Kind::keyReference: {
      if (!includesDirectory_) return fileForKey(source.rawValue(), what);  // throws
      const std::string index = (*includesDirectory_ / kIncludeIndexFile).string();
      Value document;
      try {
        document = parseJSON(readFile(index));
      } catch (...) {
        rethrowAsInputError(index);
      }
      const Value* key = document.find(source.rawValue());
      if (key == nullptr || !key->isString()) {
        throw InputError(index, "", "no key for the reference \"" + source.rawValue() + "\"");
      }
      return fileForKey(*key->ifString(), what);
    }
    case CompositeListTemplateSource::Kind::url: {
      const URL& url = *source.urlValue();
      if (url.isFileURL()) return url.filePath().string();
      if (!url.scheme().empty()) {
        throw InputError(what, "", "remote templates are not fetched; use a file URL or a key");
      }
      const fs::path relative(url.path());
      if (relative.is_absolute()) return relative.string();
      return ((includesDirectory_ ? *includesDirectory_ : baseDirectory_) / relative).string();
    }
  }
  throw InputError(what, "", "unknown template source");
}

std::string describeSource(const CompositeListTemplateSource& source) {
  switch (source.kind()) {
    case CompositeListTemplateSource::Kind::key:
      return "include key \"" + source.rawValue() + "\"";
    case CompositeListTemplateSource::Kind::keyReference:
      return "include reference \"" + source.rawValue() + "\"";
    case CompositeListTemplateSource::Kind::url:
      return "include url \"" + source.rawValue() + "\"";
  }
  return "include";
}

}  // namespace quarn::tool
