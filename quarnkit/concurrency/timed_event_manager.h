/// @file
/// TimedEventManager: a persisted history of when named events happened, and rules over it: run
/// some work unless it already ran n times, at most once, or only when enough time passed since the
/// last time.

/// @class quarn::TimedEventManager
/// A persisted history of when named events happened, and
/// rules over it: run some work unless it already ran n times, at most once,
/// or only when enough time passed since the last time. A shared object: made
/// by make() (or default_()) and held in a std::shared_ptr.
///
/// ```
///   auto events = TimedEventManager::default_();
///   events->registerEvent(EventIdentifier::appLaunch, 100);
///   events->execute(EventIdentifier::appRate, 3, 7 * 86400.0, [&] { return askForRating(); });
///   events->executeOnce("welcome_tour", [&] { showTour(); return true; });
/// ```
///
/// The history lives in a key-value store under "timedEvents": binary data
/// holding the JSON object of groups, each group an array alternating an
/// event's name and its record, as in
///   {"default": ["app_launch", {"identifier": "app_launch", "eventTimes": [1714557600.5]}]}
/// with times in seconds since 1970. Managers of different groups share the
/// store without seeing each other's events.
///
/// Every operation reads the store afresh. Each change is one atomic
/// read-modify-write of the store (KeyValueStore::update), so managers in
/// other threads or, over a FileKeyValueStore, other processes lose none of
/// each other's events. A group that cannot be read counts as empty and the
/// others are written back as they were; stored data that cannot be read at
/// all counts as empty. When a change replaces what could not be read, the
/// old value is kept under "timedEvents.corrupt" and an error is logged. A
/// history that cannot be encoded (a time that is not finite) is not
/// written; the store keeps its value and an error is logged.
///
/// The execute family checks, runs `work` with the store untouched, then
/// records: two processes checking at the same moment may both run the work.
///
/// Inside the predicate or the work of an event, the host may:
/// - drop its last reference to the manager: the call holds one until it
///   returns, and records as it would have;
/// - call the manager again: other events and the other operations behave as
///   anywhere else, but an execute of the same event (same store and group)
///   on the same thread does not run its work (the event is being executed):
///   it returns lastExecuting with the last recorded time, or notExecuted;
/// - throw: the exception leaves the execute call, nothing is recorded for
///   that run, and the event can be executed again.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "quarnkit/core/function_ref.h"
#include "quarnkit/core/hash.h"
#include "quarnkit/platform/key_value_store.h"

namespace quarn {

/// The name of an event; stored as its raw text.
struct EventIdentifier {
  /// The stored name ("app_launch").
  std::string rawValue;

  /// The identifier named `raw` (converts implicitly, as do string literals).
  EventIdentifier(std::string raw)
      : rawValue(std::move(raw)) {}  // NOLINT(google-explicit-constructor)
  /// The identifier named `raw`.
  EventIdentifier(const char* raw) : rawValue(raw) {}  // NOLINT(google-explicit-constructor)

  static const EventIdentifier firstAppLaunch;    ///< "first_app_launch"
  static const EventIdentifier appLaunch;         ///< "app_launch"
  static const EventIdentifier appRate;           ///< "app_rate"
  static const EventIdentifier appFeedback;       ///< "app_feedback"
  static const EventIdentifier emailAlert;        ///< "email_alert"
  static const EventIdentifier signUpBonusAlert;  ///< "signup_bonus_alert"
  static const EventIdentifier premiumStart;      ///< "premium_start"

  /// Identifiers are equal when their names are.
  friend bool operator==(const EventIdentifier&, const EventIdentifier&) = default;
  /// Ordered by name.
  // NOLINTNEXTLINE(modernize-use-nullptr): clang-tidy misreads the defaulted comparison
  friend auto operator<=>(const EventIdentifier&, const EventIdentifier&) = default;
};

/// The recorded times of one event, oldest first, in seconds since 1970.
struct Events {
  /// The event.
  EventIdentifier identifier;
  /// The recorded times, oldest first, in seconds since 1970.
  std::vector<double> eventTimes;

  /// How many times are recorded.
  [[nodiscard]] std::size_t count() const { return eventTimes.size(); }
  /// Equal when the identifier and every time are.
  friend bool operator==(const Events&, const Events&) = default;
};

/// The events of one group, by identifier.
using EventGroup = std::map<EventIdentifier, Events>;
/// The groups of a store, by group name.
using EventGroups = std::map<std::string, EventGroup>;

/// What an execute call did.
struct ExecuteResult {
  /// What the call did.
  enum class Kind : std::uint8_t { lastExecuting, executed, notExecuted };
  /// What the call did.
  Kind kind = Kind::notExecuted;
  /// lastExecuting: the time of the last recorded occurrence.
  double time = 0;

  /// Not run: the event's last recorded time was `time`.
  static ExecuteResult lastExecuting(double time) { return {Kind::lastExecuting, time}; }
  /// Run and recorded.
  static ExecuteResult executed() { return {Kind::executed, 0}; }
  /// Not run, with no recorded time to report (or the work said it did not run).
  static ExecuteResult notExecuted() { return {Kind::notExecuted, 0}; }
  /// Results are equal when kind and time are.
  friend bool operator==(const ExecuteResult&, const ExecuteResult&) = default;
};

class TimedEventManager : public std::enable_shared_from_this<TimedEventManager> {
 public:
  /// Recorded times, oldest first, in seconds since 1970.
  using Times = std::vector<double>;

