#include "quarnkit/platform/media/media_player.h"

#include <algorithm>

#include "quarnkit/platform/media/detail/first_error.h"

namespace quarn::platform {

MediaPlayer::ObserverID MediaPlayer::addObserver(Observer observer) {
  const ObserverID id = nextObserverID();
  observers_.push_back({id, std::make_shared<Observer>(std::move(observer))});
  return id;
}

void MediaPlayer::removeObserver(ObserverID id) {
  std::erase_if(observers_, [id](const Registration& r) { return r.id == id; });
  removeOwnObserver(id);
}

void MediaPlayer::notify(MediaPlayerEvent event, std::shared_ptr<MediaPlayerItem> item) {
  // A snapshot: observers may add or remove observers while being called.
  // The item is a copy too, so that every observer hears of the same one.
  const std::vector<Registration> snapshot = observers_;
  detail::FirstError errors;
  for (const Registration& r : snapshot) {
    const bool live = std::any_of(observers_.begin(), observers_.end(),
                                  [&](const Registration& o) { return o.id == r.id; });
    if (live && *r.observer) errors.run([&] { (*r.observer)(event, item); });
  }
  errors.rethrow();
}

}  // namespace quarn::platform
