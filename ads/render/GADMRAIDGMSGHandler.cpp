#include "ads/render/GADMRAIDGMSGHandler.h"

#include "ads/core/net/GADPageURL.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADInterfaceOrientationMask.h"
#include "ads/render/GADMRAIDResizeProperties.h"
#include "ads/render/GADNotification.h"
#include "ads/render/GADOpener.h"
#include "ads/render/GADViewController.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "platform/ui/View.h"

namespace ruzave {
namespace {

using platform::InterfaceOrientation;

GADMRAIDGMSGHandler& self(GADGMSGHandler& h) {
    return static_cast<GADMRAIDGMSGHandler&>(h);
}

std::uint32_t pairOf(InterfaceOrientation o) {
    return (o == InterfaceOrientation::LandscapeLeft || o == InterfaceOrientation::LandscapeRight) ? 24 : 6;
}

} // namespace

bool GADOrientationMaskContainsOrientation(std::uint32_t mask, long orientation) {
    if (orientation < 0 || orientation >= 32) return false;
    return (mask & (1u << orientation)) != 0;
}

// Hears the picture's alert close: a cancelled alert forgets the pending picture.
struct GADMRAIDGMSGHandler::PictureWatch : platform::AlertViewDelegate {
    std::weak_ptr<GADMRAIDGMSGHandler> handler;
    std::weak_ptr<GADMRAIDPicture> picture;
    std::string key;
    void alertViewClickedButtonAtIndex(platform::AlertView& alert, long index) override {
        auto p = picture.lock();
        if (p) p->alertViewClickedButtonAtIndex(alert, index);
        if (index != alert.cancelButtonIndex()) return;
        auto h = handler.lock();
        if (!h) return;
        auto watchKey = key; // this watch goes with the entry; keep it alive until the call returns
        auto keep = h->pictureWatches_[watchKey];
        h->pendingPictureDownloads_.erase(watchKey);
        h->pictureWatches_.erase(watchKey);
        platform::mainQueue()->async([keep] {});
    }
};

const GADGMSGHandler::ActionBlockDictionary* GADMRAIDGMSGHandler::actionBlockDictionary() const {
    static const ActionBlockDictionary table = {
        {"mraid", [](GADGMSGHandler& h, const Arguments& a) { self(h).didReceiveMRAIDNotification(a); }},
        {"mraidLoaded", [](GADGMSGHandler& h, const Arguments& a) { self(h).didReceiveMRAIDLoadNotification(a); }},
    };
    return &table;
}

const GADGMSGHandler::ActionBlockDictionary* GADMRAIDGMSGHandler::subActionBlockDictionary() const {
    static const ActionBlockDictionary table = {
        {"resize", [](GADGMSGHandler& h, const Arguments& a) { self(h).actionResize(a); }},
        {"storePicture", [](GADGMSGHandler& h, const Arguments& a) { self(h).actionStorePicture(a); }},
        {"createCalendarEvent", [](GADGMSGHandler& h, const Arguments& a) { self(h).actionCreateCalendarEvent(a); }},
        {"setOrientationProperties",
         [](GADGMSGHandler& h, const Arguments& a) { self(h).actionSetOrientationProperties(a); }},
    };
    return &table;
}

void GADMRAIDGMSGHandler::reportError(const std::string& message, const std::string& action) {
    opener_->reportError(message, action);
}

void GADMRAIDGMSGHandler::didReceiveMRAIDLoadNotification(const Arguments&) {
    if (auto slot = opener_->slot()) slot->MRAIDAdDidLoad();
}

void GADMRAIDGMSGHandler::didReceiveMRAIDNotification(const Arguments& arguments) {
    dispatchSubAction("a", arguments);
}

void GADMRAIDGMSGHandler::actionResize(const Arguments& arguments) {
    opener_->openWebAppWithResizeProperties(
        GADMRAIDResizeProperties::MRAIDResizePropertiesWithDictionary(arguments.parameters()));
}

void GADMRAIDGMSGHandler::actionStorePicture(const Arguments& arguments) {
    auto text = GADNotification::stringParameter(arguments.parameters(), "iurl");
    // The page names the picture: fetching it is the page's load.
    auto pageURL = text ? GADPageURL::parse(*text, arguments.adView ? arguments.adView->webView() : nullptr)
                        : std::nullopt;
    auto url = pageURL ? std::optional(pageURL->url()) : std::nullopt;
    // Only a picture on the web can be fetched.
    if (!url || !url->isValid() || (url->scheme() != "http" && url->scheme() != "https")) {
        reportError(kPictureInitFailed, "storePicture");
        return;
    }
    const std::string key = url->absoluteString();
    if (pendingPictureDownloads_.count(key)) return;
    // One permission alert at a time: an ad must not stack them up without the user's say.
    if (pictureAlertShowing()) {
        reportError(kPictureInitFailed, "storePicture");
        return;
    }
    auto picture = GADMRAIDPicture::initWithURL(url);
    picture->setDelegate(std::static_pointer_cast<GADMRAIDGMSGHandler>(shared_from_this()));
    picture->setPage(pageURL->page());
    pendingPictureDownloads_[key] = picture;
    picture->storeInPhotoAlbum();
    // The handler watches the alert so that a cancelled one lets the ad ask again.
    auto watch = std::make_shared<PictureWatch>();
    watch->handler = std::static_pointer_cast<GADMRAIDGMSGHandler>(shared_from_this());
    watch->picture = picture;
    watch->key = key;
    pictureWatches_[key] = watch;
    if (auto alert = picture->alert()) alert->setDelegate(watch);
}

bool GADMRAIDGMSGHandler::pictureAlertShowing() const {
    for (const auto& [key, picture] : pendingPictureDownloads_) {
        if (auto alert = picture->alert(); alert && alert->isVisible()) return true;
    }
    return false;
}

void GADMRAIDGMSGHandler::MRAIDPictureDidStorePictureWithURL(GADMRAIDPicture&, const platform::URL& url) {
    auto keep = pendingPictureDownloads_[url.absoluteString()];
    pendingPictureDownloads_.erase(url.absoluteString());
    pictureWatches_.erase(url.absoluteString());
    platform::mainQueue()->async([keep] {});
}

void GADMRAIDGMSGHandler::MRAIDPictureFailedToStorePictureWithURL(GADMRAIDPicture&,
                                                                  const std::optional<platform::URL>& url,
                                                                  const std::string& message) {
    if (url) {
        auto keep = pendingPictureDownloads_[url->absoluteString()];
        pendingPictureDownloads_.erase(url->absoluteString());
        pictureWatches_.erase(url->absoluteString());
        platform::mainQueue()->async([keep] {});
    }
    reportError(message, "storePicture");
}

void GADMRAIDGMSGHandler::actionCreateCalendarEvent(const Arguments& arguments) {
    opener_->openCalendarWithDictionary(arguments.parameters());
}

void GADMRAIDGMSGHandler::actionSetOrientationProperties(const Arguments& arguments) {
    auto controller = std::dynamic_pointer_cast<GADViewController>(opener_->viewController());
    if (!controller) return;
    const auto& params = arguments.parameters();
    auto allow = GADNotification::stringParameter(params, "allowOrientationChange");
    auto force = GADNotification::stringParameter(params, "forceOrientation");
    auto app = platform::Application::sharedApplication();
    auto current = app->statusBarOrientation();
    std::uint32_t mask = 0;
    if (allow && force) {
        if (platform::boolValue(*allow)) {
            mask = 30;
        } else if (*force == "none") {
            mask = pairOf(current);
        } else {
            mask = GADInterfaceOrientationMaskFromString(*force);
        }
    }
    // Both must be strings and the word one we know; the controller's mask changes only then.
    if (mask == 0) {
        reportError(kInvalidOrientationProperties, "setOrientationProperties");
        return;
    }
    controller->setSupportedInterfaceOrientations(mask);
    if (GADOrientationMaskContainsOrientation(mask, static_cast<long>(current))) return;
    auto device = static_cast<long>(platform::Device::currentDevice()->orientation());
    if (controller->shouldAutorotate() && GADOrientationMaskContainsOrientation(mask, device) &&
        current == controller->interfaceOrientation()) {
        platform::ViewController::attemptRotationToDeviceOrientation();
        return;
    }
    // Force the rotation: an invisible controller with the new mask goes up and comes down again.
    std::weak_ptr<GADViewController> weak = controller;
    platform::mainQueue()->async([weak, mask] {
        auto controller = weak.lock();
        if (!controller) return;
        auto invisible = GADViewController::init();
        invisible->view()->setAlpha(0);
        invisible->setSlot(controller->slot());
        invisible->setSupportedInterfaceOrientations(mask);
        controller->presentViewController(invisible, false, [weak] {
            platform::mainQueue()->async([weak] {
                auto controller = weak.lock();
                if (!controller) return;
                controller->dismissViewController(false, [weak] {
                    if (auto c = weak.lock())
                        c->viewChangedToOrientation(platform::Application::sharedApplication()->statusBarOrientation());
                });
            });
        });
    });
}

} // namespace ruzave
