/// @file
/// Progress: how far a piece of work has come, as a tree of shared objects.

/// @class quarn::platform::Progress
/// How far a piece of work has come, as a tree of shared objects.
///
/// Kind: a shared object, made only by make() (a ProgressProxy by its own).
///
/// A progress counts units: completedUnitCount of totalUnitCount. A child added
/// with a pending unit count stands for that many of its parent's units, so the
/// parent's fraction is weighted by it; a finished child counts its pending
/// units as completed and leaves the tree. Cancelling, pausing and resuming run
/// the matching handler and reach every child.
///
/// ```
///   auto overall = Progress::make(2);
///   auto first = Progress::make(100);
///   overall->addChild(first, 1);
///   first->setCompletedUnitCount(50);        // overall->fractionCompleted() == 0.25
///   AnyCancellable c = overall->fractionCompletedPublisher().sink(
///       [](double f) { draw(f); });           // 0.25 at once, then every change
/// ```
///
/// Every operation may be called from any thread. Handlers run on the thread
/// that made the change. Observers of one progress are called one change at a
/// time and in order, by the thread that made the change or by one that is
/// still delivering an earlier change. Neither runs under the progress's lock,
/// so both may call back into it.
///
/// Inside a handler or an observer the host may drop its last reference (the
/// change under way completes), change, cancel, pause or resume the progress
/// (a change an observer makes is delivered after the one under way; cancel()
/// from the cancellation handler changes nothing), or cancel its own
/// subscription. A handler or observer that throws does not stop the change:
/// the parent, the handler, the children and the observers of the other
/// values still get it (observers of the same value after the throwing one
/// miss it, as with any publisher), then the first exception propagates to the
/// caller of the change (setCompletedUnitCount(), cancel(), addChild() ...).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "quarnkit/core/url.h"
#include "quarnkit/core/value.h"
#include "quarnkit/platform/runtime/publisher_fwd.h"

namespace quarn::platform {

class Progress : public std::enable_shared_from_this<Progress> {
 protected:
  /// Limits construction to make() and to subtypes (which must be shared too).
  struct Token {
    explicit Token() = default;
  };

 public:
  /// Free-form entries describing the work.
  using UserInfo = ValueObject;
  /// A cancellation, pausing or resuming handler.
  using Handler = std::function<void()>;

  /// A progress without parent. The counts start at 0 of `totalUnitCount`.
  static std::shared_ptr<Progress> make(std::int64_t totalUnitCount = 0, UserInfo userInfo = {});

  /// For make() and subtypes: the token is protected.
  Progress(Token, std::int64_t totalUnitCount, UserInfo userInfo);
  virtual ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // --- Unit counts -------------------------------------------------------

  /// The units the work has in all (negative: unknown).
  [[nodiscard]] std::int64_t totalUnitCount() const;
  /// Sets the total.
  void setTotalUnitCount(std::int64_t count);
  /// The units done.
  [[nodiscard]] std::int64_t completedUnitCount() const;
  /// Sets the units done.
  void setCompletedUnitCount(std::int64_t count);
  /// Sets both counts as one change (observers never see a mix of old and new).
  void setUnitCounts(std::int64_t total, std::int64_t completed);

  /// (completed + Σ pending × child fraction) / total; 0 when total <= 0.
  [[nodiscard]] double fractionCompleted() const;
  /// Whether the amount of work is unknown: a negative count, or both 0.
  [[nodiscard]] virtual bool isIndeterminate() const;
  /// Whether the work is done: total > 0 and completed >= total.
  [[nodiscard]] virtual bool isFinished() const;

  // --- Children ------------------------------------------------------------

  /// Makes `child` stand for `pendingUnitCount` of this progress's units. A
  /// child added to a cancelled (paused) progress is cancelled (paused). A
  /// child that already has a parent, this progress itself or one of its
  /// ancestors is a programming error.
  void addChild(const std::shared_ptr<Progress>& child, std::int64_t pendingUnitCount);
  /// The children that have not finished yet.
  [[nodiscard]] std::vector<std::shared_ptr<Progress>> children() const;

  // --- Cancel, pause, resume ---------------------------------------------

