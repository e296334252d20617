#include "ads/native/GADInAppPurchase.h"

#include <algorithm>
#include <cstdio>

#include "ads/core/net/GADClickTrackerCollection.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/signals/GADApplication.h"
#include "ads/core/signals/GADDevice.h"
#include "ads/core/signals/GADSession.h"
#include "ads/core/util/GADLog.h"
#include "ads/core/util/GADRunOnMainThread.h"
#include "ads/native/GADAtQuotedKeywords.h"
#include "ads/render/GADViewController.h"
#include "platform/base/URL.h"

namespace ruzave {
namespace {

// Report values land in a query value: escape what cannot stand there (space, controls, non-ASCII,
// "%", "&", "#", "+", quotes and brackets) and keep "@" and the other harmless delimiters readable.
std::string escapeQueryValue(const std::string& value) { return platform::percentEncode(value, "@!$'()*,;:/?="); }

void putIfPresent(std::map<std::string, std::string>& values, const char* name, const std::string& value) {
    if (!value.empty()) values[name] = escapeQueryValue(value);
}

} // namespace

std::string GADInAppPurchase::stringForStatus(long status) {
    switch (status) {
    case Success: return "success";
    case Cancel: return "cancel";
    case InvalidProduct: return "invalid product";
    default: return "error";
    }
}

std::shared_ptr<GADInAppPurchase> GADInAppPurchase::initWithViewController(
    const std::shared_ptr<GADViewController>& controller) {
    std::shared_ptr<GADInAppPurchase> purchase(new GADInAppPurchase());
    purchase->adViewController_ = controller;
    return purchase;
}

void GADInAppPurchase::reportPurchaseStatus(long status) {
    if (status == Success) {
        std::weak_ptr<GADViewController> weakController = adViewController_;
        GADRunOnMainThread([weakController] {
            if (auto controller = weakController.lock()) controller->relinquishScreenWithCompletion(nullptr);
        });
    }
    purchaseStatus_.store(static_cast<std::int32_t>(status));
    const auto values = keywordValues();
    const auto& formats = reportingURLStringFormats_;
    const std::size_t tried = std::min(formats.size(), kMaximumReportURLs);
    std::size_t dropped = formats.size() - tried;
    std::vector<std::string> urls;
    for (std::size_t i = 0; i < tried; ++i) {
        auto expanded = GADExpandAtQuotedKeywords(formats[i], values, kMaximumReportURLLength);
        if (!expanded)
            ++dropped;
        else if (!expanded->empty())
            urls.push_back(std::move(*expanded));
    }
    if (dropped > 0)
        GADLog("In-app purchase: %zu report URLs dropped (at most %zu, each at most %zu bytes filled in).",
               dropped, kMaximumReportURLs, kMaximumReportURLLength);
    pingReportingURLStrings(urls, page_);
}

std::string GADInAppPurchase::expandedURLStringForURLStringFormat(const std::string& format) const {
    return GADExpandAtQuotedKeywords(format, keywordValues(), kMaximumReportURLLength)
        .value_or(std::string());
}

std::map<std::string, std::string> GADInAppPurchase::keywordValues() const {
    std::map<std::string, std::string> values;
    auto app = GADApplication::sharedInstance();
    // Escaping never shortens: a longer id only makes every report that names it too long, and this much
    // already does.
    putIfPresent(values, "sku", productID_.substr(0, kMaximumReportURLLength + 1));
    values["quantity"] = std::to_string(quantity_);
    values["status"] = std::to_string(purchaseStatus_.load());
    if (auto session = app->currentSession()) putIfPresent(values, "sessionid", session->uniqueID());
    putIfPresent(values, "appid", app->mainBundleIdentifier());
    putIfPresent(values, "appversion", app->version());
    putIfPresent(values, "osversion", GADDevice::sharedInstance()->systemVersion());
    putIfPresent(values, "sdkversion", GADRequest::sdkVersion());
    values["timestamp"] = std::to_string(app->timeSinceFirstAdRequestInMilliseconds());
    return values;
}

void GADInAppPurchase::pingReportingURLStrings(const std::vector<std::string>& urls, platform::WebDocumentRef page) {
    if (urls.empty() || page.isNull()) return;
    // Loaded on the main thread, as its document is.
    GADRunOnMainThread([urls, page = std::move(page)] {
        std::vector<GADPageURL> loads;
        for (const auto& text : urls)
            if (auto url = GADPageURL::parse(text, page)) loads.push_back(std::move(*url));
        GADClickTrackerCollection::sharedInstance()->trackURLsForPage(loads, false);
    });
}

std::string GADInAppPurchase::description() const {
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    return "<GADInAppPurchase: " + std::string(address) + ">(\n  productID: " + productID_ + ",\n  quantity: " +
           std::to_string(quantity_) + ")";
}

} // namespace ruzave
