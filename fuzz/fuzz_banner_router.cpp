// The banner's navigation router and its message handlers against any navigation a creative can
// start. An input starting with "<" is the creative itself: its page's scripts drive the router. Any
// other input is a list of navigations offered to the ad view's delegate once a plain ad has rendered,
// one per line ("<type digit> <URL>", or just a URL, a link click on the touched ad). Messages reach
// their handlers, timers run, and the slot has answered its load at most once.
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
    const bool creative = rest.starts_with("<");
    {
        slottest::FakeNeighbours fakes;
        auto owner = std::make_shared<slottest::FakeOwner>();
        auto slot = slottest::makeSlot(owner);
        auto ad = ruzave::GADAd::init();
        ad->setAdBaseURL(platform::URL::parse("https://ads.ruzave.example/creative/"));
        auto fetcher = slottest::startFetch(fakes, *slot, ad);
        fetcher->succeed(ruzave::GADResponseTypeStandard, creative ? std::string(rest) : std::string("<p>ad</p>"));
        if (creative) rest = {};
        slot->adView()->webView()->setScriptTimeLimit(0.02);
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
        for (int i = 0; i < 10; ++i) harness.advance(0.1);
        fuzz::require(owner->finished + owner->errors.size() <= 1);
    }
    harness.runUntilIdle();
    return 0;
}
