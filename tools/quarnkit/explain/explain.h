// explain: for every item of a template (and of the templates it includes),
// whether it is shown and, when not, which rule hides it or why an item the
// rules keep gets no section on the screen; the next moment at which a start
// or expiry date changes what is shown; and, over a matrix of facts, which
// items each combination shows.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "quarnkit/composite_list/model/element_visibility.h"
#include "quarnkit/platform/runtime/async_fwd.h"
#include "tools/quarnkit/host/session.h"

namespace quarn::tool {

struct ExplainedItem {
  std::string file;
  /// The item's JSON path in its file ("[3]").
  std::string path;
  /// 0 for the template's own items, n for items n includes deep.
  int depth = 0;
  std::string uniqueId;
  std::string type;
  CompositeListElementVisibility visibility;
  std::optional<Date> startDate;
  std::optional<Date> expiryDate;
  std::optional<std::string> predicate;
  std::optional<std::string> visibilityClass;
  /// Set for included items the include does not select, and for includes
  /// that could not be resolved: why the item is not shown after all.
  std::optional<std::string> note;
  /// Set for items the rules keep that still get no section in the preview
  /// (the same pipeline and sections): why ("no entities").
  std::optional<std::string> noSection;

  [[nodiscard]] bool isShown() const { return visibility.isShown() && !note && !noSection; }
  /// A stable key for the matrix: file and path.
  [[nodiscard]] std::string key() const { return file + path; }
};

struct Explanation {
  std::vector<ExplainedItem> items;
  Date now;
  std::optional<bool> premium;
  /// The earliest start or expiry date after now, and the item it belongs to.
  struct Change {
    Date date;
    std::string uniqueId;
    bool starts = false;
  };
  std::optional<Change> nextChange;
};

Async<Explanation> explain(const HostSession& session);

/// Why an item is (not) shown, as a phrase: "shown", "hidden: expired ...",
/// "not shown: shown by the rules; no section: no entities".
std::string describeVisibility(const ExplainedItem& item, std::optional<bool> premium);
/// The reason's stable name for json output ("premiumClass").
std::string reasonName(const ExplainedItem& item);

/// One axis of a matrix: a fact (or "premium", "device", "now") and its values.
struct MatrixAxis {
  std::string name;
  std::vector<std::string> values;
};
/// "premium=yes,no" → {premium, [yes, no]}; std::invalid_argument when malformed.
MatrixAxis parseMatrixAxis(const std::string& text);
/// Options with one value per axis applied: premium yes/no, device
/// phone/tablet/..., now a date, any other name a fact.
HostOptions applyAxisValue(HostOptions options, const std::string& name, const std::string& value);

}  // namespace quarn::tool
