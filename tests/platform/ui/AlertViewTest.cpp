#include <vector>

#include "platform/ui/AlertView.h"

using namespace platform;

namespace {
struct Delegate : AlertViewDelegate {
    std::vector<std::string> calls;
    void alertViewClickedButtonAtIndex(AlertView&, long i) override { calls.push_back("clicked " + std::to_string(i)); }
    void alertViewDidDismissWithButtonIndex(AlertView&, long i) override {
        calls.push_back("dismissed " + std::to_string(i));
    }
};
} // namespace

TEST_CASE("AlertView: buttons, cancel index, and tapping through the visible list") {
    auto delegate = std::make_shared<Delegate>();
    auto alert = AlertView::create("Leave?", "You will leave the app.", delegate, "Cancel", {"OK", "Later"});
    CHECK(alert->numberOfButtons() == 3);
    CHECK(alert->cancelButtonIndex() == 0);
    CHECK(alert->buttonTitleAtIndex(1) == "OK");
    CHECK(alert->buttonTitleAtIndex(9).empty());
    CHECK(AlertView::visibleAlerts().empty());
    CHECK_FALSE(alert->tapButtonAtIndex(1)); // not shown yet
    alert->show();
    alert->show();
    REQUIRE(AlertView::visibleAlerts().size() == 1);
    CHECK(AlertView::visibleAlerts()[0]->title() == "Leave?");
    CHECK_FALSE(alert->tapButtonAtIndex(3));
    CHECK(AlertView::visibleAlerts()[0]->tapButtonAtIndex(1));
    CHECK(delegate->calls == std::vector<std::string>{"clicked 1", "dismissed 1"});
    CHECK(AlertView::visibleAlerts().empty());
    CHECK_FALSE(alert->isVisible());

    auto noCancel = AlertView::create("t", "m", {}, "", {"Only"});
    CHECK(noCancel->cancelButtonIndex() == -1);
    noCancel->show();
    noCancel->dismissWithClickedButtonIndex(0, false);
    CHECK(AlertView::visibleAlerts().empty());
}
