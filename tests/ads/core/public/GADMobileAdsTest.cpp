#include "ads/core/public/GADMobileAds.h"

#include <doctest/doctest.h>

#include "ads/core/public/GADExtras.h"
#include "ads/core/telemetry/GADCrashReporter.h"
#include "ads/native/GADInAppPurchaseTransactionReporter.h"
#include "platform/testing/Harness.h"

using ruzave::GADMobileAds;

TEST_CASE_FIXTURE(platform::testing::Harness, "GADMobileAds: both switches are final and harmless twice") {
    auto crashes = ruzave::GADCrashReporter::sharedInstance();
    crashes->enableReporting();
    REQUIRE(crashes->isReportingEnabled());
    auto purchases = ruzave::GADInAppPurchaseTransactionReporter::sharedInstance();
    purchases->enableReporting();
    REQUIRE(purchases->isReportingEnabled());
    for (int i = 0; i < 2; ++i) {
        GADMobileAds::disableSDKCrashReporting();
        GADMobileAds::disableAutomatedInAppPurchaseReporting();
    }
    CHECK_FALSE(crashes->isReportingEnabled());
    CHECK_FALSE(purchases->isReportingEnabled());
    crashes->enableReporting();
    purchases->enableReporting();
    CHECK_FALSE(crashes->isReportingEnabled());
    CHECK_FALSE(purchases->isReportingEnabled());
}

TEST_CASE("GADExtras: a copy holds its own parameters") {
    auto extras = ruzave::GADExtras::init();
    extras->setAdditionalParameters({{"_ad", "test"}, {"nested", {{"a", 1}}}});
    auto copy = extras->copy();
    REQUIRE(copy != extras);
    CHECK(copy->additionalParameters() == extras->additionalParameters());
    extras->setAdditionalParameters({{"other", "x"}});
    CHECK(copy->additionalParameters()["_ad"] == "test");
    CHECK(copy->additionalParameters()["nested"]["a"] == 1);
    CHECK_FALSE(copy->additionalParameters().contains("other"));
    CHECK(copy->extrasClassName() == "GADExtras");
}
