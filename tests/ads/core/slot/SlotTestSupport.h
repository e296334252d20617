#pragma once
// Fakes for the slot's neighbours: a fetcher the test answers by hand, an ad-URL builder that records
// who asked, and an owner whose answers the test sets.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/core/net/GADAdFetcher.h"
#include "ads/core/public/GADAdType.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/slot/GADSlotAdLoadDelegate.h"
#include "ads/core/slot/GADSlotAdResponseDelegate.h"
#include "ads/core/slot/GADSlotDelegate.h"
#include "ads/core/util/GADLog.h"
#include "platform/base/Log.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/runloop/MainLoop.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Application.h"

namespace slottest {

class FakeFetcher : public ruzave::GADAdFetcher {
  public:
    static std::shared_ptr<FakeFetcher> make() { return std::shared_ptr<FakeFetcher>(new FakeFetcher()); }

    bool fetchRemainingContentForAd(const std::shared_ptr<ruzave::GADAd>& ad,
                                    const std::optional<platform::Value>& headers,
                                    const std::weak_ptr<ruzave::GADAdFetcherDelegate>& delegate,
                                    const std::shared_ptr<ruzave::GADRequest>&, platform::Error*) override {
        ad_ = ad;
        headers_ = headers;
        delegate_ = delegate;
        ++fetches;
        return true;
    }
    void cancel() override { cancelled = true; }

    // Answers as the real fetcher would: only when not cancelled.
    void succeed(std::uint32_t responseType, const std::optional<std::string>& html) {
        ad_->setResponseType(responseType);
        ad_->setAdHTML(html);
        if (auto d = delegate_.lock(); d && !cancelled) d->adFetcher(*this, ad_);
    }
    void fail(const platform::Error& error) {
        if (auto d = delegate_.lock(); d && !cancelled) d->adFetcher(*this, ad_, error, 0);
    }
    // A late answer that ignores cancellation, as a misbehaving fetcher might give.
    void succeedEvenIfCancelled(std::uint32_t responseType, const std::string& html) {
        ad_->setResponseType(responseType);
        ad_->setAdHTML(html);
        if (auto d = delegate_.lock()) d->adFetcher(*this, ad_);
    }

    std::shared_ptr<ruzave::GADAd> ad_;
    std::optional<platform::Value> headers_;
    std::weak_ptr<ruzave::GADAdFetcherDelegate> delegate_;
    int fetches = 0;
    bool cancelled = false;

  private:
    FakeFetcher() = default;
};

// Installs itself as the fetcher factory and the ad-URL builder for one test.
struct FakeNeighbours {
    FakeNeighbours() {
        ruzave::GADSlot::setAdFetcherFactory([this] {
            auto f = FakeFetcher::make();
            fetchers.push_back(f);
            return f;
        });
        ruzave::GADSlot::setAdURLBuilder(
            [this](const std::shared_ptr<ruzave::GADSlot>& slot) { urlRequests.push_back(slot); });
        platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);
    }
    ~FakeNeighbours() {
        ruzave::GADSlot::setAdFetcherFactory(nullptr);
        ruzave::GADSlot::setAdURLBuilder(nullptr);
    }
    std::shared_ptr<FakeFetcher> lastFetcher() const { return fetchers.empty() ? nullptr : fetchers.back(); }

    std::vector<std::shared_ptr<FakeFetcher>> fetchers;
    std::vector<std::weak_ptr<ruzave::GADSlot>> urlRequests;
};

