// The banner's navigation router and its message handlers against any navigation a creative can
// start: a banner slot renders an ad, then each input line is offered to its ad view's delegate as a
// navigation ("<type digit> <URL>" or just a URL, taken as a link click once the ad was touched).
// Messages reach their handlers, timers run, and the slot is torn down.
#include "ads/core/slot/GADResponseType.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADBannerAdViewDelegate.h"
#include "fuzz/FuzzSupport.h"
#include "tests/ads/core/slot/SlotTestSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto& harness = fuzz::harness();
    fuzz::CannedAnswers::install();
    std::string_view rest = fuzz::text(data, size);
    {
        slottest::FakeNeighbours fakes;
        auto owner = std::make_shared<slottest::FakeOwner>();
        auto slot = slottest::makeSlot(owner);
        auto ad = ruzave::GADAd::init();
        ad->setAdBaseURL(platform::URL::parse("https://ads.ruzave.example/creative/"));
        auto fetcher = slottest::startFetch(fakes, *slot, ad);
        fetcher->succeed(ruzave::GADResponseTypeStandard, std::string("<p>ad</p>"));
        harness.runUntil([&] { return !slot->adView()->isLoading(); }, 5.0);
        harness.advance(0.5);
        slot->adView()->setTouched(true);
        auto delegate = slot->adViewDelegate();
        int lines = 0;
        while (!rest.empty() && lines++ < 64) {
            auto [line, next] = fuzz::splitLine(rest);
            rest = next;
            auto type = platform::WebViewNavigationType::LinkClicked;
            if (line.size() > 2 && line[0] >= '0' && line[0] <= '5' && line[1] == ' ') {
                type = static_cast<platform::WebViewNavigationType>(line[0] - '0');
                line.remove_prefix(2);
            }
            auto request = platform::URLRequest::withURLString(std::string(line));
            if (!request) continue;
            delegate->adView(slot->adView(), *request, type);
        }
        delegate->deliverPendingMessages();
        harness.runUntilIdle();
        harness.advance(1.0);
    }
    harness.runUntilIdle();
    return 0;
}
