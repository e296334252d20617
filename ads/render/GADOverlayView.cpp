#include "ads/render/GADOverlayView.h"

#include "ads/render/GADAdView.h"
#include "ads/render/GADAdViewDelegate.h"
#include "ads/render/GADMobileAdsAdditions.h"

namespace ruzave {

// The overlay ad view's delegate: a plain router first, then the overlay view's own steps.
class GADOverlayView::OverlayDelegate : public GADAdViewDelegate {
  public:
    static std::shared_ptr<OverlayDelegate> make(const std::weak_ptr<GADOverlayView>& owner) {
        std::shared_ptr<OverlayDelegate> d(new OverlayDelegate(owner));
        d->router_ = GADAdViewDelegate::init();
        return d;
    }
    std::optional<bool> adView(const std::shared_ptr<GADAdView>& view, const platform::URLRequest& request,
                               platform::WebViewNavigationType type) override {
        return router_->adView(view, request, type);
    }
    void adViewDidStartLoad(const std::shared_ptr<GADAdView>& view) override { router_->adViewDidStartLoad(view); }
    void deliverPendingMessages() override { router_->deliverPendingMessages(); }
    void adViewDidFinishLoad(const std::shared_ptr<GADAdView>& view) override {
        router_->adViewDidFinishLoad(view);
        if (auto owner = owner_.lock()) owner->overlayDidFinishLoad(view);
    }
    void adView(const std::shared_ptr<GADAdView>& view, const platform::Error& error) override {
        router_->adView(view, error);
        if (auto owner = owner_.lock()) owner->overlayDidFailLoad(view);
    }
    using GADAdViewDelegate::adView;

