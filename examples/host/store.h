// The app's own settings store: a map in memory. A real app would write it
// to its preferences file.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "quarnkit/platform/key_value_store.h"

namespace host {

class SettingsStore final : public quarn::platform::KeyValueStore {
 public:
  [[nodiscard]] std::optional<Stored> object(const std::string& key) const override {
    std::lock_guard lock(mutex_);
    const auto it = values_.find(key);
    return it == values_.end() ? std::nullopt : std::optional<Stored>(it->second);
  }
  bool set(const std::string& key, Stored value) override {
    std::lock_guard lock(mutex_);
    values_.insert_or_assign(key, std::move(value));
    return true;
  }
  bool removeObject(const std::string& key) override {
    std::lock_guard lock(mutex_);
    values_.erase(key);
    return true;
  }
  [[nodiscard]] std::vector<std::string> keys() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& entry : values_) out.push_back(entry.first);
    return out;
  }

 private:
  mutable std::mutex mutex_;
  std::map<std::string, Stored> values_;
};

}  // namespace host
