#include "ads/core/public/GADAdType.h"

#include <functional>

namespace ruzave {

std::shared_ptr<GADAdType> GADAdType::initWithAdSize(const GADAdSize& size) {
    std::shared_ptr<GADAdType> t(new GADAdType());
    t->adSize_ = size;
    return t;
}

std::shared_ptr<GADAdType> GADAdType::initForInterstitial() {
    std::shared_ptr<GADAdType> t(new GADAdType());
    t->adSize_ = kGADAdSizeInvalid;
    t->isInterstitial_ = true;
    return t;
}

std::shared_ptr<GADAdType> GADAdType::initForRewardBasedVideoAd() {
    std::shared_ptr<GADAdType> t(new GADAdType());
    t->adSize_ = kGADAdSizeInvalid;
    t->isRewardBasedVideoAd_ = true;
    return t;
}

bool GADAdType::isEqual(const GADAdType* other) const {
    if (other == this) return true;
    if (other == nullptr) return false;
    if (isInterstitial_ && other->isInterstitial_) return true;
    return GADAdSizeEqualToSize(adSize_, other->adSize_);
}

std::size_t GADAdType::hash() const {
    // An interstitial equals every type of the invalid size, so all of those share its hash.
    if (isInterstitial_ || GADAdSizeEqualToSize(adSize_, kGADAdSizeInvalid)) return 1;
    return std::hash<std::string>{}(NSStringFromCGSize(adSize_.size) + " " + std::to_string(adSize_.flags));
}

bool GADAdType::isValid() const { return isInterstitial_ || GADAdSizeIsValid(adSize_, nullptr); }

std::string GADAdType::description() const {
    if (isInterstitial_) return "GADAdType interstitial type";
    return "GADAdType banner with size: " + NSStringFromGADAdSize(adSize_);
}

} // namespace ruzave
