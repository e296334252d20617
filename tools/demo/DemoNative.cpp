#include "tools/demo/DemoNative.h"

#include "ads/core/public/GADRequest.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/native/GADAdLoader.h"
#include "ads/native/GADAdLoaderAdTypes.h"
#include "ads/native/GADNativeAdAttribution.h"
#include "ads/native/GADNativeAdImage.h"
#include "ads/native/GADNativeContentAd.h"
#include "ads/native/GADNativeContentAdView.h"
#include "platform/runloop/MainLoop.h"
#include "platform/testing/ui/TouchInjector.h"
#include "platform/ui/Image.h"
#include "platform/ui/Label.h"
#include "platform/ui/ViewController.h"
#include "tools/adserver/AdServer.h"
#include "tools/adserver/NativeAds.h"
#include "tools/demo/DemoServer.h"
#include "tools/demo/DemoTimeline.h"

namespace demo {

namespace {

struct NativeDelegate : ruzave::GADNativeContentAdLoaderDelegate {
    std::shared_ptr<ruzave::GADNativeContentAd> ad;
    std::optional<platform::Error> error;
    void adLoaderDidFailToReceiveAdWithError(ruzave::GADAdLoader&, const platform::Error& e) override { error = e; }
    void adLoaderDidReceiveNativeContentAd(ruzave::GADAdLoader&,
                                           const std::shared_ptr<ruzave::GADNativeContentAd>& received) override {
        ad = received;
    }
};

std::string sizeOf(const std::shared_ptr<ruzave::GADNativeAdImage>& image) {
    if (!image || !image->image()) return "not loaded";
    return std::to_string(image->image()->pixelWidth()) + "x" + std::to_string(image->image()->pixelHeight());
}

} // namespace

std::optional<std::string> DemoNative::run(DemoTimeline& timeline, adserver::AdServer& server,
                                           const std::string& adUnitID,
                                           const std::shared_ptr<platform::ViewController>& root,
                                           double timeoutSeconds) {
    const std::string base = std::string("https://") + ruzave::GADHosts::kAdServerHost;
    adserver::NativeAds::installSupportPage(server);
    adserver::NativeAds::installPictures(server);
    server.routeHost(ruzave::GADHosts::kAdServerHost, DemoServer::kNativePath, [base](const adserver::Request&) {
        return adserver::NativeAds::nativeResponse(adserver::NativeAds::contentAdResponse(base));
    });

    auto delegate = std::make_shared<NativeDelegate>();
    auto loader = ruzave::GADAdLoader::initWithAdUnitID(adUnitID, root, {ruzave::kGADNativeContentAdLoaderType}, {});
    if (!loader) return std::string("the ad loader could not be made");
    loader->setDelegate(delegate);
    timeline.mark("native ad: loadRequest for ad unit \"" + adUnitID + "\"");
    loader->loadRequest(ruzave::GADRequest::request());
    auto& loop = platform::MainLoop::main();
    loop.runUntil([&] { return delegate->ad || delegate->error; }, timeoutSeconds);
    if (delegate->error) return "the native ad failed: " + delegate->error->description;
    if (!delegate->ad) return std::string("no native ad within the time-out");
    auto ad = delegate->ad;
    timeline.mark("native ad: content ad \"" + ad->headline().value_or("") + "\" by " + ad->advertiser().value_or("") +
                  ", picture " + sizeOf(ad->images().empty() ? nullptr : ad->images()[0]) + ", logo " +
                  sizeOf(ad->logo()) + ", badge \"" + ad->attribution()->text().value_or("") + "\" with " +
                  std::to_string(ad->attribution()->icons() ? ad->attribution()->icons()->size() : 0) + " icon");

    // The app shows the ad in its own view: a headline label registered as the headline asset. Laid out
    // on screen it records the impression; a finger on the headline is the click.
    auto adView = ruzave::GADNativeContentAdView::initWithFrame({{0, 200}, {320, 120}});
    auto headline = platform::Label::create({{8, 8}, {300, 24}});
    headline->setText(ad->headline().value_or(""));
    adView->addSubview(headline);
    adView->setHeadlineView(headline);
    adView->setNativeContentAd(ad);
    if (root && root->view()) root->view()->addSubview(adView);
    adView->layoutIfNeeded();
    if (!ad->hasRecordedImpression()) return std::string("the native ad view on screen recorded no impression");
    platform::Point finger = adView->convertPointToView({40, 20}, nullptr);
    if (!platform::TouchInjector::tap(finger)) return std::string("no window to tap the native ad in");
    bool pinged = loop.runUntil([&] {
        return server.requestCount("/native/click") > 0 && server.requestCount("/native/impression") > 0;
    }, timeoutSeconds);
    if (!pinged) return std::string("the native click or impression never reached the server");
    auto click = server.requests("/native/click")[0];
    timeline.mark("native ad: a tap on the headline reached the server as /native/click?" + click.query);
    timeline.mark("native ad: the impression, recorded once the view showed, reached the server");
    adView->removeFromSuperview();
    return std::nullopt;
}

} // namespace demo
