#include "tools/demo/DemoBannerDelegate.h"

#include "tools/demo/DemoTimeline.h"

namespace demo {

void DemoBannerDelegate::record(const std::string& name, const std::string& detail) {
    std::string line = detail.empty() ? name : name + ": " + detail;
    double ms = timeline_.mark(label_.empty() ? line : label_ + ": " + line);
    calls_.push_back(name);
    stamps_.push_back(ms);
}

void DemoBannerDelegate::adViewDidReceiveAd(ruzave::GADBannerView&) {
    ++received_;
    record("adViewDidReceiveAd");
}

void DemoBannerDelegate::adViewDidFailToReceiveAdWithError(ruzave::GADBannerView&, const platform::Error& error) {
    ++failed_;
    lastError_ = error;
    record("adViewDidFailToReceiveAdWithError", describe(error));
}

void DemoBannerDelegate::adViewWillPresentScreen(ruzave::GADBannerView&) {
    record("adViewWillPresentScreen");
}

void DemoBannerDelegate::adViewWillDismissScreen(ruzave::GADBannerView&) {
    record("adViewWillDismissScreen");
}

void DemoBannerDelegate::adViewDidDismissScreen(ruzave::GADBannerView&) {
    record("adViewDidDismissScreen");
}

void DemoBannerDelegate::adViewWillLeaveApplication(ruzave::GADBannerView&) {
    record("adViewWillLeaveApplication");
}

std::optional<double> DemoBannerDelegate::firstCallMs(const std::string& name) const {
    for (std::size_t i = 0; i < calls_.size(); ++i) {
        if (calls_[i] == name) return stamps_[i];
    }
    return std::nullopt;
}

std::string DemoBannerDelegate::describe(const platform::Error& error) {
    std::string text = error.description.empty() ? std::string("(no description)") : error.description;
    text += " (code " + std::to_string(error.code);
    if (!error.domain.empty()) text += ", " + error.domain;
    return text + ")";
}

} // namespace demo