  /// Marks the progress cancelled (for good), runs the cancellation handler
  /// and cancels every child. Works whether or not it is cancellable: that
  /// flag tells a user interface whether to offer the action.
  virtual void cancel();
  /// Marks the progress paused, runs the pausing handler and pauses the children.
  virtual void pause();
  /// Clears the paused mark, runs the resuming handler and resumes the children.
  virtual void resume();
  /// Whether cancel() was called.
  [[nodiscard]] virtual bool isCancelled() const;
  /// Whether the progress is paused.
  [[nodiscard]] virtual bool isPaused() const;
  /// True by default.
  [[nodiscard]] bool isCancellable() const;
  /// Sets whether a user interface should offer cancelling.
  void setCancellable(bool cancellable);
  /// False by default.
  [[nodiscard]] bool isPausable() const;
  /// Sets whether a user interface should offer pausing.
  void setPausable(bool pausable);
  /// A handler set on a progress that is already cancelled runs at once.
  void setCancellationHandler(Handler handler);
  /// A handler set on a progress that is already paused runs at once.
  void setPausingHandler(Handler handler);
  /// Sets what runs on resume().
  void setResumingHandler(Handler handler);

  // --- Descriptions ------------------------------------------------------

  /// The free-form entries.
  [[nodiscard]] virtual UserInfo userInfo() const;
  /// Sets the entry for `key`; an absent value removes it.
  virtual void setUserInfoObject(std::optional<Value> value, const std::string& key);
  /// The text set last, or "N% completed" from the fraction (N truncated).
  [[nodiscard]] std::string localizedDescription() const;
  /// Sets the text; an absent one restores the default.
  void setLocalizedDescription(std::optional<std::string> text);
  /// The text set last, or "completed of total" (empty while total <= 0).
  [[nodiscard]] std::string localizedAdditionalDescription() const;
  /// Sets the additional text; an absent one restores the default.
  void setLocalizedAdditionalDescription(std::optional<std::string> text);
  /// What the units are (an open text such as "file"); none by default.
  [[nodiscard]] std::optional<std::string> kind() const;
  /// Sets what the units are.
  void setKind(std::optional<std::string> kind);
  /// For file work: what is done to the file ("downloading", ...).
  [[nodiscard]] std::optional<std::string> fileOperationKind() const;
  /// Sets what is done to the file.
  void setFileOperationKind(std::optional<std::string> kind);
  /// For file work: the file.
  [[nodiscard]] std::optional<URL> fileURL() const;
  /// Sets the file.
  void setFileURL(std::optional<URL> url);

  // --- Observation ---------------------------------------------------------

  ///@{
  /// Each publisher gives the current value at once, then every change. The
  /// fraction is also sent when the unit counts change and the fraction does
  /// not (so an observer of the fraction can read consistent counts).
  [[nodiscard]] AnyPublisher<double, Never> fractionCompletedPublisher() const;
  [[nodiscard]] AnyPublisher<std::int64_t, Never> totalUnitCountPublisher() const;
  [[nodiscard]] AnyPublisher<std::int64_t, Never> completedUnitCountPublisher() const;
  [[nodiscard]] virtual AnyPublisher<bool, Never> isCancelledPublisher() const;
  [[nodiscard]] virtual AnyPublisher<bool, Never> isPausedPublisher() const;
  [[nodiscard]] AnyPublisher<bool, Never> isCancellablePublisher() const;
  [[nodiscard]] AnyPublisher<bool, Never> isPausablePublisher() const;
  [[nodiscard]] AnyPublisher<std::string, Never> localizedDescriptionPublisher() const;
  [[nodiscard]] AnyPublisher<std::string, Never> localizedAdditionalDescriptionPublisher() const;
  [[nodiscard]] AnyPublisher<std::optional<std::string>, Never> kindPublisher() const;
  [[nodiscard]] AnyPublisher<std::optional<std::string>, Never> fileOperationKindPublisher() const;
  [[nodiscard]] AnyPublisher<std::optional<URL>, Never> fileURLPublisher() const;
  ///@}

 private:
  struct Impl;
  struct Observed;

  // Runs `change` on the state under the lock, then tells observers and the
  // parent. `change` returns whether anything changed.
  template <class Change>
  void update(Change change);
  // Sends every observed value that differs from the one sent last.
  void publish();
  // Hands this progress's fraction and finished state to its parent.
  void propagateToParent();
  void childDidChange(const Progress* child, std::uint64_t version, double fraction, bool finished);
  void setFlagAndRun(bool Impl::*flag, bool value, Handler Impl::*handler,
                     void (Progress::*forChildren)());
  void setHandler(Handler Impl::*handler, Handler value, const bool Impl::*runIfSet);

  const std::unique_ptr<Impl> impl_;
};

}  // namespace quarn::platform
