// Template documents on disk: decoding a template file through the host
// registry, and the include provider that finds included templates in one
// folder, the includes directory (--includes DIR; without it, URL includes
// are looked for in the template's own folder):
//   {"key": "promo"}          DIR/promo.json
//   {"reference": "weekly"}   DIR/<key>.json, where DIR/index.json maps
//                             references to keys: {"weekly": "promo_week_12"}
//   {"url": "extra/x.json"}   DIR/extra/x.json; the path is percent-decoded
//                             and may be absolute ("file:///..."), but must
//                             lead to a file under DIR
// Every source resolves through IncludeFolder, so no name (a key, an index
// entry, a URL, a symlink on the way) reaches a file outside the folder;
// remote URLs are not fetched. Included files are read within the run's
// limits and counted on its IncludeChain.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/composite_list/fetching/template_providing.h"
#include "quarnkit/composite_list/model/context.h"
#include "tools/quarnkit/host/host_descriptions.h"
#include "tools/quarnkit/host/include_chain.h"

namespace quarn::tool {

/// The name of the index file that maps include references to keys.
inline constexpr const char* kIncludeIndexFile = "index.json";

/// A template file read and decoded.
struct TemplateDocument {
  /// The file as messages name it.
  std::string file;
  std::vector<AnyCompositeListItem> items;
  /// Each item's JSON path in the file ("[3]"), in the order of `items`.
  std::vector<std::string> paths;
};

class TemplateLoader {
 public:
  TemplateLoader(std::shared_ptr<HostRegistry> host, std::shared_ptr<CompositeListContext> context,
                 std::uint64_t maxFileSize);

  /// The decoder templates are read with: internet date-time dates, the
  /// registry, its class map and the context (random selection).
  [[nodiscard]] JSONDecoder decoder() const;
  /// Reads a template file, registers its types and decodes its items.
  /// InputError naming the file, the JSON path and the reason on failure.
  [[nodiscard]] TemplateDocument load(const std::string& file) const;
  [[nodiscard]] TemplateDocument load(const IncludedFile& file) const;
  /// The same for a document already read.
  [[nodiscard]] TemplateDocument decode(const std::string& file, const std::string& text) const;

  [[nodiscard]] const std::shared_ptr<HostRegistry>& host() const { return host_; }
  [[nodiscard]] std::uint64_t maxFileSize() const { return maxFileSize_; }

 private:
  std::shared_ptr<HostRegistry> host_;
  std::shared_ptr<CompositeListContext> context_;
  std::uint64_t maxFileSize_;
};

class FileTemplateProvider final : public CompositeListTemplateProviding {
 public:
  using CompositeListTemplateProviding::provideTemplate;

  /// Sources resolve under `includesDirectory`; URLs, without one, next to
  /// `templateFile`. Included templates are counted on `chain`.
  FileTemplateProvider(std::optional<std::filesystem::path> includesDirectory,
                       std::string templateFile, std::shared_ptr<const TemplateLoader> loader,
                       std::shared_ptr<IncludeChain> chain);

  /// Completes with the decoded items of the source's file, or with the
  /// InputError that prevented it. The source is resolved at the site of
  /// the innermost include on the chain.
  void provideTemplate(const CompositeListTemplateSource& source, Completion completion) override;

  /// The file a source names. InputError about the source when it names
  /// none: no includes directory, a key that is not a plain name, a
  /// reference the index lacks, a remote URL, a name that leads outside the
  /// includes directory.
  [[nodiscard]] IncludedFile fileFor(const CompositeListTemplateSource& source) const;
  /// The same, for the include written at `site`: a refusal, or a file that
  /// is missing or not a regular file, is an InputError at the site
  /// ("cannot resolve the include key "promo": ...").
  [[nodiscard]] IncludedFile resolve(const IncludeSite& site,
                                     const CompositeListTemplateSource& source) const;
  /// Reads and decodes an included file, counts its items on the chain and
  /// notes the sites of its includes.
  [[nodiscard]] TemplateDocument load(const IncludedFile& file);

  /// Remembers where the includes of a document are written, for siteOf().
  void noteSites(const TemplateDocument& document);
  /// Where an include item read by this provider (or noted) is written.
  [[nodiscard]] IncludeSite siteOf(const AnyCompositeListItem& include) const;

  [[nodiscard]] IncludeChain& chain() const { return *chain_; }

 private:
  [[nodiscard]] IncludedFile fileIn(const std::string& name, const std::string& what) const;
  [[nodiscard]] IncludedFile fileForKey(const std::string& key, const std::string& what) const;

  std::optional<IncludeFolder> includes_;
  std::string templateFile_;
  IncludeFolder urlFolder_;
  std::shared_ptr<const TemplateLoader> loader_;
  std::shared_ptr<IncludeChain> chain_;
  /// Include records by address, kept alive so that no address is reused.
  std::map<const void*, std::pair<std::shared_ptr<const void>, IncludeSite>> sites_;
};

/// A short text naming a source: key "promo", reference "weekly", url "...".
std::string describeSource(const CompositeListTemplateSource& source);

/// The error in flight while the include at `site` was followed, as a
/// phrase: its reason when the error is about the include itself, else the
/// whole line (which names the included file it is about).
std::string describeIncludeFailure(const IncludeSite& site);

/// The JSON paths of the elements of a template array the decoder turns
/// into items: those with a "type" member, in order.
std::vector<std::string> templateItemPaths(const Value& document);

}  // namespace quarn::tool
