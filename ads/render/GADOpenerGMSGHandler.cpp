#include "ads/render/GADOpenerGMSGHandler.h"

#include <cctype>

#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADClickTrackerCollection.h"
#include "ads/render/GADNotification.h"
#include "ads/render/GADOpener.h"
#include "platform/ui/Application.h"

namespace ruzave {
namespace {

using platform::InterfaceOrientation;

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
    std::string current;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            if (!current.empty()) formats.push_back(std::move(current));
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) formats.push_back(std::move(current));
    return formats;
}

std::optional<long long> GADOpenerGMSGHandler::validQuantity(const platform::Value& params) {
    long long quantity = platform::integerValue(GADNotification::stringParameter(params, "quantity").value_or(""));
    if (quantity < 1 || quantity > 10) return std::nullopt;
    return quantity;
}

void GADOpenerGMSGHandler::didReceiveClickNotification(const Arguments& arguments) {
    auto url = URLFromParams(arguments.parameters());
    if (!url) return;
    auto slot = opener_->slot();
    platform::URL target = slot ? slot->gestureClickURLWithURL(*url) : *url;
    // The creative names the URL: its page loads it.
    auto page = arguments.adView ? arguments.adView->webView() : nullptr;
    GADClickTrackerCollection::sharedInstance()->trackURLForPage(target, page);
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
    opener_->openInAppStoreWithProductID(*product, URLFromParams(params), !wait || *wait == "true");
}

void GADOpenerGMSGHandler::actionOpenInAppPurchase(const Arguments& arguments) {
    const auto& params = arguments.parameters();
    auto product = GADNotification::stringParameter(params, "product_id");
    auto quantity = validQuantity(params);
    if (!product || !quantity) return;
    auto reports = GADNotification::stringParameter(params, "report_urls");
    opener_->openInAppPurchase(*product, static_cast<long>(*quantity),
                               reports ? reportingURLFormats(*reports) : std::vector<std::string>{});
}

void GADOpenerGMSGHandler::actionOpenBrowser(const Arguments& arguments) {
    const auto& params = arguments.parameters();
    if (auto url = URLFromParams(params)) opener_->openBrowserToURL(*url, orientationFromParams(params));
}

void GADOpenerGMSGHandler::actionOpenWebApp(const Arguments& arguments) {
    const auto& params = arguments.parameters();
    auto mask = orientationFromParams(params);
    bool customClose = shouldUseCustomClose(params);
    if (auto url = URLFromParams(params)) {
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
    auto url = URLFromParams(arguments.parameters());
    if (!url) return;
    auto slot = opener_->slot();
    opener_->openApp(slot ? slot->gestureClickURLWithURL(*url) : *url);
}

} // namespace ruzave
