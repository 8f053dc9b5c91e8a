/// @file
/// ScrolledList: a scrolling list of rows that can be told to show its data again.

/// @class quarn::ScrolledList
/// A scrolling list of rows that can be told to show its data
/// again. An interface the host's list views implement (the headless
/// toolkit's CollectionView is one); a scrolled paginated data source reloads
/// its list through it whenever a page has been delivered.
///
/// The data source holds the list strongly, as the screen's other parts do;
/// reloadData() runs on the main context and may call back into the data
/// source (it is not loading any more), release it, or throw (the exception
/// leaves the page's delivery after the data source's other callbacks ran).
#pragma once

namespace quarn {

class ScrolledList {
 public:
  virtual ~ScrolledList() = default;
  /// Shows the rows of the current data, forgetting what was shown.
  virtual void reloadData() = 0;
};

}  // namespace quarn
