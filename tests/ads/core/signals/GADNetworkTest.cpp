#include <doctest/doctest.h>

#include "ads/core/signals/GADNetwork.h"
#include "platform/net/Reachability.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/testing/Harness.h"

using namespace ruzave;

TEST_CASE("GADNetwork: flags map to types, cellular first") {
    auto n = GADNetwork::init();
    n->setNetworkTypeFromFlags(GADNetwork::kWWANFlag);
    CHECK(n->networkType() == GADNetworkTypeCellular);
    n->setNetworkTypeFromFlags(GADNetwork::kReachableFlag);
    CHECK(n->networkType() == GADNetworkTypeWiFi);
    n->setNetworkTypeFromFlags(0x4);
    CHECK(n->networkType() == GADNetworkTypeNone);
}

TEST_CASE("GADNetwork: changes are counted and the last connected type is kept") {
    auto n = GADNetwork::init();
    n->setNetworkType(GADNetworkTypeWiFi);
    n->setNetworkType(GADNetworkTypeNone);
    CHECK_FALSE(n->networkTypeString());
    n->setNetworkType(GADNetworkTypeWiFi);
    n->setNetworkType(GADNetworkTypeWiFi);
    CHECK(n->changeCount() == 3);
    CHECK(n->lastKnownNetworkType() == GADNetworkTypeWiFi);
    n->setNetworkType(GADNetworkTypeUnknown);
    CHECK(n->changeCount() == 3);
    CHECK(n->lastKnownNetworkTypeString() == "wi");
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADNetwork: checking follows reachability and survives a freed object") {
    platform::Reachability::resetForTesting();
    std::weak_ptr<GADNetwork> weak;
    {
        auto n = GADNetwork::init();
        weak = n;
        n->enableNetworkChecking();
        n->enableNetworkChecking();
        CHECK(n->isCheckingEnabled());
        platform::Reachability::setGlobalFlagsForTesting(GADNetwork::kReachableFlag | GADNetwork::kWWANFlag);
        CHECK(runUntil([&] { return n->networkType() == GADNetworkTypeCellular; }));
        n->disableNetworkChecking();
        n->disableNetworkChecking();
        CHECK_FALSE(n->networkTypeString());
        CHECK(n->lastKnownNetworkTypeString() == "ed");
    }
    CHECK(weak.expired());
    // A change after the object is gone reaches nobody.
    platform::Reachability::setGlobalFlagsForTesting(GADNetwork::kReachableFlag);
    runUntilIdle();
    platform::Reachability::resetForTesting();
}
