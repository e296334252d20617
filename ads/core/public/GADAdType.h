#pragma once
// What kind of ad a slot asks for: a banner of a size, an interstitial, or a reward-based video.
// Set up on the main thread; read from any thread once handed over.
#include <cstddef>
#include <memory>
#include <string>

#include "ads/core/public/GADAdSize.h"

namespace ruzave {

class GADAdType {
public:
    static std::shared_ptr<GADAdType> initWithAdSize(const GADAdSize& size);
    static std::shared_ptr<GADAdType> initForInterstitial();
    static std::shared_ptr<GADAdType> initForRewardBasedVideoAd();
    static std::shared_ptr<GADAdType> bannerAdTypeForSize(const GADAdSize& size) { return initWithAdSize(size); }
    static std::shared_ptr<GADAdType> interstitialAdType() { return initForInterstitial(); }

    const GADAdSize& adSize() const { return adSize_; }
    void setAdSize(const GADAdSize& size) { adSize_ = size; }
    bool isInterstitial() const { return isInterstitial_; }
    bool isRewardBasedVideoAd() const { return isRewardBasedVideoAd_; }

    // Interstitials equal each other and any type whose size equals theirs (kGADAdSizeInvalid).
    bool isEqual(const GADAdType* other) const;
    // Equal types hash alike: every type of size kGADAdSizeInvalid hashes like an interstitial.
    std::size_t hash() const;
    bool isValid() const;
    std::string description() const;

private:
    GADAdType() = default;
    GADAdSize adSize_;
    bool isInterstitial_ = false;
    bool isRewardBasedVideoAd_ = false;
};

} // namespace ruzave
