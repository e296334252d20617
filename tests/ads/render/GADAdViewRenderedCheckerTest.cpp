#include <doctest/doctest.h>

#include <memory>
#include <vector>

#include "ads/render/GADAdView.h"
#include "ads/render/GADAdViewRenderedChecker.h"
#include "ads/render/GADAdViewRenderedCheckerDelegate.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/Color.h"

using platform::Bitmap;
using platform::Color;
using platform::testing::Harness;
using ruzave::GADAdView;
using ruzave::GADAdViewRenderedChecker;

namespace {

struct Verdicts : ruzave::GADAdViewRenderedCheckerDelegate {
    void adViewDidRenderContent(const std::shared_ptr<GADAdView>&) override { results.push_back(true); }
    void adViewDidFailToRenderContent(const std::shared_ptr<GADAdView>&) override { results.push_back(false); }
    std::vector<bool> results;
};

// An ad view showing `html`, loaded.
struct PageFixture : Harness {
    std::shared_ptr<GADAdView> view = GADAdView::initWithFrame(platform::Rect(0, 0, 100, 50));
    std::shared_ptr<Verdicts> verdicts = std::make_shared<Verdicts>();
    void show(const std::string& html) {
        view->loadHTMLString(html, platform::URL::parse("https://ads.example/page/"));
        REQUIRE(runUntil([&] { return !view->isLoading() && view->webView()->currentPage() != nullptr; }));
    }
    bool check() {
        auto checker = GADAdViewRenderedChecker::initWithAdView(view, verdicts);
        checker->checkIsContentRenderedInAdView();
        REQUIRE(verdicts->results.size() == 1);
        bool result = verdicts->results.back();
        verdicts->results.clear();
        return result;
    }
};

} // namespace

TEST_CASE("GADAdViewRenderedChecker: a translucent background matches its own premultiplied pixels") {
    Bitmap image(10, 10);
    Color reference = Color::rgba(1.0f, 0.5f, 0.25f, 0.5f);
    image.fill(reference);
    CHECK(GADAdViewRenderedChecker::percentOfImage(image, reference) == doctest::Approx(1.0));
    // Half the image painted over with something else.
    image.fillRect(platform::Rect(0, 0, 10, 5), Color::blue());
    CHECK(GADAdViewRenderedChecker::percentOfImage(image, reference) == doctest::Approx(0.5));
}

TEST_CASE("GADAdViewRenderedChecker: grey, clear and RGB references, patterns and empty images") {
    Bitmap image(4, 1);
    image.fill(Color::white(0.5f, 1.0f));
    CHECK(GADAdViewRenderedChecker::percentOfImage(image, Color::white(0.5f, 1.0f)) == doctest::Approx(1.0));
    CHECK(GADAdViewRenderedChecker::percentOfImage(image, Color::rgba(0.5f, 0.5f, 0.5f, 1.0f)) == doctest::Approx(1.0));
    CHECK(GADAdViewRenderedChecker::percentOfImage(image, Color::clear()) == doctest::Approx(0.0));
    Bitmap blank(4, 1);
    // Transparent pixels are (0,0,0,0) whatever the clear colour's components.
    CHECK(GADAdViewRenderedChecker::percentOfImage(blank, Color::rgba(1, 1, 1, 0)) == doctest::Approx(1.0));
    CHECK(GADAdViewRenderedChecker::percentOfImage(blank, Color::pattern(nullptr)) == doctest::Approx(0.0));
    CHECK_FALSE(GADAdViewRenderedChecker::percentOfImage(Bitmap(), Color::clear()).has_value());
}

TEST_CASE_FIXTURE(PageFixture, "GADAdViewRenderedChecker: a page that draws over a tenth of the view is rendered") {
    show("<div style='width:100px;height:6px;background:#f00'></div>");
    CHECK(check());
}

TEST_CASE_FIXTURE(PageFixture, "GADAdViewRenderedChecker: an empty page or one drawing less than a tenth is not rendered") {
    show("<p></p>");
    CHECK_FALSE(check());
    show("<div style='width:100px;height:4px;background:#f00'></div>");
    CHECK_FALSE(check());
}

TEST_CASE_FIXTURE(PageFixture, "GADAdViewRenderedChecker: a page in the view's own background colour is not rendered") {
    Color background = Color::rgba(0.2f, 0.4f, 0.6f, 0.5f);
    view->setBackgroundColor(background);
    show("<p></p>");
    CHECK_FALSE(check());
}

TEST_CASE_FIXTURE(PageFixture, "GADAdViewRenderedChecker: nothing is said once the view or the delegate is gone") {
    show("<div style='width:100px;height:50px;background:#f00'></div>");
    auto checker = GADAdViewRenderedChecker::initWithAdView(view, verdicts);
    checker->setDelegate({});
    checker->checkIsContentRenderedInAdView();
    checker->setDelegate(verdicts);
    view.reset();
    checker->checkIsContentRenderedInAdView();
    CHECK(verdicts->results.empty());
}
