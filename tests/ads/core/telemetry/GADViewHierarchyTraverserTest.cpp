#include <doctest/doctest.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "ads/core/telemetry/GADViewHierarchyTraverser.h"
#include "platform/testing/Harness.h"
#include "platform/ui/View.h"

using platform::View;
using platform::testing::Harness;
using ruzave::GADViewHierarchyTraverser;

TEST_CASE_FIXTURE(Harness, "GADViewHierarchyTraverser: pre-order with the last subview first, then YES") {
    auto root = View::create();
    auto a = View::create(), b = View::create(), a1 = View::create(), a2 = View::create();
    root->addSubview(a);
    root->addSubview(b);
    a->addSubview(a1);
    a->addSubview(a2);
    auto traverser = GADViewHierarchyTraverser::create();
    std::vector<std::shared_ptr<View>> visited;
    std::optional<bool> finished;
    traverser->traverseView(
        root,
        [&](const std::shared_ptr<View>& view, std::uint32_t number) {
            CHECK(number == 1);
            visited.push_back(view);
        },
        [&](bool done) {
            CHECK(visited.size() == 5);
            finished = done;
        });
    CHECK(traverser->traversing());
    REQUIRE(runUntil([&] { return finished.has_value(); }));
    CHECK(*finished);
    CHECK(visited == std::vector<std::shared_ptr<View>>{root, b, a, a2, a1});
    CHECK_FALSE(traverser->traversing());
    CHECK(traverser->sequenceNumber() == 1);
}

TEST_CASE_FIXTURE(Harness, "GADViewHierarchyTraverser: a second walk while one runs reports NO and takes no number") {
    auto root = View::create();
    auto traverser = GADViewHierarchyTraverser::create();
    int visits = 0;
    std::vector<bool> outcomes;
    auto count = [&](const std::shared_ptr<View>&, std::uint32_t) { ++visits; };
    auto record = [&](bool done) { outcomes.push_back(done); };
    traverser->traverseView(root, count, record);
    traverser->traverseView(root, count, record);
    CHECK(traverser->sequenceNumber() == 1);
    REQUIRE(runUntil([&] { return outcomes.size() == 2; }));
    // The refusal and the walk's end come back on different queues: either may arrive first.
    CHECK(std::count(outcomes.begin(), outcomes.end(), true) == 1);
    CHECK(visits == 1);

    // Missing root or block: NO, and nothing at all without a completion.
    traverser->traverseView(nullptr, count, record);
    traverser->traverseView(root, nullptr, record);
    traverser->traverseView(nullptr, count, nullptr);
    REQUIRE(runUntil([&] { return outcomes.size() == 4; }));
    CHECK(outcomes[2] == false);
    CHECK(outcomes[3] == false);
    CHECK(traverser->sequenceNumber() == 1);
}

TEST_CASE_FIXTURE(Harness, "GADViewHierarchyTraverser: a view gone before its visit is skipped") {
    auto root = View::create();
    auto doomed = View::create();
    root->addSubview(doomed);
    auto traverser = GADViewHierarchyTraverser::create();
    std::vector<View*> visited;
    bool finished = false;
    traverser->traverseView(
        root, [&](const std::shared_ptr<View>& view, std::uint32_t) { visited.push_back(view.get()); },
        [&](bool) { finished = true; });
    doomed->removeFromSuperview();
    doomed.reset();
    REQUIRE(runUntil([&] { return finished; }));
    CHECK(visited == std::vector<View*>{root.get()});
}
