#include "tools/chaos/ChaosTally.h"

#include <doctest/doctest.h>

#include <string>

using chaos::ChaosTally;
using chaos::LoadRecord;

namespace {

LoadRecord load(const std::string& kind) {
    LoadRecord r;
    r.kind = kind;
    r.adUnitID = "chaos/" + kind;
    return r;
}

} // namespace

TEST_CASE("LoadRecord: the first answer is the outcome, a later one makes the load doubled") {
    LoadRecord r = load("drop");
    r.answer(false, 2, 0.5);
    CHECK(r.firstReceived == false);
    CHECK(r.firstCode == 2);
    CHECK(r.answeredAfter == 0.5);
    r.answer(true, 0, 3);
    CHECK(r.firstReceived == false);
    CHECK(r.firstCode == 2);
    CHECK(r.answers() == 2);
    // Answers to the banner's own reloads are not the load's.
    r.answer(true, 0, 70, true);
    CHECK(r.answers() == 2);
    CHECK(r.refreshed == 1);
}

TEST_CASE("LoadRecord: a load given up on that answers later is late, not wedged") {
    LoadRecord r = load("core-none");
    r.wedged = true;
    r.answer(false, 2, 130);
    CHECK_FALSE(r.wedged);
    CHECK(r.late);
    CHECK(r.answeredAfter == 130);
}

TEST_CASE("ChaosTally: counts per kind and in total, failures by code, and the faulty loads as examples") {
    ChaosTally tally;
    LoadRecord a = load("ok");
    a.answer(true, 0, 1);
    LoadRecord b = load("http-5xx");
    b.answer(false, 3, 1);
    LoadRecord c = load("http-5xx");
    c.answer(false, 3, 1);
    c.grouped = true;
    LoadRecord d = load("http-5xx");
    d.answer(false, 2, 1);
    d.answer(false, 2, 2);
    LoadRecord e = load("core-none");
    e.wedged = true;
    for (const auto* r : {&a, &b, &c, &d, &e}) tally.add(*r);

    ChaosTally::Row fives = tally.row("http-5xx");
    CHECK(fives.loads == 3);
    CHECK(fives.received == 0);
    CHECK(fives.failedByCode.at(3) == 2);
    CHECK(fives.failedByCode.at(2) == 1);
    CHECK(fives.doubled == 1);
    CHECK(fives.grouped == 1);
    CHECK(tally.row("ok").received == 1);
    CHECK(tally.row("never-seen").loads == 0);
    // A wedged load has no outcome to count.
    CHECK(tally.row("core-none").wedged == 1);
    CHECK(tally.row("core-none").failedByCode.empty());
    CHECK(tally.total().loads == 5);
    CHECK(tally.wedged() == 1);
    CHECK(tally.doubled() == 1);
    REQUIRE(tally.examples().size() == 2);
    CHECK(tally.examples()[0] == "http-5xx (chaos/http-5xx): 0 received and 2 failed answers");
    CHECK(tally.examples()[1] == "core-none (chaos/core-none): no answer");
}

TEST_CASE("ChaosTally: the table lists kinds in the given order, then others, then the total") {
    ChaosTally tally;
    for (const char* kind : {"zeta", "ok", "drop"}) {
        LoadRecord r = load(kind);
        r.answer(true, 0, 1);
        tally.add(r);
    }
    std::string table = tally.render({"drop", "ok", "unused"});
    auto at = [&](const std::string& name) { return table.find("\n" + name + " "); };
    REQUIRE(at("drop") != std::string::npos);
    CHECK(at("drop") < at("ok"));
    CHECK(at("ok") < at("zeta"));
    CHECK(at("zeta") < at("total"));
    CHECK(at("unused") == std::string::npos);
}
