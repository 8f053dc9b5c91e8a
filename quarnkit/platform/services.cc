#include "quarnkit/platform/services.h"

#include <algorithm>
#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid.hpp>

namespace quarn::platform {

namespace {
ServiceSlot<const BundleInfo>& bundleSlot() {
  static ServiceSlot<const BundleInfo> s([] { return std::make_shared<const BundleInfo>(); });
  return s;
}

class NullURLOpener final : public URLOpener {
 public:
  [[nodiscard]] bool canOpenURL(const URL&) const override { return false; }
  void open(const URL&) const override {}
};

ServiceSlot<const URLOpener>& openerSlot() {
  static ServiceSlot<const URLOpener> s([] { return std::make_shared<const NullURLOpener>(); });
  return s;
}
}  // namespace

std::shared_ptr<const BundleInfo> BundleInfo::main() { return bundleSlot().get(); }
void BundleInfo::setMain(std::shared_ptr<const BundleInfo> info) {
  bundleSlot().set(std::move(info));
}

quarn::UUID randomUUID() {
  // Boost's generator sets the version and variant bits.
  thread_local boost::uuids::random_generator generator;
  const boost::uuids::uuid u = generator();
  quarn::UUID::Bytes bytes{};
  std::copy(u.begin(), u.end(), bytes.begin());
  return quarn::UUID(bytes);
}

std::uint64_t RandomSource::nextInt(std::uint64_t upperBound) {
  // Rejection sampling over 64-bit words made of two outputs.
  auto word = [this] {
    auto a = static_cast<std::uint32_t>(nextInt());
    auto b = static_cast<std::uint32_t>(nextInt());
    return (static_cast<std::uint64_t>(a) << 32) | b;
  };
  const std::uint64_t limit = UINT64_MAX - UINT64_MAX % upperBound;
  for (;;) {
    std::uint64_t w = word();
    if (w < limit) return w % upperBound;
  }
}

std::int32_t SystemRandomSource::nextInt() {
  std::lock_guard lock(mutex_);
  return static_cast<std::int32_t>(device_());
}

SystemRandomSource& SystemRandomSource::shared() {
  static SystemRandomSource source;
  return source;
}

std::shared_ptr<const URLOpener> URLOpener::current() { return openerSlot().get(); }
void URLOpener::setCurrent(std::shared_ptr<const URLOpener> opener) {
  openerSlot().set(std::move(opener));
}

bool RecordingURLOpener::canOpenURL(const URL& url) const {
  return schemes_.empty() ||
         std::find(schemes_.begin(), schemes_.end(), url.scheme()) != schemes_.end();
}

void RecordingURLOpener::open(const URL& url) const {
  std::lock_guard lock(mutex_);
  opened_.push_back(url);
}

std::vector<URL> RecordingURLOpener::openedURLs() const {
  std::lock_guard lock(mutex_);
  return opened_;
}

}  // namespace quarn::platform
