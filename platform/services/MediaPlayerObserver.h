#pragma once
// Hears a media player's property changes by key path, on the main thread.
#include <string>

namespace platform {

class MediaPlayer;

class MediaPlayerObserver {
public:
    virtual ~MediaPlayerObserver() = default;
    // One of MediaPlayer's key path constants.
    virtual void playerDidChangeValueForKeyPath(MediaPlayer& player, const std::string& keyPath) = 0;
};

} // namespace platform
