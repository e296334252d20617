#include "tools/chaos/ChaosFaults.h"

#include <algorithm>

#include "tools/adserver/FaultyAds.h"
#include "tools/chaos/ChaosCustomEvents.h"
#include "tools/demo/DemoCustomEventBanner.h"

namespace chaos {

namespace {

using Answer = adserver::CorePageScenario::Answer;

// The page's late answers: well inside, just inside and just after the SDK's 30-second wait.
const std::vector<int> kLateMs = {500, 29000, 31000};

template <class T>
T pick(const std::vector<T>& choices, std::mt19937_64& random) {
    return choices[std::uniform_int_distribution<std::size_t>(0, choices.size() - 1)(random)];
}

std::uint64_t between(std::uint64_t low, std::uint64_t high, std::mt19937_64& random) {
    return std::uniform_int_distribution<std::uint64_t>(low, high)(random);
}

} // namespace

const std::vector<FaultKind>& faultKinds() {
    static const std::vector<FaultKind> kinds = {
        {"ok", 8},
        {"http-4xx", 5},
        {"http-5xx", 5},
        {"drop", 4},
        {"truncate", 4},
        {"slow", 2},
        {"redirect-loop", 3},
        {"redirect-cross", 3},
        {"redirect-pingpong", 3},
        {"redirect-dead", 2},
        {"redirect-scheme", 2},
        {"empty", 3},
        {"garbage", 4},
        {"nested", 3},
        {"mediation-ok", 3},
        {"mediation-silent", 2},
        {"mediation-chatty", 3},
        {"mediation-late", 2},
        {"mediation-fail-then-fill", 2},
        {"mediation-garbage", 3},
        {"mediation-nested", 2},
        {"missing-adapter", 3},
        {"missing-custom-event", 3},
        {"core-none", 2},
        {"core-late", 3},
        {"core-twice", 3},
        {"core-garbage", 3},
        {"core-error", 3},
        {"core-invalid", 2},
        {"core-broken-ad", 2},
        {"core-navigate-away", 2},
        {"creative-allocate", 2},
        {"creative-flood", 2},
        {"page-500", 1, false, true},
        {"page-drop", 1, false, true},
        {"page-truncate", 1, false, true},
        {"page-garbage", 1, false, true},
        {"page-redirect", 1, false, true},
        {"core-run-forever", 0, true},
        {"creative-loop", 0, true},
    };
    return kinds;
}

const FaultKind* findFaultKind(const std::string& name) {
    for (const auto& kind : faultKinds()) {
        if (kind.name == name) return &kind;
    }
    return nullptr;
}

const std::vector<std::string>& chaosCustomEventClasses() {
    static const std::vector<std::string> classes = {demo::DemoCustomEventBanner::kClassName,
                                                     ChaosSilentCustomEvent::kClassName,
                                                     ChaosChattyCustomEvent::kClassName,
                                                     ChaosLateCustomEvent::kClassName,
                                                     ChaosFailThenFillCustomEvent::kClassName};
    return classes;
}

std::string adUnitFor(const FaultKind& kind, std::mt19937_64& random) {
    const std::string& k = kind.name;
    std::string fault = k;
    if (k == "http-4xx") fault = "status-" + std::to_string(pick<int>({400, 403, 404, 410, 429}, random));
    else if (k == "http-5xx") fault = "status-" + std::to_string(pick<int>({500, 502, 503, 504}, random));
    else if (k == "truncate") fault = "truncate-" + std::to_string(between(0, 100000, random));
    else if (k == "slow") fault = "slow-" + std::to_string(between(20, 150, random));
    else if (k == "garbage") fault = "garbage-" + std::to_string(between(0, 1u << 20, random));
    else if (k == "nested") fault = "nested-" + std::to_string(pick<int>({300, 1000, 5000}, random));
    else if (k == "mediation-ok") fault = "mediation-0";
    else if (k == "mediation-silent") fault = "mediation-1";
    else if (k == "mediation-chatty") fault = "mediation-2";
    else if (k == "mediation-late") fault = "mediation-3";
    else if (k == "mediation-fail-then-fill") fault = "mediation-4";
    else if (k == "mediation-garbage") fault = "mediation-garbage-" + std::to_string(between(0, 1u << 20, random));
    else if (k == "mediation-nested") fault = "mediation-nested-" + std::to_string(pick<int>({300, 1000, 5000}, random));
    else if (k == "core-late") fault = "core-late-" + std::to_string(pick(kLateMs, random));
    // A broken page: the ad behind it would be fine.
    if (kind.page) fault = "ok";
    return "chaos/" + fault;
}

adserver::Response brokenCorePage(const FaultKind& kind, const std::string& goodHTML, const std::string& adBase) {
    const std::string& k = kind.name;
    if (k == "page-500") return adserver::Response::html("<html><body>down</body></html>", 500);
    adserver::Response page = adserver::Response::html(goodHTML);
    if (k == "page-drop") {
        page.fault = adserver::Fault::Drop;
    } else if (k == "page-truncate") {
        page.fault = adserver::Fault::Truncate;
        page.truncateAt = goodHTML.size() / 2;
    } else if (k == "page-garbage") {
        page.body = adserver::seededBytes(goodHTML.size(), 4096);
    } else if (k == "page-redirect") {
        page = adserver::Response::redirect(adBase + "/mads/gma?slotname=chaos%2Fok");
    }
    return page;
}

adserver::CorePageScenario corePageScenario(const std::string& sdkCoreHost, const std::string& sdkCorePath,
                                            const std::string& adBase) {
    adserver::CorePageScenario scenario;
    scenario.host = sdkCoreHost;
    scenario.path = sdkCorePath;
    scenario.adBase = adBase;
    scenario.fallback = adserver::CorePageScenario::answer(Answer::AdURL);
    const std::pair<const char*, Answer> answers[] = {
        {"core-none", Answer::None},         {"core-twice", Answer::Twice},
        {"core-garbage", Answer::Garbage},   {"core-error", Answer::Error},
        {"core-invalid", Answer::Invalid},   {"core-broken-ad", Answer::BrokenAd},
        {"core-navigate-away", Answer::NavigateAway}, {"core-run-forever", Answer::RunForever},
    };
    for (const auto& [name, answer] : answers) scenario.slots[std::string("chaos/") + name] = adserver::CorePageScenario::answer(answer);
    for (int ms : kLateMs) {
        auto late = adserver::CorePageScenario::answer(Answer::Late);
        late.lateMs = ms;
        scenario.slots["chaos/core-late-" + std::to_string(ms)] = late;
    }
    // Answers that do come lead to an ad that works: a second answer would show a second ad, and a late
    // one in time is a received ad.
    for (auto& [name, slot] : scenario.slots) {
        if (name == "chaos/core-twice" || name.rfind("chaos/core-late-", 0) == 0)
            slot.url = adBase + "/mads/gma?slotname=chaos%2Fok";
    }
    return scenario;
}

std::vector<const FaultKind*> FaultPlan::make(std::size_t loads, std::mt19937_64& random,
                                              const std::vector<std::string>& only) {
    std::vector<const FaultKind*> drawn;
    std::vector<double> weights;
    std::vector<const FaultKind*> runaways;
    for (const auto& kind : faultKinds()) {
        if (!only.empty()) {
            if (std::find(only.begin(), only.end(), kind.name) == only.end()) continue;
            drawn.push_back(&kind);
            weights.push_back(1);
        } else if (kind.runaway) {
            runaways.push_back(&kind);
        } else {
            drawn.push_back(&kind);
            weights.push_back(kind.weight);
        }
    }
    if (drawn.empty()) return {};
    std::discrete_distribution<std::size_t> draw(weights.begin(), weights.end());
    std::vector<const FaultKind*> plan(loads);
    for (auto& slot : plan) slot = drawn[draw(random)];
    if (loads < 2) return plan;
    const std::size_t each = std::max<std::size_t>(1, loads / kLoadsPerRunaway);
    // Distinct places, so no runaway kind replaces another.
    std::vector<std::size_t> places(loads);
    for (std::size_t i = 0; i < loads; ++i) places[i] = i;
    std::shuffle(places.begin(), places.end(), random);
    std::size_t next = 0;
    for (const FaultKind* kind : runaways) {
        for (std::size_t i = 0; i < each && next < loads; ++i) plan[places[next++]] = kind;
    }
    return plan;
}

} // namespace chaos
