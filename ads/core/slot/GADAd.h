#pragma once
// One ad response as the slot works with it: where it comes from (a URL, or HTML with its base URL),
// its kind, the URLs to ping, its statistics and the presentation settings that came with it. Filled
// on the main thread by its maker; the slot then reads it there.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/core/public/GADAdSize.h"
#include "platform/base/URL.h"
#include "platform/base/Value.h"

namespace ruzave {

class GADAdMediationDelegate;
class GADMRAIDEventHandling;
class GADStatisticDictionary;
class GADSwipeToViewControllerConfigurations;

class GADAd {
  public:
    static std::shared_ptr<GADAd> init();
    static std::shared_ptr<GADAd> initWithDictionary(const platform::Value& dictionary);
    virtual ~GADAd() = default;

    // URL sets: adding an equal URL again changes nothing; order of first addition is kept.
    const std::vector<platform::URL>& clickURLs() const { return clickURLs_; }
    const std::vector<platform::URL>& impressionURLs() const { return impressionURLs_; }
    const std::vector<platform::URL>& manualImpressionURLs() const { return manualImpressionURLs_; }
    void addClickURLsFromArray(const std::vector<platform::URL>& urls) { addURLs(clickURLs_, urls); }
    void addImpressionURLsFromArray(const std::vector<platform::URL>& urls) {
        addURLs(impressionURLs_, urls);
    }
    void addManualImpressionURLsFromArray(const std::vector<platform::URL>& urls) {
        addURLs(manualImpressionURLs_, urls);
    }
    void removeAllImpressionURLs() { impressionURLs_.clear(); }
    void removeAllManualImpressionURLs() { manualImpressionURLs_.clear(); }

    bool isScrollEnabled() const { return scrollEnabled_; }
    void setScrollEnabled(bool v) { scrollEnabled_ = v; }
    bool isFluid() const { return fluid_; }
    void setFluid(bool v) { fluid_ = v; }
    bool hasAdNetworkJavaScript() const { return hasAdNetworkJavaScript_; }
    std::shared_ptr<GADStatisticDictionary> statistics() const { return statistics_; }
    void setStatistics(const std::shared_ptr<GADStatisticDictionary>& v) { statistics_ = v; }
    const std::optional<platform::URL>& adBaseURL() const { return adBaseURL_; }
    void setAdBaseURL(const std::optional<platform::URL>& v) { adBaseURL_ = v; }
    const std::optional<std::string>& adHTML() const { return adHTML_; }
    void setAdHTML(const std::optional<std::string>& v) { adHTML_ = v; }
    const std::optional<platform::URL>& adURL() const { return adURL_; }
    void setAdURL(const std::optional<platform::URL>& v) { adURL_ = v; }
    const std::optional<platform::Value>& responseHeaders() const { return responseHeaders_; }
    void setResponseHeaders(const std::optional<platform::Value>& v) { responseHeaders_ = v; }
    const std::optional<platform::Value>& activeViewConfigurations() const {
        return activeViewConfigurations_;
    }
    void setActiveViewConfigurations(const std::optional<platform::Value>& v) {
        activeViewConfigurations_ = v;
    }
    // The creative's MRAID handler (the slot), once its MRAID script has loaded; held weakly.
    std::shared_ptr<GADMRAIDEventHandling> MRAIDEventHandler() const { return MRAIDEventHandler_.lock(); }
    void setMRAIDEventHandler(const std::weak_ptr<GADMRAIDEventHandling>& handler) { MRAIDEventHandler_ = handler; }
    // The swipe-to-store settings of the response; nullptr when it has none.
    std::shared_ptr<GADSwipeToViewControllerConfigurations> swipeToViewControllerConfigurations() const {
        return swipeSettings_;
    }
    void setSwipeToViewControllerConfigurations(const std::shared_ptr<GADSwipeToViewControllerConfigurations>& v) {
        swipeSettings_ = v;
    }
    std::uint32_t responseType() const { return responseType_; }
    void setResponseType(std::uint32_t v) { responseType_ = v; }
    std::uint32_t supportedOrientations() const { return supportedOrientations_; }
    void setSupportedOrientations(std::uint32_t v) { supportedOrientations_ = v; }
    const std::optional<std::string>& debugDialog() const { return debugDialog_; }
    void setDebugDialog(const std::optional<std::string>& v) { debugDialog_ = v; }
    const std::optional<std::string>& customAdSizeString() const { return customAdSizeString_; }
    void setCustomAdSizeString(const std::optional<std::string>& v) { customAdSizeString_ = v; }
    const std::optional<platform::URL>& adNetworkPassbackURL() const { return adNetworkPassbackURL_; }
    double reloadInterval() const { return reloadInterval_; }
    void setReloadInterval(double v) { reloadInterval_ = v; }
    const GADAdSize& size() const { return size_; }
    void setSize(const GADAdSize& v) { size_ = v; }
    // The owner that supplies mediation connectors; held weakly.
    std::shared_ptr<GADAdMediationDelegate> mediationDelegate() const { return mediationDelegate_.lock(); }
    void setMediationDelegate(const std::weak_ptr<GADAdMediationDelegate>& v) { mediationDelegate_ = v; }

  protected:
    GADAd();
    // Reads the dictionary form (the "_ad" shortcut and the core page's "loadAd").
    void applyDictionary(const platform::Value& dictionary);

  private:
    static void addURLs(std::vector<platform::URL>& set, const std::vector<platform::URL>& urls);

    std::vector<platform::URL> clickURLs_;
    std::vector<platform::URL> impressionURLs_;
    std::vector<platform::URL> manualImpressionURLs_;
    bool scrollEnabled_ = true;
    bool fluid_ = false;
    bool hasAdNetworkJavaScript_ = false;
    std::shared_ptr<GADStatisticDictionary> statistics_;
    std::optional<platform::URL> adBaseURL_;
    std::optional<std::string> adHTML_;
    std::optional<platform::URL> adURL_;
    std::optional<platform::Value> responseHeaders_;
    std::optional<platform::Value> activeViewConfigurations_;
    std::shared_ptr<GADSwipeToViewControllerConfigurations> swipeSettings_;
    std::weak_ptr<GADMRAIDEventHandling> MRAIDEventHandler_;
    std::uint32_t responseType_ = 0;
    std::uint32_t supportedOrientations_ = 30;
    std::optional<std::string> debugDialog_;
    std::optional<std::string> customAdSizeString_;
    std::optional<platform::URL> adNetworkPassbackURL_;
    double reloadInterval_ = 0;
    GADAdSize size_{{0, 0}, 0};
    std::weak_ptr<GADAdMediationDelegate> mediationDelegate_;
};

} // namespace ruzave
