/// @file
/// KeyValueStore: the platform's small persistent store of values by key.

/// @class quarn::platform::KeyValueStore
/// The platform's small persistent store of values by key.
///
/// Kind: stores are unique objects (not copyable), installed as services.
///
/// ```
///   auto store = KeyValueStore::standard();
///   store->set("timedEvents", KeyValueStore::Data(bytes.begin(), bytes.end()));
///   if (auto data = store->data("timedEvents")) decode(*data);
/// ```
///
/// A stored value is binary data or a Value. The standard store is in memory
/// until the host installs another (a FileKeyValueStore). A FileKeyValueStore
/// keeps the store in one file that any number of threads and processes may
/// share: every change is a read-modify-write of the whole file under a lock,
/// written atomically (a temporary file of its own, flushed, renamed over the
/// file, the directory flushed), so a reader sees the whole old or the whole
/// new file and no writer drops another's keys. A file that cannot be parsed
/// reads as empty and the next write replaces it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
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
  /// Binary data.
  using Data = std::vector<std::uint8_t>;
  /// What a store holds: binary data or a JSON-like value.
  using Stored = std::variant<Data, Value>;

  virtual ~KeyValueStore() = default;
  /// The value under `key`, or nothing.
  [[nodiscard]] virtual std::optional<Stored> object(const std::string& key) const = 0;
  /// Stores `value` under `key`. False when the change could not be made
  /// (written); the store then keeps what it held.
  virtual bool set(const std::string& key, Stored value) = 0;
  /// Removes the value under `key`, if any; false as for set().
  virtual bool removeObject(const std::string& key) = 0;
  /// Writes pending changes; true when the store is in a persisted state.
  virtual bool synchronize() { return true; }

  /// What update() does to a value: given the value under the key (nothing
  /// when there is none), edits it in place (nothing removes it) and says
  /// whether it changed it.
  using Change = std::function<bool(std::optional<Stored>& value)>;
  /// A read-modify-write of the value under `key` that no other change to
  /// the store comes between: `change` runs under the store's lock and must
  /// not use the store. True when `change` changed nothing or the change was
  /// stored; false as for set(). The default serialises updates through
  /// this object only; the stores here also exclude set() and removeObject(),
  /// and FileKeyValueStore other processes too.
  virtual bool update(const std::string& key, const Change& change);

  /// The value under `key` when it is binary data; nothing otherwise.
  [[nodiscard]] std::optional<Data> data(const std::string& key) const;

  /// The store the library uses by default (in memory until the host sets one).
  static std::shared_ptr<KeyValueStore> standard();
  /// Replaces the standard store (null: a new in-memory one).
  static void setStandard(std::shared_ptr<KeyValueStore> store);

 private:
  std::mutex updateMutex_;
};

/// A store kept in memory; thread-safe. The default standard store.
class InMemoryKeyValueStore : public KeyValueStore {
 public:
  [[nodiscard]] std::optional<Stored> object(const std::string& key) const override;
  bool set(const std::string& key, Stored value) override;
  bool removeObject(const std::string& key) override;
  bool update(const std::string& key, const Change& change) override;

 protected:
  /// Guards the values.
  mutable std::mutex mutex_;
  /// The values by key.
  std::map<std::string, Stored> values_;
};

/// A store kept in a JSON file at `path`, beside which it keeps a lock file
/// ("<path>.lock") and, while writing, temporary files ("<path>.tmp.*").
/// Reads see changes made by other processes. Values that the file cannot hold
/// (host objects, nesting deeper than 200 levels) are rejected with
/// std::invalid_argument. A failed write is also logged, once until a write
/// succeeds again. set() and removeObject() also answer false when the change
/// was made but the directory could not be flushed (it may then not survive a
/// power loss); that is logged every time.
class FileKeyValueStore final : public KeyValueStore {
 public:
  /// A store kept in the JSON file at `path` (created on first write).
  explicit FileKeyValueStore(std::filesystem::path path);
  ~FileKeyValueStore() override;
  FileKeyValueStore(const FileKeyValueStore&) = delete;
  FileKeyValueStore& operator=(const FileKeyValueStore&) = delete;

  [[nodiscard]] std::optional<Stored> object(const std::string& key) const override;
  bool set(const std::string& key, Stored value) override;
  bool removeObject(const std::string& key) override;
  bool update(const std::string& key, const Change& change) override;
  /// Reads the file afresh. False when it cannot be read, or was written by a
  /// later version of this library; changes are then refused, so that the
  /// file is not lost.
  bool synchronize() override;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace quarn::platform
