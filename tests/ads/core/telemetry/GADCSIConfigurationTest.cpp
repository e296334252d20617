#include <doctest/doctest.h>

#include <cmath>

#include "ads/core/telemetry/GADCSIConfiguration.h"
#include "platform/foundation/Bundle.h"
#include "platform/services/Locale.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Device.h"

using platform::testing::Harness;
using ruzave::GADCSIConfiguration;

TEST_CASE_FIXTURE(Harness, "GADCSIConfiguration: the draw takes 50 in 1000 by default and clamps odd probabilities") {
    auto c = GADCSIConfiguration::initWithServiceName("diri_sdk");
    CHECK(c->reportingEnabled());
    CHECK(c->version() == 3);
    CHECK(c->server() == "https://ping.ruzave.example/csi");
    struct Case {
        float p;
        std::uint32_t draw;
        bool on;
    } cases[] = {
        {0.05f, 49, true}, {0.05f, 50, false}, {0.0f, 0, false},   {1.0f, 999, true},
        {NAN, 49, true},   {NAN, 50, false},   {-3.0f, 0, false},  {5.0f, 999, true},
        {INFINITY, 999, true}, {-INFINITY, 0, false},
    };
    for (const auto& k : cases) {
        CAPTURE(k.p);
        CAPTURE(k.draw);
        c->setReportingProbability(k.p, k.draw);
        CHECK(c->reportingEnabled() == k.on);
    }
}

TEST_CASE_FIXTURE(Harness, "GADCSIConfiguration: the user agent names the machine, system, locale and app") {
    auto device = platform::Device::currentDevice();
    device->setSimulator(false);
    device->setMachine("iPhone5,2");
    device->setSystemVersion("9.3.1");
    platform::Locale::setCurrent(platform::Locale("en_GB", "GBP"));
    CHECK(GADCSIConfiguration::deviceVersionString() == "iPhone/5.2");
    auto c = GADCSIConfiguration::initWithServiceName("diri_sdk");
    auto bundle = platform::Bundle::mainBundle();
    CHECK(c->userAgent() == "RuzaveCsi/1.0 (iPhone/5.2; U; CPU iPhone OS 9_3_1; en-GB) " + bundle->name() + "/" +
                                bundle->version());
    device->setMachine("");
    CHECK(GADCSIConfiguration::deviceVersionString() == "Unknown");
}