  /// The manager of the group `groupIdentifier` of `userDefaults`.
  static std::shared_ptr<TimedEventManager> make(
      std::shared_ptr<platform::KeyValueStore> userDefaults, std::string groupIdentifier);
  TimedEventManager(const TimedEventManager&) = delete;
  TimedEventManager& operator=(const TimedEventManager&) = delete;

  /// The standard store's manager of the group "default", made on first use.
  static std::shared_ptr<TimedEventManager> default_();
  /// Replaces the manager default_() returns (null: the next call makes a new one).
  static void setDefault(std::shared_ptr<TimedEventManager> manager);

  /// The store the history lives in.
  [[nodiscard]] const std::shared_ptr<platform::KeyValueStore>& userDefaults() const {
    return userDefaults_;
  }
  /// The group of the store this manager reads and records.
  [[nodiscard]] const std::string& groupIdentifier() const { return groupIdentifier_; }

  /// Every readable group of the store.
  [[nodiscard]] EventGroups events() const;
  /// Replaces the whole stored history (every group) with `groups`.
  void setEvents(const EventGroups& groups);
  /// The events of `id` in this manager's group.
  [[nodiscard]] std::optional<Events> events(const EventIdentifier& id) const;
  /// Whether `id` has a recorded time in this group.
  [[nodiscard]] bool containsEvents(const EventIdentifier& id) const;

  /// Records an occurrence of `id` now, keeping its newest `maxCount` times
  /// (none for 0 or less).
  void registerEvent(const EventIdentifier& id, std::int64_t maxCount);
  /// The same as registerEvent().
  void registerEventTimestamp(const EventIdentifier& id, std::int64_t maxCount) {
    registerEvent(id, maxCount);
  }

  /// How many times execute with a predicate keeps by default: enough for
  /// rules such as "at most n times a week" or "not within a day of the last
  /// time", and few enough that a call costs the same however often the
  /// event ran before.
  static constexpr std::int64_t kPredicateHistoryLimit = 100;

  /// When `predicate` holds for the recorded times of `id`, runs `work` and
  /// records an occurrence if it says it ran (executed; notExecuted if not).
  /// Otherwise lastExecuting with the last time, or notExecuted without one.
  /// Recording keeps the newest `maxCount` times (at least one), so the
  /// predicate sees at most that many; a rule that needs more passes more.
  /// A longer history stored earlier is read whole and trimmed when the event
  /// is next recorded.
  ExecuteResult execute(const EventIdentifier& id, FunctionRef<bool(const Times&)> predicate,
                        FunctionRef<bool()> work, std::int64_t maxCount = kPredicateHistoryLimit);
  /// Runs `work` unless `id` has `count` times already (then lastExecuting
  /// with the last one, or notExecuted for a count of 0 or less), recording
  /// an occurrence when it ran. Keeps the newest `count` times only: all the
  /// rule needs.
  ExecuteResult execute(const EventIdentifier& id, std::int64_t count, FunctionRef<bool()> work);
  /// As above, and also only once `minTimeInterval` seconds passed since the
  /// last time.
  ExecuteResult execute(const EventIdentifier& id, std::int64_t count, double minTimeInterval,
                        FunctionRef<bool()> work);
  /// execute(id, 1, work).
  ExecuteResult executeOnce(const EventIdentifier& id, FunctionRef<bool()> work);

  /// Forgets `id` in this group.
  void clear(const EventIdentifier& id);
  /// Forgets every event of this group; the group stays, empty.
  void clearEventsGroup();
  /// Forgets every group.
  void clearAllEvents();

 private:
  TimedEventManager(std::shared_ptr<platform::KeyValueStore> userDefaults,
                    std::string groupIdentifier);

  // Runs `check` and, when due, `work` (both the host's), keeping this
  // manager alive and the event marked as being executed meanwhile.
  ExecuteResult guarded(const EventIdentifier& id, FunctionRef<bool(const Times&)> due,
                        FunctionRef<bool()> work, std::int64_t keep);
  // One atomic read-modify-write of this group; `edit` says whether it changed it.
  void changeGroup(const std::function<bool(EventGroup&)>& edit);
  void record(const EventIdentifier& id, std::int64_t maxCount);
  [[nodiscard]] Times times(const EventIdentifier& id) const;

  std::shared_ptr<platform::KeyValueStore> userDefaults_;
  std::string groupIdentifier_;
};

}  // namespace quarn

/// Hashes an identifier by its name.
template <>
struct std::hash<quarn::EventIdentifier> {
  /// The hash of the name.
  std::size_t operator()(const quarn::EventIdentifier& id) const noexcept {
    return std::hash<std::string>()(id.rawValue);
  }
};

/// Agrees with ==: the identifier and every time in order (0 and -0 hash
/// alike, as they compare equal).
template <>
struct std::hash<quarn::Events> {
  /// The hash of the identifier and the times.
  std::size_t operator()(const quarn::Events& events) const noexcept {
    std::size_t seed = std::hash<quarn::EventIdentifier>()(events.identifier);
    quarn::hashValue(seed, events.eventTimes.size());
    for (const double time : events.eventTimes) quarn::hashValue(seed, time == 0 ? 0.0 : time);
    return seed;
  }
};
