#include "platform/services/MediaAsset.h"

namespace platform {
namespace {

std::map<std::string, MediaAsset::Script>& scripts() {
    static std::map<std::string, MediaAsset::Script> s;
    return s;
}

} // namespace

std::shared_ptr<MediaAsset> MediaAsset::assetWithURL(const std::string& url) {
    auto it = scripts().find(url);
    return std::shared_ptr<MediaAsset>(new MediaAsset(url, it == scripts().end() ? Script{} : it->second));
}

void MediaAsset::scriptAsset(const std::string& url, const Script& script) { scripts()[url] = script; }

MediaAsset::MediaAsset(std::string url, Script script) : url_(std::move(url)), script_(script) {
    std::int32_t id = 1;
    if (script_.videoSize.width > 0 && script_.videoSize.height > 0)
        tracks_.push_back({id++, MediaAssetTrack::mediaTypeVideo, script_.videoSize});
    for (int i = 0; i < script_.audioTrackCount; ++i) tracks_.push_back({id++, MediaAssetTrack::mediaTypeAudio, {}});
}

std::vector<MediaAssetTrack> MediaAsset::tracksWithMediaType(const std::string& mediaType) const {
    std::vector<MediaAssetTrack> out;
    for (const auto& t : tracks_)
        if (t.mediaType == mediaType) out.push_back(t);
    return out;
}

} // namespace platform
