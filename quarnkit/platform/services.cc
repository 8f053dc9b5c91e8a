#include "quarnkit/platform/services.h"

#include <algorithm>
#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/string_generator.hpp>
#include <boost/uuid/uuid_io.hpp>
#include <cctype>

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

UUID UUID::random() {
  thread_local boost::uuids::random_generator generator;
  boost::uuids::uuid u = generator();
  UUID out;
  std::copy(u.begin(), u.end(), out.bytes_.begin());
  return out;
}

std::optional<UUID> UUID::parse(std::string_view text) {
  // The canonical form only: 36 characters, dashes at 8, 13, 18 and 23.
  if (text.size() != 36) return std::nullopt;
  for (std::size_t i = 0; i < text.size(); ++i) {
    bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash != (text[i] == '-')) return std::nullopt;
    if (!dash && !std::isxdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
  }
  boost::uuids::uuid u = boost::uuids::string_generator()(std::string(text));
  UUID out;
  std::copy(u.begin(), u.end(), out.bytes_.begin());
  return out;
}

std::string UUID::uuidString() const {
  boost::uuids::uuid u;
  std::copy(bytes_.begin(), bytes_.end(), u.begin());
  std::string text = boost::uuids::to_string(u);
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
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
