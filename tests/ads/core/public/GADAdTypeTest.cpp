#include <doctest/doctest.h>

#include "ads/core/public/GADAdType.h"

using namespace ruzave;

TEST_CASE("GADAdType: interstitials equal each other and the invalid size, and hash alike") {
    auto a = GADAdType::interstitialAdType();
    auto b = GADAdType::interstitialAdType();
    CHECK(a->isEqual(b.get()));
    CHECK(a->hash() == 1);
    CHECK(b->hash() == 1);
    auto invalidBanner = GADAdType::bannerAdTypeForSize(kGADAdSizeInvalid);
    auto video = GADAdType::initForRewardBasedVideoAd();
    REQUIRE(a->isEqual(invalidBanner.get()));
    CHECK(a->hash() == invalidBanner->hash());
    CHECK(video->isEqual(invalidBanner.get()));
    CHECK(video->hash() == invalidBanner->hash());
    CHECK_FALSE(video->isValid());
    CHECK(a->isValid());
}

TEST_CASE("GADAdType: banners compare and describe by size") {
    auto a = GADAdType::bannerAdTypeForSize(kGADAdSizeBanner);
    auto b = GADAdType::bannerAdTypeForSize(kGADAdSizeBanner);
    auto c = GADAdType::bannerAdTypeForSize(kGADAdSizeLeaderboard);
    CHECK(a->isEqual(b.get()));
    CHECK(a->hash() == b->hash());
    CHECK_FALSE(a->isEqual(c.get()));
    CHECK_FALSE(a->isEqual(nullptr));
    CHECK(a->description() == "GADAdType banner with size: kGADAdSizeBanner");
    CHECK(GADAdType::interstitialAdType()->description() == "GADAdType interstitial type");
}
