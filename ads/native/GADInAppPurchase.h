#pragma once
// A store product that an ad offered and the user tapped: the product, the quantity and the ad's report
// URL templates. Reporting a status pings every template with the purchase's details filled in, as pings
// of the document that named them (its web content, admitted by its ad's quota of pings, after its
// close too; never the app's, nor a later ad's; nothing goes out for a purchase that no page named); a
// successful purchase also closes the full-screen ad that offered it.
// Main thread (a status may be reported from any thread; the ad is closed on the main thread).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>
#include "platform/web/WebDocumentRef.h"

namespace platform {
class WebView;
}

namespace ruzave {

class GADViewController;

class GADInAppPurchase : public std::enable_shared_from_this<GADInAppPurchase> {
  public:
    enum Status : std::int32_t { Error = 0, Success = 1, Cancel = 2, InvalidProduct = 3 };

    static constexpr std::int32_t kMinimumQuantity = 1;
    static constexpr std::int32_t kMaximumQuantity = 10;
    // What an ad may name, and so what one report may build: no store product id is longer, at most this
    // many report URLs, each at most this long with its keywords filled in.
    static constexpr std::size_t kMaximumProductIDLength = 1024;
    static constexpr std::size_t kMaximumReportURLs = 32;
    static constexpr std::size_t kMaximumReportURLLength = 8 * 1024;

    static bool quantityIsValid(long quantity) { return quantity >= kMinimumQuantity && quantity <= kMaximumQuantity; }
    static std::string stringForStatus(long status);

    // Quantity 1, status 0; the controller (may be null) is kept weakly.
    static std::shared_ptr<GADInAppPurchase> initWithViewController(const std::shared_ptr<GADViewController>& controller);

    const std::string& productID() const { return productID_; }
    void setProductID(const std::string& productID) { productID_ = productID; }
    std::int32_t quantity() const { return quantity_; }
    // A value outside 1 to 10 is stored as 0.
    void setQuantity(long quantity) { quantity_ = quantityIsValid(quantity) ? static_cast<std::int32_t>(quantity) : 0; }
    const std::vector<std::string>& reportingURLStringFormats() const { return reportingURLStringFormats_; }
    void setReportingURLStringFormats(const std::vector<std::string>& formats) { reportingURLStringFormats_ = formats; }
    // The document that named the report URLs (never a later one in its web view, nor the document kept
    // alive). Set on the main thread before the purchase is handed on.
    const platform::WebDocumentRef& page() const { return page_; }
    void setPage(platform::WebDocumentRef page) { page_ = std::move(page); }
    std::int32_t purchaseStatus() const { return purchaseStatus_.load(); }
    std::shared_ptr<GADViewController> adViewController() const { return adViewController_.lock(); }

    // Closes the ad on success, stores the status and pings each of the first kMaximumReportURLs templates
    // that expands to something within kMaximumReportURLLength; the log says how many were dropped.
    // May be called more than once; each call pings again with the latest status.
    void reportPurchaseStatus(long status);
    // The template with its at-quoted keywords filled in (unknown or missing ones removed) and "@@"
    // turned into "@". Values are escaped where they cannot stand in a query value. Empty when it would
    // be longer than kMaximumReportURLLength: it is given up as soon as it would.
    std::string expandedURLStringForURLStringFormat(const std::string& format) const;
    // Fire and forget, through the shared click trackers with caching off, as loads of `page` (on the
    // main thread; URLs longer than web content loads are dropped).
    static void pingReportingURLStrings(const std::vector<std::string>& urls, platform::WebDocumentRef page);

    std::string description() const;

  private:
    GADInAppPurchase() = default;
    std::map<std::string, std::string> keywordValues() const;

    std::weak_ptr<GADViewController> adViewController_;
    std::string productID_;
    std::int32_t quantity_ = 1;
    std::vector<std::string> reportingURLStringFormats_;
    platform::WebDocumentRef page_;
    std::atomic<std::int32_t> purchaseStatus_{Error};
};

} // namespace ruzave