  private:
    explicit OverlayDelegate(const std::weak_ptr<GADOverlayView>& owner) : owner_(owner) {}
    std::weak_ptr<GADOverlayView> owner_;
    std::shared_ptr<GADAdViewDelegate> router_;
};

std::shared_ptr<GADOverlayView> GADOverlayView::initWithFrame(platform::Rect frame) {
    return std::shared_ptr<GADOverlayView>(new GADOverlayView(frame));
}

GADOverlayView::~GADOverlayView() {
    auto center = platform::NotificationCenter::defaultCenter();
    for (auto token : adViewObservers_) center->removeObserver(token);
    for (auto token : overlayObservers_) center->removeObserver(token);
    if (overlayView_) overlayView_->setDelegate(std::weak_ptr<GADAdViewDelegate>());
}

void GADOverlayView::setAdView(const std::shared_ptr<GADAdView>& adView) {
    if (adView == adView_) return;
    removeOverlaySubview();
    setHidden(true);
    stopObservingAdView();
    adView_ = adView;
    observeAdView();
}

void GADOverlayView::stopObservingAdView() {
    auto center = platform::NotificationCenter::defaultCenter();
    for (auto token : adViewObservers_) center->removeObserver(token);
    adViewObservers_.clear();
}

void GADOverlayView::observeAdView() {
    if (!adView_) return;
    auto center = platform::NotificationCenter::defaultCenter();
    std::weak_ptr<GADOverlayView> weak = std::static_pointer_cast<GADOverlayView>(weak_from_this().lock());
    auto observe = [&](const char* name, void (*action)(GADOverlayView&, const platform::Value&)) {
        adViewObservers_.push_back(center->addObserver(name, adView_.get(), nullptr,
                                                       [weak, action](const platform::Notification& n) {
                                                           if (auto self = weak.lock()) action(*self, n.userInfo);
                                                       }));
    };
    observe("loadHtml", [](GADOverlayView& v, const platform::Value& info) { v.loadOverlayWithUserInfo(info); });
    observe("showOverlay", [](GADOverlayView& v, const platform::Value&) { v.setHidden(false); });
    observe("hideOverlay", [](GADOverlayView& v, const platform::Value&) { v.setHidden(true); });
    observe("sendMessageToNativeJs",
            [](GADOverlayView& v, const platform::Value& info) { v.sendMessageToOverlayWithUserInfo(info); });
}

void GADOverlayView::addOverlaySubview() {
    removeOverlaySubview();
    auto self = std::static_pointer_cast<GADOverlayView>(weak_from_this().lock());
    overlayView_ = GADAdView::initWithFrame(platform::Rect::zero());
    overlayDelegate_ = OverlayDelegate::make(self);
    overlayView_->setDelegate(overlayDelegate_);
    overlayView_->configureAsBannerAdView();
    // What it shows is the creative's ad still, and takes turns for the network as its view.
    if (adView_) overlayView_->joinAdOf(*adView_);
    overlayView_->setHidden(false);
    overlayView_->setFrame(bounds());
    addSubview(overlayView_);
    overlayView_->setTranslatesAutoresizingMaskIntoConstraints(false);
    gad_fillSuperview(overlayView_);
    auto center = platform::NotificationCenter::defaultCenter();
    std::weak_ptr<GADOverlayView> weak = self;
    overlayObservers_.push_back(center->addObserver("hideOverlay", overlayView_.get(), nullptr,
                                                    [weak](const platform::Notification&) {
                                                        if (auto s = weak.lock()) s->setHidden(true);
                                                    }));
    overlayObservers_.push_back(center->addObserver("sendMessageToSdk", overlayView_.get(), nullptr,
                                                    [weak](const platform::Notification& n) {
                                                        if (auto s = weak.lock()) s->sendMessageToAdViewWithUserInfo(n.userInfo);
                                                    }));
}

void GADOverlayView::removeOverlaySubview() {
    if (!overlayView_) return;
    auto center = platform::NotificationCenter::defaultCenter();
    for (auto token : overlayObservers_) center->removeObserver(token);
    overlayObservers_.clear();
    overlayView_->removeFromSuperview();
    overlayView_->setDelegate(std::weak_ptr<GADAdViewDelegate>());
    overlayView_.reset();
    overlayDelegate_.reset();
}

void GADOverlayView::loadOverlayWithUserInfo(const platform::Value& userInfo) {
    if (!userInfo.is_object()) return;
    auto html = userInfo.find("overlayHtml");
    if (html == userInfo.end() || !html->is_string()) return;
    std::string base = "about:blank";
    if (auto it = userInfo.find("baseUrl"); it != userInfo.end() && it->is_string()) base = it->get<std::string>();
    auto baseURL = platform::URL::parse(base);
    if (!baseURL || baseURL->scheme().empty()) return;
    if (!overlayView_) addOverlaySubview();
    overlayView_->loadHTMLString(html->get<std::string>(), baseURL);
    loadOverlayUserInfo_ = userInfo;
}

void GADOverlayView::overlayDidFinishLoad(const std::shared_ptr<GADAdView>& view) {
    if (!view || view != overlayView_ || !loadOverlayUserInfo_) return;
    overlayIdentifier_.reset();
    if (auto it = loadOverlayUserInfo_->find("id"); it != loadOverlayUserInfo_->end()) {
        if (it->is_string()) overlayIdentifier_ = it->get<std::string>();
    }
    loadOverlayUserInfo_.reset();
    platform::Value message = platform::Value::object();
    message["messageType"] = "htmlLoaded";
    if (overlayIdentifier_) message["id"] = *overlayIdentifier_;
    if (adView_) adView_->postJSNotification("sendMessageToNativeJs", message);
}

void GADOverlayView::overlayDidFailLoad(const std::shared_ptr<GADAdView>& view) {
    if (!view || view != overlayView_) return;
    overlayIdentifier_.reset();
    loadOverlayUserInfo_.reset();
}

void GADOverlayView::sendMessageToOverlayWithUserInfo(const platform::Value& userInfo) {
    if (!overlayView_) addOverlaySubview();
    overlayView_->postJSNotification("sendMessageToSdk", userInfo);
}

void GADOverlayView::sendMessageToAdViewWithUserInfo(const platform::Value& userInfo) {
    platform::Value message = userInfo.is_object() ? userInfo : platform::Value::object();
    if (!message.contains("id") && overlayIdentifier_) message["id"] = *overlayIdentifier_;
    if (adView_) adView_->postJSNotification("sendMessageToNativeJs", message);
}

} // namespace ruzave
