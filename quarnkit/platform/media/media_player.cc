#include "quarnkit/platform/media/media_player.h"

#include <algorithm>

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

void MediaPlayer::notify(MediaPlayerEvent event, const std::shared_ptr<MediaPlayerItem>& item) {
  // A snapshot: observers may add or remove observers while being called.
  const std::vector<Registration> snapshot = observers_;
  for (const Registration& r : snapshot) {
    const bool live = std::any_of(observers_.begin(), observers_.end(),
                                  [&](const Registration& o) { return o.id == r.id; });
    if (live && *r.observer) (*r.observer)(event, item);
  }
}

}  // namespace quarn::platform
