// Template documents on disk: decoding a template file through the host
// registry, and the include provider that finds included templates in a
// directory.
//
// Includes resolve, given --includes DIR:
//   {"key": "promo"}          DIR/promo.json
//   {"reference": "weekly"}   DIR/<key>.json, where DIR/index.json maps
//                             references to keys: {"weekly": "promo_week_12"}
//   {"url": "file:///abs/x.json"} that file; a relative URL ("extra/x.json")
//                             names a file under DIR (or, without DIR, next to
//                             the main template)
// Keys must be plain file names; remote URLs are not fetched.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/composite_list/fetching/template_providing.h"
#include "quarnkit/composite_list/model/context.h"
#include "tools/quarnkit/host_descriptions.h"

namespace quarn::tool {

/// The name of the index file that maps include references to keys.
inline constexpr const char* kIncludeIndexFile = "index.json";

class TemplateLoader {
 public:
  TemplateLoader(std::shared_ptr<HostRegistry> host, std::shared_ptr<CompositeListContext> context);

  /// The decoder templates are read with: internet date-time dates, the
  /// registry, its class map and the context (random selection).
  [[nodiscard]] JSONDecoder decoder() const;
  /// Reads a template file, registers its types and decodes its items.
  /// InputError naming the file, the JSON path and the reason on failure.
  [[nodiscard]] std::vector<AnyCompositeListItem> load(const std::string& file) const;
  /// The same for a document already read.
  [[nodiscard]] std::vector<AnyCompositeListItem> decode(const std::string& file,
                                                         const std::string& text) const;

  [[nodiscard]] const std::shared_ptr<HostRegistry>& host() const { return host_; }

 private:
  std::shared_ptr<HostRegistry> host_;
  std::shared_ptr<CompositeListContext> context_;
};

class FileTemplateProvider final : public CompositeListTemplateProviding {
 public:
  using CompositeListTemplateProviding::provideTemplate;

  /// Relative URLs resolve next to `templateFile` when there is no includes
  /// directory; errors about a source name `templateFile`.
  FileTemplateProvider(std::optional<std::filesystem::path> includesDirectory,
                       std::string templateFile, std::shared_ptr<const TemplateLoader> loader);

  /// Completes with the decoded items of the source's file, or with the
  /// InputError that prevented it.
  void provideTemplate(const CompositeListTemplateSource& source, Completion completion) override;

  /// The file a source names. InputError when it names none: no includes
  /// directory, a key that is not a plain name, a reference the index lacks,
  /// a remote URL.
  [[nodiscard]] std::string fileFor(const CompositeListTemplateSource& source) const;

 private:
  [[nodiscard]] std::string fileForKey(const std::string& key, const std::string& what) const;

  std::optional<std::filesystem::path> includesDirectory_;
  std::string templateFile_;
  std::filesystem::path baseDirectory_;
  std::shared_ptr<const TemplateLoader> loader_;
};

/// A short text naming a source: key "promo", reference "weekly", url "...".
std::string describeSource(const CompositeListTemplateSource& source);

}  // namespace quarn::tool
