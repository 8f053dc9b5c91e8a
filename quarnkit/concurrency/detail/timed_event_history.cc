#include "quarnkit/concurrency/detail/timed_event_history.h"

#include <exception>

#include "quarnkit/coding/json_serialization.h"

namespace quarn::detail {

using platform::KeyValueStore;

StoredHistory readHistory(const std::optional<KeyValueStore::Stored>& stored) {
  StoredHistory history;
  if (!stored) return history;
  const auto* data = std::get_if<KeyValueStore::Data>(&*stored);
  history.unreadable = true;
  if (data == nullptr) return history;
  try {
    Value json =
        parseJSON(std::string_view(reinterpret_cast<const char*>(data->data()), data->size()));
    if (auto* groups = json.ifObject()) {
      history.groups = std::move(*groups);
      history.unreadable = false;
    }
  } catch (const std::exception&) {
    // Not JSON: reads as empty.
  }
  return history;
}

std::optional<KeyValueStore::Data> writeHistory(const Value::Object& groups) {
  try {
    const std::string text = serializeJSON(Value(groups));
    return KeyValueStore::Data(text.begin(), text.end());
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<EventGroup> decodeGroup(const Value& json) {
  const Value::Array* items = json.ifArray();
  if (items == nullptr || items->size() % 2 != 0) return std::nullopt;
  EventGroup group;
  for (std::size_t i = 0; i < items->size(); i += 2) {
    const std::string* key = (*items)[i].ifString();
    const Value& record = (*items)[i + 1];
    const Value* identifier = record.find("identifier");
    const Value* times = record.find("eventTimes");
    if (key == nullptr || identifier == nullptr || !identifier->isString() || times == nullptr ||
        !times->isArray()) {
      return std::nullopt;
    }
    Events events{*identifier->ifString(), {}};
    events.eventTimes.reserve(times->ifArray()->size());
    for (const Value& t : *times->ifArray()) {
      const auto seconds = t.asDouble();
      if (!seconds) return std::nullopt;
      events.eventTimes.push_back(*seconds);
    }
    group.insert_or_assign(*key, std::move(events));  // a repeated name: the later record
  }
  return group;
}

Value encodeGroup(const EventGroup& group) {
  Value::Array items;
  items.reserve(group.size() * 2);
  for (const auto& [id, events] : group) {
    Value::Array times(events.eventTimes.begin(), events.eventTimes.end());
    items.emplace_back(id.rawValue);
    items.emplace_back(Value::Object{{"identifier", events.identifier.rawValue},
                                     {"eventTimes", std::move(times)}});
  }
  return items;
}

}  // namespace quarn::detail
