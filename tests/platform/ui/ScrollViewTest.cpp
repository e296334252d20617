#include <doctest/doctest.h>

#include <cmath>
#include <vector>

#include "platform/ui/ScrollView.h"

using namespace platform;

TEST_CASE("ScrollView: content size observers hear each change once and may leave while told") {
    auto scroll = ScrollView::create(Rect(0, 0, 320, 50));
    std::vector<Size> first;
    int second = 0;
    std::uint64_t secondToken = 0;
    scroll->addContentSizeObserver([&](ScrollView& s) {
        first.push_back(s.contentSize());
        // Leaving from inside a notification: the other observer is not told this time.
        if (first.size() == 2) s.removeContentSizeObserver(secondToken);
    });
    secondToken = scroll->addContentSizeObserver([&](ScrollView&) { ++second; });

    scroll->setContentSize({320, 50});
    scroll->setContentSize({320, 50});
    CHECK(first.size() == 1);
    CHECK(second == 1);
    scroll->setContentSize({320, 200});
    CHECK(first.size() == 2);
    CHECK(second == 1);
    // Values that read as 0 are the same size as 0.
    scroll->setContentSize({-5, NAN});
    scroll->setContentSize({0, 0});
    REQUIRE(first.size() == 3);
    CHECK(first.back() == Size{0, 0});
}