class FakeOwner : public ruzave::GADSlotDelegate,
                  public ruzave::GADSlotAdLoadDelegate,
                  public ruzave::GADSlotAdResponseDelegate {
  public:
    std::optional<bool> slotShouldLoadRequest(ruzave::GADSlot&,
                                              const std::shared_ptr<ruzave::GADRequest>&) override {
        return shouldLoad;
    }
    std::optional<bool> slotShouldReloadCurrentRequest(ruzave::GADSlot&) override {
        ++reloadQuestions;
        return shouldReload;
    }
    std::optional<bool> slotShouldPreemptInProgressRequest(ruzave::GADSlot&) override {
        return shouldPreempt;
    }
    std::optional<bool> slotNotifyPublisherToRenderCustomRenderingAd(ruzave::GADSlot&,
                                                                     const std::shared_ptr<ruzave::GADAd>&,
                                                                     platform::Error* error) override {
        if (customError && error) *error = *customError;
        return rendersCustom;
    }
    void slotWillLoadAdWithRequest(ruzave::GADSlot&,
                                   const std::shared_ptr<ruzave::GADRequest>& request) override {
        willLoadRequests.push_back(request);
    }
    void slotDidReceiveAdView(ruzave::GADSlot&, const std::shared_ptr<platform::View>& view) override {
        receivedViews.push_back(view);
    }
    void slotFinishedLoadingAdContent(ruzave::GADSlot&) override {
        ++finished;
        onMainThread = onMainThread && platform::MainLoop::isMainThread();
    }
    void slotDidFailToLoadAdContentWithError(ruzave::GADSlot&, const platform::Error& error) override {
        errors.push_back(error);
        onMainThread = onMainThread && platform::MainLoop::isMainThread();
    }
    bool slotShouldProcessAdResponse(ruzave::GADSlot&, const std::shared_ptr<ruzave::GADAd>&,
                                     platform::Error* error) override {
        if (responseError && error) *error = *responseError;
        return processResponse;
    }
    bool slotShouldProcessMediatedAdResponse(ruzave::GADSlot&, const std::shared_ptr<ruzave::GADAd>&,
                                             platform::Error*) override {
        return true;
    }

    std::optional<bool> shouldLoad;
    std::optional<bool> shouldReload;
    std::optional<bool> shouldPreempt;
    std::optional<bool> rendersCustom;
    std::optional<platform::Error> customError;
    std::optional<platform::Error> responseError;
    bool processResponse = true;
    int reloadQuestions = 0;
    int finished = 0;
    bool onMainThread = true;
    std::vector<platform::Error> errors;
    std::vector<std::shared_ptr<ruzave::GADRequest>> willLoadRequests;
    std::vector<std::shared_ptr<platform::View>> receivedViews;
};

// The SDK logs on a queue of its own: wait for it before reading captured lines.
inline std::vector<std::string> flushedLines(const platform::LogCapture& capture) {
    ruzave::GADLoggingQueue()->sync([] {});
    return capture.lines();
}

inline bool logged(const platform::LogCapture& capture, const std::string& fragment) {
    ruzave::GADLoggingQueue()->sync([] {});
    return capture.contains(fragment);
}

// A banner-type slot owned by `owner`, reloadable, with every delegate set.
inline std::shared_ptr<ruzave::GADSlot> makeSlot(const std::shared_ptr<FakeOwner>& owner,
                                                 bool banner = true) {
    auto slot = ruzave::GADSlot::initWithFrame(platform::Rect(0, 0, 320, 50));
    slot->setSlotDelegate(owner);
    slot->setAdLoadDelegate(owner);
    slot->setAdResponseDelegate(owner);
    slot->setReloadable(true);
    slot->setAdUnitID("unit-a");
    if (banner) slot->setAdType(ruzave::GADAdType::bannerAdTypeForSize(ruzave::kGADAdSizeBanner), false);
    return slot;
}

// Takes a slot from a load to a fetcher that holds the ad (state 4).
inline std::shared_ptr<FakeFetcher> startFetch(FakeNeighbours& fakes, ruzave::GADSlot& slot,
                                               std::shared_ptr<ruzave::GADAd> ad = nullptr) {
    slot.loadRequest(ruzave::GADRequest::request());
    slot.didReceiveAdURL();
    if (!ad) ad = ruzave::GADAd::init();
    slot.loadAd(ad, std::nullopt);
    return fakes.lastFetcher();
}

// Takes a slot through a load to a shown ad: its page loaded into the slot's ad view and the owner told.
// Null when the page's load was not told in time.
inline std::shared_ptr<ruzave::GADAd> showAd(platform::testing::Harness& h, FakeNeighbours& fakes,
                                             ruzave::GADSlot& slot, const FakeOwner& owner,
                                             std::shared_ptr<ruzave::GADAd> ad = nullptr) {
    const int before = owner.finished;
    auto fetcher = startFetch(fakes, slot, std::move(ad));
    fetcher->succeed(ruzave::GADResponseTypeStandard, std::string("<p>ad</p>"));
    if (!h.runUntil([&] { return owner.finished == before + 1; })) return nullptr;
    return fetcher->ad_;
}

} // namespace slottest
