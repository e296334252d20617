#include "ads/render/GADSwipeToViewControllerConfigurations.h"

#include <cmath>

#include "ads/core/signals/GADDevice.h"
#include "ads/core/util/GADObjectValidation.h"
#include "ads/core/util/GADRectConversions.h"

namespace ruzave {

std::shared_ptr<GADSwipeToViewControllerConfigurations>
GADSwipeToViewControllerConfigurations::initWithSwipeConfigurations(const platform::Value& configurations) {
    if (!GADDevice::sharedInstance()->isOSAtLeastMajor(7, 0, 0)) return nullptr;
    std::shared_ptr<GADSwipeToViewControllerConfigurations> c(new GADSwipeToViewControllerConfigurations());
    if (!configurations.is_object()) return c;

    if (auto* id = gad_objectForKey(configurations, "app_store_product_id", GADValueClass::Number))
        c->productID_ = platform::stringValue(*id);

    if (auto* list = gad_objectForKey(configurations, "swipeable_rectangles", GADValueClass::Array)) {
        for (const auto& entry : *list) {
            if (!entry.is_object()) continue;
            platform::Error error;
            platform::Rect rect = GADRectFromSDKCoreDictionary(entry, &error);
            if (error.code != 0) continue;
            if (!c->rectangles_) c->rectangles_.emplace();
            c->rectangles_->push_back(rect);
        }
    }

    if (auto* metadata = gad_objectForKey(configurations, "swipe_event_creative_metadata", GADValueClass::Dictionary))
        c->metadata_ = *metadata;

    double duration = 0;
    if (auto* d = gad_objectForKey(configurations, "swipe_animation_transition_duration", GADValueClass::Number))
        duration = platform::doubleValue(*d);
    // NaN is not above 0 either; an infinite duration would never end.
    c->transitionDuration_ = duration > 0 && std::isfinite(duration) ? duration : kDefaultTransitionDuration;
    return c;
}

} // namespace ruzave
