// KeyValueStore: the platform's small persistent store of values by key.
//
//   auto store = KeyValueStore::standard();
//   store->set("timedEvents", KeyValueStore::Data(bytes.begin(), bytes.end()));
//   if (auto data = store->data("timedEvents")) decode(*data);
//
// A stored value is binary data or a Value. The standard store is in memory
// until the host installs another (a FileKeyValueStore). A FileKeyValueStore
// writes the whole store on every change, atomically (temporary file, flush,
// rename), so a crash mid-write leaves the old content; a file that cannot be
// read or parsed reads as empty and the next write replaces it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "quarnkit/core/value.h"

namespace quarn::platform {

class KeyValueStore {
 public:
  using Data = std::vector<std::uint8_t>;
  using Stored = std::variant<Data, Value>;

  virtual ~KeyValueStore() = default;
  [[nodiscard]] virtual std::optional<Stored> object(const std::string& key) const = 0;
  virtual void set(const std::string& key, Stored value) = 0;
  virtual void removeObject(const std::string& key) = 0;
  /// Writes pending changes; true when the store is in a persisted state.
  virtual bool synchronize() { return true; }

  /// The value under `key` when it is binary data; nothing otherwise.
  [[nodiscard]] std::optional<Data> data(const std::string& key) const;

  static std::shared_ptr<KeyValueStore> standard();
  static void setStandard(std::shared_ptr<KeyValueStore> store);
};

class InMemoryKeyValueStore : public KeyValueStore {
 public:
  [[nodiscard]] std::optional<Stored> object(const std::string& key) const override;
  void set(const std::string& key, Stored value) override;
  void removeObject(const std::string& key) override;

 protected:
  mutable std::mutex mutex_;
  std::map<std::string, Stored> values_;
};

/// A store kept in a JSON file. Values that JSON cannot hold (host objects)
/// are rejected with std::invalid_argument.
class FileKeyValueStore final : public InMemoryKeyValueStore {
 public:
  explicit FileKeyValueStore(std::filesystem::path path);
  void set(const std::string& key, Stored value) override;
  void removeObject(const std::string& key) override;
  bool synchronize() override;

 private:
  bool write();
  std::filesystem::path path_;
};

}  // namespace quarn::platform
