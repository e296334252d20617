#pragma once
// Banner custom events that misbehave as app-supplied ad sources can: one never answers, one answers
// again and again (an ad, then a failure, three times), one answers only after the adapter's timeout,
// one fails and then fills. Found by the SDK's custom event adapter under their
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

class ChaosLateCustomEvent : public ruzave::GADCustomEventBanner,
                             public std::enable_shared_from_this<ChaosLateCustomEvent> {
  public:
    static constexpr const char* kClassName = "ChaosLateCustomEvent";
    static constexpr double kDelaySeconds = 12;  // past the adapter's 10-second timeout
    void requestBannerAd(const ruzave::GADAdSize& adSize, const std::optional<std::string>& parameter,
                         const std::optional<std::string>& label,
                         const std::shared_ptr<ruzave::GADCustomEventRequest>& request) override;
};

class ChaosFailThenFillCustomEvent : public ruzave::GADCustomEventBanner,
                                     public std::enable_shared_from_this<ChaosFailThenFillCustomEvent> {
  public:
    static constexpr const char* kClassName = "ChaosFailThenFillCustomEvent";
    void requestBannerAd(const ruzave::GADAdSize& adSize, const std::optional<std::string>& parameter,
                         const std::optional<std::string>& label,
                         const std::shared_ptr<ruzave::GADCustomEventRequest>& request) override;
};

// Registers the classes above and the demo's filling custom event (once; later calls do nothing).
void registerChaosCustomEvents();

} // namespace chaos
