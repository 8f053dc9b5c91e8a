/// @file
/// Small platform services: bundle info, random UUIDs, random sources and URL
/// opening. Bundle info and the URL opener are replaceable through their
/// setters (or ScopedService in tests). UUIDs themselves are quarn::UUID
/// (quarnkit/core/uuid.h); making a random one is the platform's part.
///
/// Kinds: BundleInfo is a value, and so is a MersenneTwisterRandomSource (a
/// copy goes on with the same sequence, independently); the system random
/// source and URL openers are unique objects (not copyable).
///
/// ```
///   std::string id = platform::randomUUID().uuidString();      // "E621E1F8-C36C-495A-..."
///   platform::MersenneTwisterRandomSource mt(42);
///   std::int32_t n = mt.nextInt();                             // signed 32-bit output
/// ```
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "quarnkit/core/url.h"
#include "quarnkit/core/uuid.h"
#include "quarnkit/platform/service.h"

namespace quarn::platform {

/// What the host tells the library about the application bundle. Empty until
/// the host sets it.
struct BundleInfo {
  /// The bundle identifier ("com.example.app").
  std::optional<std::string> bundleIdentifier;
  /// The short version string ("2.1.0").
  std::optional<std::string> shortVersion;
  /// The build number string ("1234").
  std::optional<std::string> buildNumber;

  /// The application's bundle info (empty until set).
  static std::shared_ptr<const BundleInfo> main();
  /// Sets the application's bundle info (null: empty again).
  static void setMain(std::shared_ptr<const BundleInfo> info);
  /// main().
  static std::shared_ptr<const BundleInfo> current() { return main(); }
  /// setMain().
  static void setCurrent(std::shared_ptr<const BundleInfo> info) { setMain(std::move(info)); }
};

/// A new random UUID (version 4, RFC 4122 variant) from the system's entropy
/// source. Thread-safe.
quarn::UUID randomUUID();

/// A source of random numbers.
class RandomSource {
 public:
  virtual ~RandomSource() = default;
  /// A uniformly distributed signed 32-bit integer.
  virtual std::int32_t nextInt() = 0;
  /// A uniformly distributed integer in [0, upperBound); upperBound > 0.
  std::uint64_t nextInt(std::uint64_t upperBound);
};

/// The system's random source (non-deterministic). Thread-safe.
class SystemRandomSource final : public RandomSource {
 public:
  using RandomSource::nextInt;
  std::int32_t nextInt() override;
  /// The process-wide source.
  static SystemRandomSource& shared();

 private:
  std::mutex mutex_;
  std::random_device device_;
};

/// A seeded Mersenne Twister (MT19937, seeded with the seed's low 32 bits):
/// the same seed gives the same sequence; each output is the generator's
/// 32-bit word read as a signed integer. Not thread-safe.
class MersenneTwisterRandomSource final : public RandomSource {
 public:
  /// A source seeded with `seed`.
  explicit MersenneTwisterRandomSource(std::uint64_t seed)
      : seed_(seed), engine_(static_cast<std::uint32_t>(seed)) {}
  using RandomSource::nextInt;
  std::int32_t nextInt() override { return static_cast<std::int32_t>(engine_()); }
  /// The seed it was made with.
  [[nodiscard]] std::uint64_t seed() const { return seed_; }

 private:
  std::uint64_t seed_;
  std::mt19937 engine_;
};

/// Opens URLs in other applications.
class URLOpener {
 public:
  URLOpener() = default;
  virtual ~URLOpener() = default;
  URLOpener(const URLOpener&) = delete;
  URLOpener& operator=(const URLOpener&) = delete;
  /// Whether some application can open `url`.
  [[nodiscard]] virtual bool canOpenURL(const URL& url) const = 0;
  /// Opens `url` in the application that handles it.
  virtual void open(const URL& url) const = 0;

  /// The default opens nothing: every URL is reported as not openable.
  static std::shared_ptr<const URLOpener> current();
  /// Replaces the opener of this process (null: the default).
  static void setCurrent(std::shared_ptr<const URLOpener> opener);
};

/// A test double: can open URLs with the given schemes (all when empty) and
/// records what it was asked to open.
class RecordingURLOpener final : public URLOpener {
 public:
  /// An opener of URLs with `schemes` (all when empty).
  explicit RecordingURLOpener(std::vector<std::string> schemes = {})
      : schemes_(std::move(schemes)) {}
  /// Whether `url`'s scheme is one of the schemes.
  [[nodiscard]] bool canOpenURL(const URL& url) const override;
  /// Records `url`.
  void open(const URL& url) const override;
  /// The URLs opened so far, in order.
  [[nodiscard]] std::vector<URL> openedURLs() const;

 private:
  std::vector<std::string> schemes_;
  mutable std::mutex mutex_;
  mutable std::vector<URL> opened_;
};

}  // namespace quarn::platform
