#include "quarnkit/platform/media/audio_session.h"

#include <system_error>

namespace quarn::platform {

namespace {
ServiceSlot<const AudioSession>& slot() {
  static ServiceSlot<const AudioSession> s(
      [] { return std::make_shared<const SimulatedAudioSession>(); });
  return s;
}
}  // namespace

std::shared_ptr<const AudioSession> AudioSession::current() { return slot().get(); }
void AudioSession::setCurrent(std::shared_ptr<const AudioSession> session) {
  slot().set(std::move(session));
}

void SimulatedAudioSession::checkRefusal() const {
  if (refusal_)
    throw std::system_error(std::make_error_code(std::errc::operation_not_permitted), *refusal_);
}

void SimulatedAudioSession::setCategory(Category category) const {
  std::lock_guard lock(mutex_);
  checkRefusal();
  category_ = category;
}

void SimulatedAudioSession::setActive(bool active) const {
  std::lock_guard lock(mutex_);
  checkRefusal();
  isActive_ = active;
}

void SimulatedAudioSession::setRefusal(std::optional<std::string> reason) {
  std::lock_guard lock(mutex_);
  refusal_ = std::move(reason);
}

AudioSession::Category SimulatedAudioSession::category() const {
  std::lock_guard lock(mutex_);
  return category_;
}

bool SimulatedAudioSession::isActive() const {
  std::lock_guard lock(mutex_);
  return isActive_;
}

}  // namespace quarn::platform
