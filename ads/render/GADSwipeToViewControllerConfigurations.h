#pragma once
// The swipe-to-store settings that come with an ad: where on the ad a swipe may start, which way the
// store page travels, whether a picture of the ad moves along, how long the transition takes, and the
// creative's data handed back with the swipe events. Main thread.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Value.h"
#include "platform/ui/Geometry.h"

namespace ruzave {

// Which way the store page travels.
enum GADSwipeDirection : std::int32_t {
    GADSwipeDirectionNone = 0,
    GADSwipeDirectionTopToBottom = 1, // the page comes down from above
    GADSwipeDirectionBottomToTop = 2, // the page comes up from below
};

class GADSwipeToViewControllerConfigurations {
  public:
    static constexpr double kDefaultTransitionDuration = 1.0;

    // nullptr below OS 7.0, where custom transitions are missing. Values of the wrong type count as
    // missing; a dictionary that is no object reads as empty.
    static std::shared_ptr<GADSwipeToViewControllerConfigurations>
    initWithSwipeConfigurations(const platform::Value& configurations);

    // The decimal text of "app_store_product_id", taken only when it is a number.
    const std::optional<std::string>& swipeableInAppStoreProductID() const { return productID_; }
    // nullopt when no entry was a valid rectangle.
    const std::optional<std::vector<platform::Rect>>& swipeableRectangles() const { return rectangles_; }
    std::int32_t swipeDirection() const { return swipeDirection_; }
    void setSwipeDirection(std::int32_t direction) { swipeDirection_ = direction; }
    bool isAdDraggable() const { return adDraggable_; }
    void setAdDraggable(bool draggable) { adDraggable_ = draggable; }
    double swipeAnimationTransitionDuration() const { return transitionDuration_; }
    const std::optional<platform::Value>& swipeEventCreativeMetadata() const { return metadata_; }

  private:
    GADSwipeToViewControllerConfigurations() = default;

    std::optional<std::string> productID_;
    std::optional<std::vector<platform::Rect>> rectangles_;
    std::int32_t swipeDirection_ = GADSwipeDirectionNone;
    bool adDraggable_ = false;
    double transitionDuration_ = kDefaultTransitionDuration;
    std::optional<platform::Value> metadata_;
};

} // namespace ruzave
