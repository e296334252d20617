#pragma once
// What can go wrong with one banner load, as the chaos run draws it: each kind names the ad unit a load
// asks for, which the local server's SDK-core page and faulty ad route turn into that fault. Any thread.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tools/adserver/AdServer.h"
#include "tools/adserver/CorePage.h"

namespace chaos {

struct FaultKind {
    std::string name;   // as reported
    double weight = 1;  // share among the drawn kinds
    // Holds the main thread for a whole script time limit; planned a fixed small number of times rather
    // than drawn (see FaultPlan).
    bool runaway = false;
    // Breaks the SDK-core page itself: the page the SDK next loads is the broken one, and every banner
    // of the round meets it.
    bool page = false;
};

// Every kind, in report order.
const std::vector<FaultKind>& faultKinds();
const FaultKind* findFaultKind(const std::string& name);

// The ad unit a load of `kind` asks for ("chaos/status-503"); numbers in it come from `random`.
std::string adUnitFor(const FaultKind& kind, std::mt19937_64& random);

// The SDK-core page answering the "chaos/core-..." units with their faults and every other unit with an
// ad URL on `adBase`'s faulty ad route.
adserver::CorePageScenario corePageScenario(const std::string& sdkCoreHost, const std::string& sdkCorePath,
                                            const std::string& adBase);

// The broken SDK-core page of a page kind, made from the good page's HTML.
adserver::Response brokenCorePage(const FaultKind& kind, const std::string& goodHTML, const std::string& adBase);

// The custom event classes a mediated load may run, by the number in "mediation-N".
const std::vector<std::string>& chaosCustomEventClasses();

// The kinds of `loads` loads: drawn by weight, with max(1, loads / kLoadsPerRunaway) of each runaway
// kind at random places (none for fewer than two loads). `only`, when not empty, names the kinds to draw
// from, each equally often (unknown names are left out).
class FaultPlan {
  public:
    static constexpr std::size_t kLoadsPerRunaway = 500;
    static std::vector<const FaultKind*> make(std::size_t loads, std::mt19937_64& random,
                                              const std::vector<std::string>& only = {});
};

} // namespace chaos
