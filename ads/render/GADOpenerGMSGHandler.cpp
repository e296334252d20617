#include "ads/render/GADOpenerGMSGHandler.h"

#include <cctype>

#include "ads/core/slot/GADSlot.h"
#include "ads/core/util/GADLog.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADClickTrackerCollection.h"
#include "ads/render/GADNotification.h"
#include "ads/render/GADOpener.h"
#include "platform/ui/Application.h"

namespace ruzave {
namespace {

using platform::InterfaceOrientation;

// The page of the ad view the message came from; null without one.
std::shared_ptr<platform::WebView> pageOf(const GADGMSGHandler::Arguments& arguments) {
    return arguments.adView ? arguments.adView->webView() : nullptr;
}

GADOpenerGMSGHandler& self(GADGMSGHandler& h) {
    return static_cast<GADOpenerGMSGHandler&>(h);
}

} // namespace

const GADGMSGHandler::ActionBlockDictionary* GADOpenerGMSGHandler::actionBlockDictionary() const {
    static const ActionBlockDictionary table = {
        {"click", [](GADGMSGHandler& h, const Arguments& a) { self(h).didReceiveClickNotification(a); }},
        {"open", [](GADGMSGHandler& h, const Arguments& a) { self(h).didReceiveOpenNotification(a); }},
        {"fetchAppStore", [](GADGMSGHandler& h, const Arguments& a) { self(h).fetchInAppStore(a); }},
    };
    return &table;
}

const GADGMSGHandler::ActionBlockDictionary* GADOpenerGMSGHandler::subActionBlockDictionary() const {
    static const ActionBlockDictionary table = {
        {"in_app_store", [](GADGMSGHandler& h, const Arguments& a) { self(h).actionOpenInAppStore(a); }},
        {"in_app_purchase", [](GADGMSGHandler& h, const Arguments& a) { self(h).actionOpenInAppPurchase(a); }},
        {"browser", [](GADGMSGHandler& h, const Arguments& a) { self(h).actionOpenBrowser(a); }},
        {"video", [](GADGMSGHandler& h, const Arguments& a) { self(h).actionOpenBrowser(a); }},
        {"webapp", [](GADGMSGHandler& h, const Arguments& a) { self(h).actionOpenWebApp(a); }},
        {"expand", [](GADGMSGHandler& h, const Arguments& a) { self(h).actionExpand(a); }},
        {"call", [](GADGMSGHandler& h, const Arguments& a) { self(h).actionOpenApp(a); }},
        {"app", [](GADGMSGHandler& h, const Arguments& a) { self(h).actionOpenApp(a); }},
    };
    return &table;
}

std::optional<platform::URL> GADOpenerGMSGHandler::URLFromParams(const platform::Value& params) {
    auto text = GADNotification::stringParameter(params, "u");
    if (!text) return std::nullopt;
    auto url = platform::URL::parse(*text);
    if (!url || !url->isValid()) return std::nullopt;
    return url;
}

std::optional<GADPageURL> GADOpenerGMSGHandler::pageURLFromParams(const platform::Value& params,
                                                                  const std::shared_ptr<platform::WebView>& page) {
    auto text = GADNotification::stringParameter(params, "u");
    if (!text) return std::nullopt;
    return GADPageURL::parse(*text, page);
}

std::optional<platform::URL>
GADOpenerGMSGHandler::destinationFromParams(const platform::Value& params,
                                            const std::shared_ptr<platform::WebView>& page) {
    auto text = GADNotification::stringParameter(params, "u");
    if (!text) return std::nullopt;
    if (text->empty()) return platform::URL::parse(*text);
    auto url = GADPageURL::parse(*text, page);
    return url ? std::optional(url->url()) : std::nullopt;
}

std::uint32_t GADOpenerGMSGHandler::orientationFromParams(const platform::Value& params) {
    auto o = GADNotification::stringParameter(params, "o");
    if (!o) return kAllOrientations;
    if (*o == "p") return 6;
    if (*o == "l") return 24;
    if (*o == "c") {
        auto current = platform::Application::sharedApplication()->statusBarOrientation();
        bool landscape = current == InterfaceOrientation::LandscapeLeft || current == InterfaceOrientation::LandscapeRight;
        return landscape ? 24 : 6;
    }
    return kAllOrientations;
}

bool GADOpenerGMSGHandler::shouldUseCustomClose(const platform::Value& params) {
    return GADNotification::stringParameter(params, "custom_close") == "1";
}

std::vector<std::string> GADOpenerGMSGHandler::reportingURLFormats(const std::string& text) {
    std::vector<std::string> formats;
    std::size_t dropped = 0;
    std::size_t i = 0;
    const auto blank = [&](std::size_t at) { return std::isspace(static_cast<unsigned char>(text[at])) != 0; };
    while (i < text.size()) {
        while (i < text.size() && blank(i)) ++i;
        const std::size_t start = i;
        while (i < text.size() && !blank(i)) ++i;
        if (i == start) break;
        // Only what is kept is copied.
        if (formats.size() < kMaximumReportURLs && i - start <= kMaximumReportURLLength)
            formats.emplace_back(text, start, i - start);
        else
            ++dropped;
    }
    if (dropped > 0)
        GADLog("In-app purchase: %zu report URLs dropped (at most %zu, each at most %zu characters).", dropped,
               kMaximumReportURLs, kMaximumReportURLLength);
    return formats;
}

std::optional<long long> GADOpenerGMSGHandler::validQuantity(const platform::Value& params) {
    long long quantity = platform::integerValue(GADNotification::stringParameter(params, "quantity").value_or(""));
    if (quantity < 1 || quantity > 10) return std::nullopt;
    return quantity;
}

void GADOpenerGMSGHandler::didReceiveClickNotification(const Arguments& arguments) {
    auto page = pageOf(arguments);
    auto url = pageURLFromParams(arguments.parameters(), page);
    if (!url) return;
    // The creative names the URL: its page loads it.
    auto slot = opener_->slot();
    auto target = slot ? GADPageURL::withURL(slot->gestureClickURLWithURL(url->url()), page) : url;
    if (target) GADClickTrackerCollection::sharedInstance()->trackURLForPage(*target);
}

void GADOpenerGMSGHandler::didReceiveOpenNotification(const Arguments& arguments) {
    auto a = GADNotification::stringParameter(arguments.parameters(), "a");
    const auto* table = subActionBlockDictionary();
    auto it = a ? table->find(*a) : table->end();
    if (it == table->end()) {
        actionOpenApp(arguments);
        return;
    }
    it->second(*this, arguments);
}

void GADOpenerGMSGHandler::fetchInAppStore(const Arguments& arguments) {
    if (auto product = GADNotification::stringParameter(arguments.parameters(), "product_id")) opener_->fetchInAppStoreForProductID(*product);
}

void GADOpenerGMSGHandler::actionOpenInAppStore(const Arguments& arguments) {
    const auto& params = arguments.parameters();
    auto product = GADNotification::stringParameter(params, "product_id");
    if (!product) return;
    auto wait = GADNotification::stringParameter(params, "wait_for_fetch");
    opener_->openInAppStoreWithProductID(*product, destinationFromParams(params, pageOf(arguments)),
                                         !wait || *wait == "true");
}

void GADOpenerGMSGHandler::actionOpenInAppPurchase(const Arguments& arguments) {
    const auto& params = arguments.parameters();
    auto product = GADNotification::stringParameter(params, "product_id");
    auto quantity = validQuantity(params);
    if (!product || !quantity) return;
    // Every report fills it in: refused here, before anything is built from it.
    if (product->size() > GADInAppPurchase::kMaximumProductIDLength) {
        GADLog("In-app purchase: refused, its product ID is %zu bytes (at most %zu).", product->size(),
               GADInAppPurchase::kMaximumProductIDLength);
        return;
    }
    auto reports = GADNotification::stringParameter(params, "report_urls");
    // The report URLs are the document's that sent the message: its purchase reports them as its pings.
    auto view = pageOf(arguments);
    opener_->openInAppPurchase(*product, static_cast<long>(*quantity),
                               reports ? reportingURLFormats(*reports) : std::vector<std::string>{},
                               view ? view->currentDocument() : platform::WebDocumentRef());
}

void GADOpenerGMSGHandler::actionOpenBrowser(const Arguments& arguments) {
    const auto& params = arguments.parameters();
    // The browser's page is a page of its own, not a load of this one.
    if (auto url = destinationFromParams(params, pageOf(arguments)))
        opener_->openBrowserToURL(*url, orientationFromParams(params));
}

void GADOpenerGMSGHandler::actionOpenWebApp(const Arguments& arguments) {
    const auto& params = arguments.parameters();
    auto mask = orientationFromParams(params);
    bool customClose = shouldUseCustomClose(params);
    if (auto url = destinationFromParams(params, pageOf(arguments))) {
        opener_->openWebApp(url, mask, customClose);
    } else if (auto html = GADNotification::stringParameter(params, "html")) {
        opener_->openWebAppWithHTML(html, mask, customClose);
    }
}

void GADOpenerGMSGHandler::actionExpand(const Arguments& arguments) {
    const auto& params = arguments.parameters();
    opener_->expandToWebAppWithSupportedOrientations(orientationFromParams(params), shouldUseCustomClose(params));
}

void GADOpenerGMSGHandler::actionOpenApp(const Arguments& arguments) {
    auto url = destinationFromParams(arguments.parameters(), pageOf(arguments));
    if (!url) return;
    auto slot = opener_->slot();
    opener_->openApp(slot ? slot->gestureClickURLWithURL(*url) : *url);
}

} // namespace ruzave
