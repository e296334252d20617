#pragma once
// A piece of media at a URL: its tracks and duration. Nothing is decoded: tests script what an asset at a
// URL turns out to be (unscripted URLs load as a 10 s, 640x360 video with one audio track). Main thread.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/services/MediaAssetTrack.h"
#include "platform/services/MediaTime.h"

namespace platform {

class MediaAsset {
public:
    struct Script {
        MediaTime duration = MediaTime::make(600 * 10, 600);
        // Zero: no video track.
        Size videoSize{640, 360};
        int audioTrackCount = 1;
        // Whether loading ends ready to play or failed.
        bool fails = false;
        // Virtual seconds from the item's creation until it is ready (or failed).
        double loadDelay = 0;
        bool playbackLikelyToKeepUp = true;
        bool playbackBufferFull = false;
    };

    static std::shared_ptr<MediaAsset> assetWithURL(const std::string& url);
    // Tests: what an asset at `url` is from now on.
    static void scriptAsset(const std::string& url, const Script& script);

    const std::string& url() const { return url_; }
    const std::vector<MediaAssetTrack>& tracks() const { return tracks_; }
    std::vector<MediaAssetTrack> tracksWithMediaType(const std::string& mediaType) const;
    MediaTime duration() const { return script_.fails ? MediaTime::invalid() : script_.duration; }
    const Script& script() const { return script_; }

private:
    MediaAsset(std::string url, Script script);
    std::string url_;
    Script script_;
    std::vector<MediaAssetTrack> tracks_;
};

} // namespace platform
