/// @file
/// AudioSession (a unique object: not copyable; the current one is installed
/// and read through a shared_ptr, as every platform service is): the
/// application's audio session, which a player sets up before it plays.
/// Either call may be refused: it then throws the platform's error
/// (std::system_error here).
///
/// The default is a SimulatedAudioSession that accepts everything; a test
/// installs one that refuses:
///
/// ```
///   auto session = std::make_shared<SimulatedAudioSession>();
///   session->setRefusal("Another app holds the audio route");
///   ScopedService<AudioSession> installed(session);
/// ```
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "quarnkit/platform/service.h"

namespace quarn::platform {

/// The application's audio session (see the file's description). A unique
/// object, installed as a service.
class AudioSession {
 public:
  /// How the application's sound mixes with others'.
  enum class Category { ambient, soloAmbient, playback };

  AudioSession() = default;
  virtual ~AudioSession() = default;
  AudioSession(const AudioSession&) = delete;
  AudioSession& operator=(const AudioSession&) = delete;
  /// Sets the category; throws std::system_error when the platform refuses.
  virtual void setCategory(Category category) const = 0;
  /// Activates or deactivates the session; throws std::system_error when the platform refuses.
  virtual void setActive(bool active) const = 0;

  /// The session of this process.
  static std::shared_ptr<const AudioSession> current();
  /// Replaces the session of this process (null: the default).
  static void setCurrent(std::shared_ptr<const AudioSession> session);
};

/// A session kept in memory, refusing on request. Thread-safe.
class SimulatedAudioSession final : public AudioSession {
 public:
  void setCategory(Category category) const override;
  void setActive(bool active) const override;

  /// Makes every later call throw std::system_error with `reason`; nullopt
  /// accepts again.
  void setRefusal(std::optional<std::string> reason);
  /// The category set last.
  [[nodiscard]] Category category() const;
  /// Whether the session is active.
  [[nodiscard]] bool isActive() const;

 private:
  void checkRefusal() const;

  mutable std::mutex mutex_;
  std::optional<std::string> refusal_;
  mutable Category category_ = Category::soloAmbient;
  mutable bool isActive_ = false;
};

}  // namespace quarn::platform
