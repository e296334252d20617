// HTML and script from creatives: the input is loaded as a page (every subresource answered locally
// with a 404, every later navigation refused), then run as a script in it, its first link clicked and
// first form submitted, tapped (touches and the click), painted, and given a moment of virtual time for its
// timers and animation frames. Scripts get a short time limit.
#include "fuzz/FuzzSupport.h"
#include "platform/ui/Bitmap.h"
#include "platform/testing/web/WebViewTesting.h"
#include "platform/web/WebPage.h"
#include "platform/web/WebView.h"

namespace {

struct RefuseLaterNavigations : platform::WebViewDelegate {
    int asked = 0;
    bool finished = false;
    bool shouldStartLoad(platform::WebView&, const platform::URLRequest&, platform::WebViewNavigationType) override {
        return asked++ == 0;
    }
    void didFinishLoad(platform::WebView&) override { finished = true; }
    void didFailLoad(platform::WebView&, const platform::Error&) override { finished = true; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto& harness = fuzz::harness();
    fuzz::CannedAnswers::install();
    std::string input(fuzz::text(data, size));
    {
        auto delegate = std::make_shared<RefuseLaterNavigations>();
        auto webView = platform::WebView::create(platform::Rect(0, 0, 320, 50));
        webView->setScriptTimeLimit(0.02);
        webView->setDelegate(delegate);
        webView->loadHTMLString(input, platform::URL::parse("https://creative.fuzz.example/ad/"));
        harness.runUntil([&] { return delegate->finished; }, 5.0);
        webView->evaluate(input);
        webView->evaluate("document.body ? document.body.innerHTML : ''");
        platform::WebViewTesting::clickElement(*webView, "a");
        platform::WebViewTesting::submitForm(*webView, "form");
        if (auto page = webView->currentPage()) {
            using Kind = platform::WebPage::TouchKind;
            page->touch(Kind::Start, {10, 20});
            page->touch(Kind::Move, {12, 22});
            if (page->touch(Kind::End, {12, 22})) page->clickAt({12, 22});
        }
        platform::Bitmap bitmap(32, 8);
        webView->render(bitmap);
        for (int i = 0; i < 5; ++i) harness.advance(0.02);
        webView->stopLoading();
        webView->setDelegate({});
    }
    harness.runUntilIdle();
    return 0;
}
