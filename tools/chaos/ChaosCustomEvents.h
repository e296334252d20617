#pragma once
// Banner custom events that misbehave as app-supplied ad sources can: one never answers, one answers
// twice (an ad, then a failure, then another ad). Found by the SDK's custom event adapter under their
// class names. Main thread.
#include <memory>
#include <optional>
#include <string>

#include "ads/mediation/GADCustomEventBanner.h"

namespace chaos {

class ChaosSilentCustomEvent : public ruzave::GADCustomEventBanner {
  public:
    static constexpr const char* kClassName = "ChaosSilentCustomEvent";
    void requestBannerAd(const ruzave::GADAdSize&, const std::optional<std::string>&, const std::optional<std::string>&,
                         const std::shared_ptr<ruzave::GADCustomEventRequest>&) override {}
};

class ChaosChattyCustomEvent : public ruzave::GADCustomEventBanner,
                               public std::enable_shared_from_this<ChaosChattyCustomEvent> {
  public:
    static constexpr const char* kClassName = "ChaosChattyCustomEvent";
    void requestBannerAd(const ruzave::GADAdSize& adSize, const std::optional<std::string>& parameter,
                         const std::optional<std::string>& label,
                         const std::shared_ptr<ruzave::GADCustomEventRequest>& request) override;
};

// Registers the classes above and the demo's filling custom event (once; later calls do nothing).
void registerChaosCustomEvents();

} // namespace chaos
