#pragma once
// Answers an ad page's request for "mraid.js" with the SDK's own MRAID script for that kind of ad,
// fetched from a configurable location. It claims a request only while allowed, while some
// participant (a rendering slot, an expanded ad's load) holds an enable, and only for pages of live ad
// views in the ad URL stash. Any thread (class state under one lock; the stash has its own).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ads/render/GADMRAIDScriptKind.h"
#include "platform/base/URL.h"
#include "platform/net/URLProtocolClass.h"

namespace ruzave {

class GADMRAIDInterceptor : public platform::URLProtocolClass {
  public:
    static constexpr double kScriptFetchTimeout = 10.0;
    static constexpr int kNoLocationErrorCode = -1000;
    static constexpr const char* kCocoaErrorDomain = "NSCocoaErrorDomain";

    // The first use of any operation below sets the default script paths, registers the interceptor
    // with the URL loading system and allows it.
    static void allow();
    static void disallow();
    static bool isAllowed();

    // Each participant holds at most one enable: a second enable by the same participant, or a
    // disable by one that holds none, changes nothing, so the count never goes below 0.
    // Calls that name no participant share one plain counter instead, which never goes below 0 either
    // (a stray disable must not leave the interceptor on or make a later enable count for nothing).
    static void enableCanInitWithRequest(const void* participant = nullptr);
    static void disableCanInitWithRequest(const void* participant = nullptr);
    static void resetCanInitWithRequestCounter();
    // Participants holding an enable now.
    static std::size_t enableCount();
    // How often each switch was thrown in this process (whether or not it changed the count).
    static std::size_t enableCanInitWithRequestCount();
    static std::size_t disableCanInitWithRequestCount();

    static void resetToDefaultPaths();
    static void setBannerImplementationPath(const std::string& path);
    static void setInterstitialImplementationPath(const std::string& path);
    static void setExpandedBannerImplementationPath(const std::string& path);
    static std::string bannerImplementationPath();
    static std::string interstitialImplementationPath();
    static std::string expandedBannerImplementationPath();
    static std::string implementationPathForKind(GADMRAIDScriptKind kind);
    static bool urlIsAnImplementationPath(const platform::URL& url);

    // The "Referer" header as a URL; nullopt when missing, empty or no URL.
    static std::optional<platform::URL> refererURLFromRequest(const platform::URLRequest& request);
    static bool shouldRedirectForMRAID(const platform::URLRequest& request);
    static bool canInitWithRequestIsEnabled();
    // The script location for the view stashed last under the request's referrer: nullopt without a
    // referrer or a live stashed view. (The load itself takes the script of the view whose document
    // made it, among those stashed there.)
    static std::optional<std::string> locationForRequest(const platform::URLRequest& request);

    // platform::URLProtocolClass
    bool canInitWithRequest(const platform::URLRequest& request) const override;
    std::shared_ptr<platform::URLProtocol> create(const platform::URLRequest& request,
                                                  std::shared_ptr<platform::URLProtocolClient> client) const override;

  protected:
    GADMRAIDInterceptor() = default;

  private:
    static void registerOnce();
};

} // namespace ruzave
