// The stored form of the timed-event history: reading it group by group and
// writing it back.
#pragma once

#include <optional>

#include "quarnkit/concurrency/timed_event_manager.h"
#include "quarnkit/core/value.h"

namespace quarn::detail {

/// The stored history: each group's JSON as it was stored, in stored order,
/// so that changing one group writes the others back untouched.
struct StoredHistory {
  Value::Object groups;
  /// The stored value could not be read at all (it then reads as empty).
  bool unreadable = false;
};

StoredHistory readHistory(const std::optional<platform::KeyValueStore::Stored>& stored);
/// The history's data; nothing when it cannot be encoded.
std::optional<platform::KeyValueStore::Data> writeHistory(const Value::Object& groups);

/// A group's events; nothing when its JSON is not the group's shape.
std::optional<EventGroup> decodeGroup(const Value& json);
/// The alternating array of names and records.
Value encodeGroup(const EventGroup& group);

}  // namespace quarn::detail
