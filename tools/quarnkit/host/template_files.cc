#include "tools/quarnkit/host/template_files.h"

#include <sys/stat.h>

#include "quarnkit/composite_list/model/divider_include.h"
#include "quarnkit/composite_list/model/registry.h"
#include "quarnkit/composite_list/model/section_item.h"
#include "quarnkit/core/error.h"
#include "tools/quarnkit/common/input_error.h"

namespace quarn::tool {

namespace fs = std::filesystem;

TemplateLoader::TemplateLoader(std::shared_ptr<HostRegistry> host,
                               std::shared_ptr<CompositeListContext> context,
                               std::uint64_t maxFileSize)
    : host_(std::move(host)), context_(std::move(context)), maxFileSize_(maxFileSize) {}

JSONDecoder TemplateLoader::decoder() const {
  JSONDecoder decoder;
  decoder.dateDecodingStrategy = DateDecodingStrategy::iso8601();
  decoder.userInfo.set(std::string(kCompositeListContextKey), context_);
  return decoder;
}

TemplateDocument TemplateLoader::load(const std::string& file) const {
  return decode(file, readInputFile(file, maxFileSize_));
}

TemplateDocument TemplateLoader::load(const IncludedFile& file) const {
  return decode(file.shown, readInputFile(file.opened, file.shown, maxFileSize_));
}

TemplateDocument TemplateLoader::decode(const std::string& file, const std::string& text) const {
  try {
    const Value document = parseInputJSON(file, text);
    if (!document.isArray()) {
      throw InputError(file, "",
                       "expected a JSON array of template items, found " +
                           std::string(Value::kindName(document.kind())));
    }
    host_->registerTypes(document);
    return {file, decodeCompositeListTemplate(text, host_->registry(), decoder()),
            templateItemPaths(document)};
  } catch (...) {
    rethrowAsInputError(file);
  }
}

FileTemplateProvider::FileTemplateProvider(std::optional<fs::path> includesDirectory,
                                           std::string templateFile,
                                           std::shared_ptr<const TemplateLoader> loader,
                                           std::shared_ptr<IncludeChain> chain)
    : templateFile_(std::move(templateFile)),
      urlFolder_(includesDirectory ? *includesDirectory : fs::path(templateFile_).parent_path()),
      loader_(std::move(loader)),
      chain_(std::move(chain)) {
  if (includesDirectory) includes_.emplace(*includesDirectory);
}

void FileTemplateProvider::provideTemplate(const CompositeListTemplateSource& source,
                                           Completion completion) {
  std::optional<Items> items;
  try {
    items = load(resolve(chain_->innermostSite(), source)).items;
  } catch (...) {
    completion(Outcome<Items>::failure(std::current_exception()));
    return;
  }
  completion(Outcome<Items>::success(std::move(*items)));
}

TemplateDocument FileTemplateProvider::load(const IncludedFile& file) {
  TemplateDocument document = loader_->load(file);
  chain_->count(document.items.size());
  noteSites(document);
  return document;
}

IncludedFile FileTemplateProvider::fileIn(const std::string& name, const std::string& what) const {
  const IncludeFolder& folder = includes_ ? *includes_ : urlFolder_;
  auto file = folder.file(name);
  if (!file) throw InputError(what, "", "outside the includes directory");
  return std::move(*file);
}

IncludedFile FileTemplateProvider::fileForKey(const std::string& key,
                                              const std::string& what) const {
  if (!includes_) {
    throw InputError(what, "", "cannot resolve it without an includes directory (--includes DIR)");
  }
  if (key.empty() || key == "." || key == ".." || key.find_first_of("/\\") != std::string::npos ||
      key.find('\0') != std::string::npos) {
    throw InputError(what, "", "the key is not a plain file name");
  }
  return fileIn(key + ".json", what);
}

IncludedFile FileTemplateProvider::fileFor(const CompositeListTemplateSource& source) const {
  const std::string what = describeSource(source);
  switch (source.kind()) {
    case CompositeListTemplateSource::Kind::key:
      return fileForKey(source.rawValue(), what);
    case CompositeListTemplateSource::Kind::keyReference: {
      if (!includes_) return fileForKey(source.rawValue(), what);  // throws
      const IncludedFile index = fileIn(kIncludeIndexFile, what);
      Value document;
      try {
        document = parseInputJSON(index.shown,
                                  readInputFile(index.opened, index.shown, loader_->maxFileSize()));
      } catch (...) {
        rethrowAsInputError(index.shown);
      }
      const Value* key = document.find(source.rawValue());
      if (key == nullptr || !key->isString()) {
        throw InputError(index.shown, "", "no key for the reference \"" + source.rawValue() + "\"");
      }
      return fileForKey(*key->ifString(), what);
    }
    case CompositeListTemplateSource::Kind::url: {
      const URL& url = *source.urlValue();
      if (!url.isFileURL() && !url.scheme().empty()) {
        throw InputError(what, "", "remote templates are not fetched; use a file URL or a key");
      }
      return fileIn(url.path(), what);
    }
  }
  throw InputError(what, "", "unknown template source");
}

IncludedFile FileTemplateProvider::resolve(const IncludeSite& site,
                                           const CompositeListTemplateSource& source) const {
  const std::string what = describeSource(source);
  const auto refuse = [&](const std::string& reason) {
    return InputError(site.file, site.entityPath(), "cannot resolve the " + what + ": " + reason);
  };
  IncludedFile file;
  try {
    file = fileFor(source);
  } catch (const InputError& e) {
    // Errors about the source itself read as the include's; others (the
    // index file) name their own file.
    throw refuse(e.file() == what ? e.reason() : e.what());
  }
  // Inside the folder, saying what is there tells nothing new.
  struct stat info {};
  if (::stat(file.opened.c_str(), &info) != 0) throw refuse("no file " + file.shown);
  if (S_ISDIR(info.st_mode)) throw refuse(file.shown + " is a directory");
  if (!S_ISREG(info.st_mode)) throw refuse(file.shown + " is not a regular file");
  return file;
}

void FileTemplateProvider::noteSites(const TemplateDocument& document) {
  for (std::size_t i = 0; i < document.items.size(); ++i) {
    const AnyCompositeListItem& item = document.items[i];
    if (item.type() != CompositeListItemType::include) continue;
    const std::shared_ptr<const void> record = item.base();
    sites_[record.get()] = {record,
                            {document.file, i < document.paths.size() ? document.paths[i] : ""}};
  }
}

IncludeSite FileTemplateProvider::siteOf(const AnyCompositeListItem& include) const {
  const auto it = sites_.find(include.base().get());
  return it != sites_.end() ? it->second.second : chain_->innermostSite();
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

std::string describeIncludeFailure(const IncludeSite& site) {
  try {
    throw;
  } catch (const InputError& e) {
    const bool atSite = e.file() == site.file && e.path() == site.entityPath();
    return atSite ? e.reason() : e.what();
  } catch (...) {
    return describeCurrentException();
  }
}

std::vector<std::string> templateItemPaths(const Value& document) {
  std::vector<std::string> paths;
  if (const Value::Array* elements = document.ifArray()) {
    for (std::size_t i = 0; i < elements->size(); ++i) {
      if ((*elements)[i].find("type") != nullptr) paths.push_back("[" + std::to_string(i) + "]");
    }
  }
  return paths;
}

}  // namespace quarn::tool
