#pragma once
// Turns the ad script's "click", "open" and "fetchAppStore" messages into calls on the ad's opener.
// First in every ad-view delegate's handler list. Main thread.
#include <cstdint>
#include <memory>
#include <optional>

#include "ads/core/net/GADPageURL.h"
#include "ads/native/GADInAppPurchase.h"
#include "ads/render/GADGMSGHandler.h"
#include "platform/base/URL.h"
#include "platform/base/Value.h"

namespace ruzave {

class GADOpener;

class GADOpenerGMSGHandler : public GADGMSGHandler {
  public:
    static constexpr std::uint32_t kAllOrientations = 30;

    static std::shared_ptr<GADOpenerGMSGHandler> initWithOpener(const std::shared_ptr<GADOpener>& opener) {
        return std::shared_ptr<GADOpenerGMSGHandler>(new GADOpenerGMSGHandler(opener));
    }
    const ActionBlockDictionary* actionBlockDictionary() const override;
    const ActionBlockDictionary* subActionBlockDictionary() const override;
    std::shared_ptr<GADOpener> opener() const { return opener_; }

    void didReceiveClickNotification(const Arguments& arguments);
    void didReceiveOpenNotification(const Arguments& arguments);
    void fetchInAppStore(const Arguments& arguments);
    void actionOpenInAppStore(const Arguments& arguments);
    void actionOpenInAppPurchase(const Arguments& arguments);
    void actionOpenBrowser(const Arguments& arguments);
    void actionOpenWebApp(const Arguments& arguments);
    void actionExpand(const Arguments& arguments);
    void actionOpenApp(const Arguments& arguments);

    // A purchase names at most this many report URLs, each at most this long (before its keywords are
    // filled in); the rest is dropped: they are the page's loads, and the page chose how many.
    static constexpr std::size_t kMaximumReportURLs = GADInAppPurchase::kMaximumReportURLs;
    static constexpr std::size_t kMaximumReportURLLength = GADInAppPurchase::kMaximumReportURLLength;

    static std::optional<platform::URL> URLFromParams(const platform::Value& params);
    // "u" as the URL the page in `page` named.
    static std::optional<GADPageURL> pageURLFromParams(const platform::Value& params,
                                                       const std::shared_ptr<platform::WebView>& page);
    // "u" as where the page in `page` asks to go (out of the app, a screen of its own), not a load of
    // the page. An empty one is still asked for: the opener refuses it, as any URL without a scheme, and
    // tells the ad.
    static std::optional<platform::URL> destinationFromParams(const platform::Value& params,
                                                              const std::shared_ptr<platform::WebView>& page);
    static std::uint32_t orientationFromParams(const platform::Value& params);
    static bool shouldUseCustomClose(const platform::Value& params);
    // "report_urls" split at white space, empty pieces dropped, and bounded as above (logged when it
    // drops any).
    static std::vector<std::string> reportingURLFormats(const std::string& text);
    // The purchase quantity, or nullopt when it is outside 1 to 10 (missing reads as 0).
    static std::optional<long long> validQuantity(const platform::Value& params);

  private:
    explicit GADOpenerGMSGHandler(const std::shared_ptr<GADOpener>& opener) : opener_(opener) {}
    std::shared_ptr<GADOpener> opener_;
};

} // namespace ruzave
