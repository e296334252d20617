#include "ads/render/GADAdViewDelegate.h"

#include "ads/core/signals/GADDevice.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADAdView.h"
#include "ads/core/telemetry/GADCSIGMSGHandler.h"
#include "ads/render/GADClickTrackerCollection.h"
#include "ads/render/GADDefaultGMSGHandler.h"
#include "ads/render/GADGMSGHandler.h"
#include "ads/render/GADMRAIDGMSGHandler.h"
#include "ads/render/GADOpenerGMSGHandler.h"
#include "ads/render/GADNotification.h"
#include "ads/render/GADOpener.h"
#include "ads/render/GADPrecacheGMSGHandler.h"
#include "ads/render/GADVideoPlayerGMSGHandler.h"
#include "platform/base/Strings.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/runloop/MainLoop.h"
#include "platform/ui/Application.h"

namespace ruzave {
namespace {

std::string withoutFragment(const std::string& text) {
    auto hash = text.find('#');
    return hash == std::string::npos ? text : text.substr(0, hash);
}

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

} // namespace

GADAdViewDelegate::GADAdViewDelegate()
    : opener_(GADOpener::init()), parseQueue_(platform::DispatchQueue::createSerial("com.ruzave.ads.gmsg-parse")) {}

std::shared_ptr<GADAdViewDelegate> GADAdViewDelegate::init() {
    std::shared_ptr<GADAdViewDelegate> delegate(new GADAdViewDelegate());
    delegate->addDefaultHandlers();
    return delegate;
}

GADAdViewDelegate::~GADAdViewDelegate() {
    if (opener_) {
        opener_->setViewController({});
        opener_->setSlot({});
        opener_->setAdView({});
    }
}

void GADAdViewDelegate::addDefaultHandlers() {
    addGMSGHandler(GADOpenerGMSGHandler::initWithOpener(opener_));
    addGMSGHandler(GADDefaultGMSGHandler::init());
    addGMSGHandler(GADCSIGMSGHandler::init());
    addGMSGHandler(GADMRAIDGMSGHandler::initWithOpener(opener_));
    addGMSGHandler(GADPrecacheGMSGHandler::init());
    addGMSGHandler(GADVideoPlayerGMSGHandler::init());
}

void GADAdViewDelegate::addGMSGHandler(const std::shared_ptr<GADGMSGHandler>& handler) {
    if (handler) gmsgHandlers_.push_back(handler);
}

std::optional<bool> GADAdViewDelegate::adView(const std::shared_ptr<GADAdView>& adView,
                                              const platform::URLRequest& request,
                                              platform::WebViewNavigationType navigationType) {
    return route(adView, request, navigationType).answer;
}

GADAdViewDelegate::Routing GADAdViewDelegate::route(const std::shared_ptr<GADAdView>& adView,
                                                    const platform::URLRequest& request,
                                                    platform::WebViewNavigationType navigationType) {
    const Routing loads{true, false};
    const Routing dropped{false, false};
    const Routing takenOver{false, true};
    const platform::URL& url = request.url();
    if (!url.isValid() || url.absoluteString().empty()) return dropped;
    opener_->setNavigationURL(url.absoluteString());
    if (adView) opener_->setViewController(adView->viewController());
    opener_->setAdView(adView);
    const std::string scheme = url.scheme();

    if (navigationType == platform::WebViewNavigationType::LinkClicked) {
        if (url.fragment() && adView &&
            withoutFragment(adView->request().url().absoluteString()) == withoutFragment(url.absoluteString())) {
            return dropped;
        }
        auto slot = opener_->slot();
        if (startsWith(scheme, "http") && slot && slot->isMRAIDEnabled()) {
            opener_->openBrowserToURL(url, kAllInterfaceOrientations);
            return takenOver;
        }
    }
    if (GADNotification::isNotificationURL(url)) {
        handleGMSGURL(url, adView);
        return takenOver;
    }
    if (scheme == "mailto") {
        opener_->openEmailComposer(url);
        return takenOver;
    }
    if (scheme == "sms") {
        opener_->openSmsComposer(url);
        return takenOver;
    }
    if (scheme == "file") return dropped;
    if (scheme == "about") return loads;
    if (scheme == "deeplink+") {
        auto defaults = platform::UserDefaults::standard();
        bool off = defaults->object("/ruzave/ads/deeplinkplus_enabled").has_value() &&
                   !defaults->boolean("/ruzave/ads/deeplinkplus_enabled");
        if (!off) {
            handleDeeplinkPlusURL(url);
            return takenOver;
        }
    }
    if (scheme != "http" && scheme != "https") {
        opener_->openApp(url);
        return takenOver;
    }
    if (adView && (!adView->URL() || adView->URL()->absoluteString() != url.absoluteString())) {
        adView->setURL(url, adView);
    }
    return loads;
}

void GADAdViewDelegate::adViewDidStartLoad(const std::shared_ptr<GADAdView>&) {}

void GADAdViewDelegate::adViewDidFinishLoad(const std::shared_ptr<GADAdView>& adView) {
    if (adView) {
        adView->forceRotateToOrientation(
            static_cast<int>(platform::Application::sharedApplication()->statusBarOrientation()));
    }
    hasLoadedAtLeastOnce_ = true;
}

void GADAdViewDelegate::adView(const std::shared_ptr<GADAdView>&, const platform::Error&) {}

void GADAdViewDelegate::adView(const std::shared_ptr<GADAdView>&, platform::Size) {}

void GADAdViewDelegate::handleGMSGURL(const platform::URL& url, const std::shared_ptr<GADAdView>& adView) {
    PendingMessage message;
    message.sequence = ++nextSequence_;
    message.url = url;
    message.adView = adView;
    // A snapshot: handlers added later do not see messages already in flight.
    message.handlers = gmsgHandlers_;
    pendingMessages_.push_back(std::move(message));
    std::weak_ptr<GADAdViewDelegate> weakSelf = weak_from_this();
    parseQueue_->async([url, sequence = nextSequence_, weakSelf] {
        auto note = GADNotification::initWithNotificationURL(url);
        platform::MainLoop::main().post([weakSelf, sequence, note] {
            if (auto self = weakSelf.lock()) self->messageParsed(sequence, note);
        });
    });
}

void GADAdViewDelegate::messageParsed(std::uint64_t sequence, const std::shared_ptr<GADNotification>& note) {
    for (auto& message : pendingMessages_) {
        if (message.sequence != sequence) continue;
        message.note = note;
        message.parsed = true;
        break;
    }
    // Not found: it was parsed and delivered on the spot already.
    deliverMessages(false);
}

void GADAdViewDelegate::deliverPendingMessages() {
    deliverMessages(true);
    for (const auto& handler : gmsgHandlers_) handler->performDeferredActions();
}

void GADAdViewDelegate::deliverMessages(bool all) {
    deliverAll_ = deliverAll_ || all;
    // A handler may end up here again; the loop below picks up whatever is queued meanwhile.
    if (delivering_) return;
    auto keep = weak_from_this().lock();
    delivering_ = true;
    while (!pendingMessages_.empty()) {
        PendingMessage& front = pendingMessages_.front();
        if (!front.parsed) {
            if (!deliverAll_) break;
            front.note = GADNotification::initWithNotificationURL(front.url);
            front.parsed = true;
        }
        PendingMessage message = std::move(front);
        pendingMessages_.pop_front();
        dispatchMessage(message);
    }
    delivering_ = false;
    deliverAll_ = false;
}

void GADAdViewDelegate::dispatchMessage(const PendingMessage& message) {
    // No name, no message.
    if (!message.note) return;
    auto view = message.adView.lock();
    for (const auto& handler : message.handlers) {
        if (handler->handleNotification(message.note, view)) return;
    }
    // Nobody took it: announced one turn later under its own name.
    std::weak_ptr<GADAdView> weakView = message.adView;
    platform::MainLoop::main().post([note = message.note, weakView] {
        auto view = weakView.lock();
        platform::NotificationCenter::defaultCenter()->post(note->name(), view.get(), note->parameters());
    });
}

void GADAdViewDelegate::handleDeeplinkPlusURL(const platform::URL& url) {
    if (url.host() != "navigate") return;
    // url.host() is lower-cased; the match is case-sensitive, so the written host must be exactly it.
    const std::string& text = url.absoluteString();
    auto schemeEnd = text.find("://");
    if (schemeEnd == std::string::npos || text.compare(schemeEnd + 3, 8, "navigate") != 0) return;

    std::optional<std::string> primary, fallback;
    std::vector<std::string> primaryTrackers, fallbackTrackers;
    for (const auto& piece : platform::split(url.query().value_or(""), "&")) {
        auto eq = piece.find('=');
        if (eq == std::string::npos) continue;
        std::string key = piece.substr(0, eq);
        auto value = platform::percentDecode(piece.substr(eq + 1));
        if (!value) continue;
        if (key == "primaryUrl" && !primary) primary = *value;
        else if (key == "fallbackUrl" && !fallback) fallback = *value;
        else if (key == "primaryTrackingUrl") primaryTrackers.push_back(*value);
        else if (key == "fallbackTrackingUrl") fallbackTrackers.push_back(*value);
    }
    if (!primary) return;
    auto primaryURL = platform::URL::parse(*primary);
    if (!primaryURL || primaryURL->scheme().empty()) return;

    bool canOpenPrimary = false;
    if (auto answer = GADDevice::sharedInstance()->canOpenURLs({*primary}); answer && answer->is_object()) {
        auto it = answer->find(*primary);
        canOpenPrimary = it != answer->end() && it->is_boolean() && it->get<bool>();
    }
    std::optional<platform::URL> target = canOpenPrimary ? primaryURL : std::nullopt;
    if (!canOpenPrimary && fallback) target = platform::URL::parse(*fallback);
    const auto& trackers = canOpenPrimary ? primaryTrackers : fallbackTrackers;
    if (!target) return;
    // Trackers count an open, so they wait for the gate to let it through.
    if (opener_->openAppReportingResult(target) && !trackers.empty()) {
        // Trackers the creative named: its page's to load.
        auto view = opener_->adView();
        auto page = view ? view->webView() : nullptr;
        std::vector<GADPageURL> urls;
        for (const auto& text : trackers)
            if (auto url = GADPageURL::parse(text, page)) urls.push_back(std::move(*url));
        GADClickTrackerCollection::sharedInstance()->trackURLsForPage(urls, false);
    }
}

} // namespace ruzave
