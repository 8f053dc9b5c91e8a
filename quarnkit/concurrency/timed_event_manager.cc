#include "quarnkit/concurrency/timed_event_manager.h"

#include <algorithm>
#include <variant>

#include "quarnkit/concurrency/detail/timed_event_history.h"
#include "quarnkit/core/log.h"
#include "quarnkit/platform/runtime/clock.h"
#include "quarnkit/platform/service.h"

namespace quarn {

using platform::KeyValueStore;

const EventIdentifier EventIdentifier::firstAppLaunch{"first_app_launch"};
const EventIdentifier EventIdentifier::appLaunch{"app_launch"};
const EventIdentifier EventIdentifier::appRate{"app_rate"};
const EventIdentifier EventIdentifier::appFeedback{"app_feedback"};
const EventIdentifier EventIdentifier::emailAlert{"email_alert"};
const EventIdentifier EventIdentifier::signUpBonusAlert{"signup_bonus_alert"};
const EventIdentifier EventIdentifier::premiumStart{"premium_start"};

namespace {

constexpr const char* kKey = "timedEvents";
constexpr const char* kCorruptKey = "timedEvents.corrupt";

const Logger& log() {
  static const Logger logger("Velmora", "TimedEventManager");
  return logger;
}

platform::ServiceSlot<TimedEventManager>& defaultSlot() {
  static platform::ServiceSlot<TimedEventManager> slot(
      [] { return TimedEventManager::make(KeyValueStore::standard(), "default"); });
  return slot;
}

double now() { return platform::Clock::current()->now().timeIntervalSince1970(); }

std::string sizeOf(const KeyValueStore::Stored& stored) {
  if (const auto* data = std::get_if<KeyValueStore::Data>(&stored)) {
    return std::to_string(data->size()) + " bytes";
  }
  return "not data";
}

// Keeps what a change replaced because it could not be read, for support to look at.
void keepUnreadable(KeyValueStore& store, const KeyValueStore::Stored& old,
                    const std::string& what) {
  log().error(
      "[TimedEventManager] {} could not be read and was replaced; the stored value ({}) "
      "is kept under \"{}\"",
      what, sizeOf(old), kCorruptKey);
  store.set(kCorruptKey, old);
}

}  // namespace

TimedEventManager::TimedEventManager(std::shared_ptr<KeyValueStore> userDefaults,
                                     std::string groupIdentifier)
    : userDefaults_(std::move(userDefaults)), groupIdentifier_(std::move(groupIdentifier)) {}

std::shared_ptr<TimedEventManager> TimedEventManager::make(
    std::shared_ptr<KeyValueStore> userDefaults, std::string groupIdentifier) {
  return std::shared_ptr<TimedEventManager>(
      new TimedEventManager(std::move(userDefaults), std::move(groupIdentifier)));
}

std::shared_ptr<TimedEventManager> TimedEventManager::default_() { return defaultSlot().get(); }

void TimedEventManager::setDefault(std::shared_ptr<TimedEventManager> manager) {
  defaultSlot().set(std::move(manager));
}

EventGroups TimedEventManager::events() const {
  EventGroups out;
  for (const auto& [name, json] : detail::readHistory(userDefaults_->object(kKey)).groups) {
    if (auto group = detail::decodeGroup(json)) out.insert_or_assign(name, std::move(*group));
  }
  return out;
}

void TimedEventManager::setEvents(const EventGroups& groups) {
  Value::Object json;
  for (const auto& [name, group] : groups) json.set(name, detail::encodeGroup(group));
  const auto data = detail::writeHistory(json);
  if (!data) {
    log().error("[TimedEventManager] The events could not be encoded; \"{}\" keeps its value",
                kKey);
    return;
  }
  std::optional<KeyValueStore::Stored> replaced;
  const bool stored = userDefaults_->update(kKey, [&](std::optional<KeyValueStore::Stored>& value) {
    if (detail::readHistory(value).unreadable) replaced = value;
    value = *data;
    return true;
  });
  userDefaults_->synchronize();
  if (stored && replaced) keepUnreadable(*userDefaults_, *replaced, "The stored history");
}

std::optional<Events> TimedEventManager::events(const EventIdentifier& id) const {
  const auto history = detail::readHistory(userDefaults_->object(kKey));
  const Value* json = history.groups.find(groupIdentifier_);
  if (json == nullptr) return std::nullopt;
  auto group = detail::decodeGroup(*json);
  if (!group) return std::nullopt;
  auto it = group->find(id);
  if (it == group->end()) return std::nullopt;
  return std::move(it->second);
}

bool TimedEventManager::containsEvents(const EventIdentifier& id) const {
  auto e = events(id);
  return e && e->count() > 0;
}

TimedEventManager::Times TimedEventManager::times(const EventIdentifier& id) const {
  auto e = events(id);
  return e ? std::move(e->eventTimes) : Times{};
}

void TimedEventManager::changeGroup(const std::function<bool(EventGroup&)>& edit) {
  std::optional<KeyValueStore::Stored> replaced;
  std::string what;
  const bool stored = userDefaults_->update(kKey, [&](std::optional<KeyValueStore::Stored>& value) {
    detail::StoredHistory history = detail::readHistory(value);
    const Value* json = history.groups.find(groupIdentifier_);
    std::optional<EventGroup> group = json != nullptr ? detail::decodeGroup(*json) : EventGroup{};
    const bool groupUnreadable = !group;
    if (!group) group.emplace();
    if (!edit(*group)) return false;
    history.groups.set(groupIdentifier_, detail::encodeGroup(*group));
    auto data = detail::writeHistory(history.groups);
    if (!data) {
      log().error(
          "[TimedEventManager] The events of group \"{}\" could not be encoded; \"{}\" "
          "keeps its value",
          groupIdentifier_, kKey);
      return false;
    }
    if (history.unreadable) {
      what = "The stored history";
    } else if (groupUnreadable) {
      what = "The events of group \"" + groupIdentifier_ + "\"";
    }
    if (!what.empty()) replaced = value;
    value = std::move(*data);
    return true;
  });
  userDefaults_->synchronize();
  if (stored && replaced) keepUnreadable(*userDefaults_, *replaced, what);
}

void TimedEventManager::record(const EventIdentifier& id, std::int64_t maxCount) {
  const double time = now();
  const auto keep = static_cast<std::size_t>(std::max<std::int64_t>(maxCount, 0));
  changeGroup([&](EventGroup& group) {
    auto [it, added] = group.try_emplace(id, Events{id, {}});
    auto& times = it->second.eventTimes;
    times.push_back(time);
    if (times.size() > keep)
      times.erase(times.begin(), times.end() - static_cast<std::ptrdiff_t>(keep));
    return true;
  });
}

void TimedEventManager::registerEvent(const EventIdentifier& id, std::int64_t maxCount) {
  record(id, maxCount);
}

namespace {

// The events whose predicate or work runs on this thread: store, group, event.
struct Executing {
  const KeyValueStore* store;
  std::string group;
  std::string event;
  friend bool operator==(const Executing&, const Executing&) = default;
};
thread_local std::vector<Executing> executing;

}  // namespace

ExecuteResult TimedEventManager::guarded(const EventIdentifier& id,
                                         FunctionRef<bool(const Times&)> due,
                                         FunctionRef<bool()> work, std::int64_t keep) {
  const Times recorded = times(id);
  const auto lastOrNothing = [&] {
    return recorded.empty() ? ExecuteResult::notExecuted()
                            : ExecuteResult::lastExecuting(recorded.back());
  };
  const Executing mark{userDefaults_.get(), groupIdentifier_, id.rawValue};
  if (std::find(executing.begin(), executing.end(), mark) != executing.end()) {
    return lastOrNothing();
  }
  const auto self = shared_from_this();  // the host may drop the manager in its callbacks
  executing.push_back(mark);
  struct Unmark {
    const Executing& mark;
    ~Unmark() { executing.erase(std::find(executing.begin(), executing.end(), mark)); }
  } unmark{mark};
  if (!due(recorded)) return lastOrNothing();
  if (!work()) return ExecuteResult::notExecuted();
  record(id, keep);
  return ExecuteResult::executed();
}

ExecuteResult TimedEventManager::execute(const EventIdentifier& id,
                                         FunctionRef<bool(const Times&)> predicate,
                                         FunctionRef<bool()> work, std::int64_t maxCount) {
  // Keeping none would forget the run just recorded, and with it the last time.
  return guarded(id, predicate, work, std::max<std::int64_t>(maxCount, 1));
}

ExecuteResult TimedEventManager::execute(const EventIdentifier& id, std::int64_t count,
                                         FunctionRef<bool()> work) {
  const auto due = [&](const Times& recorded) {
    return static_cast<std::int64_t>(recorded.size()) < count;
  };
  return guarded(id, due, work, count);
}

ExecuteResult TimedEventManager::execute(const EventIdentifier& id, std::int64_t count,
                                         double minTimeInterval, FunctionRef<bool()> work) {
  const auto due = [&](const Times& recorded) {
    return static_cast<std::int64_t>(recorded.size()) < count &&
           (recorded.empty() || now() - recorded.back() >= minTimeInterval);
  };
  return guarded(id, due, work, count);
}

ExecuteResult TimedEventManager::executeOnce(const EventIdentifier& id, FunctionRef<bool()> work) {
  return execute(id, 1, work);
}

void TimedEventManager::clear(const EventIdentifier& id) {
  changeGroup([&](EventGroup& group) { return group.erase(id) > 0; });
}

void TimedEventManager::clearEventsGroup() {
  changeGroup([](EventGroup& group) {
    group.clear();
    return true;
  });
}

void TimedEventManager::clearAllEvents() { setEvents({}); }

}  // namespace quarn
