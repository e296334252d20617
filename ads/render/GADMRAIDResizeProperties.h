#pragma once
// The arguments of an MRAID resize: size and offset in points, where the close area sits, and whether
// the ad may leave the screen; plus the geometry of the 50 by 50 close area. Values only; any thread.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Value.h"
#include "platform/ui/Geometry.h"

namespace ruzave {

class GADMRAIDResizeProperties {
  public:
    static constexpr float kCloseAreaSide = 50;
    // Refused sizes and offsets: a creative's numbers beyond this are not a screen.
    static constexpr float kMaximumDimension = 100000;

    // nullptr unless "width", "height", "offsetX", "offsetY", "customClosePosition" and
    // "allowOffscreen" are all present, and for sizes or offsets that are not finite numbers, negative
    // sizes, or numbers too large for a screen.
    static std::shared_ptr<GADMRAIDResizeProperties> MRAIDResizePropertiesWithDictionary(const platform::Value& params);
    static std::shared_ptr<GADMRAIDResizeProperties> initWithDictionary(const platform::Value& params) {
        return MRAIDResizePropertiesWithDictionary(params);
    }
    static std::shared_ptr<GADMRAIDResizeProperties> init(platform::Size size, platform::Point offset,
                                                          std::int32_t closePosition, bool allowOffscreen);

    // The close position code of a word ("top-right" 0 ... "bottom-left" 6); any other word gives 0.
    static std::int32_t closePositionFromString(const std::string& word);
    static platform::Rect closeButtonRectForPosition(std::int32_t position, platform::Rect contentFrame);
    static unsigned autoresizingMaskForClosePosition(std::int32_t position);
    static bool isContentFrameValid(platform::Rect frame, platform::Rect bounds, bool allowOffscreen,
                                    std::int32_t closeButtonPosition);

    platform::Size size() const { return size_; }
    platform::Point offset() const { return offset_; }
    std::int32_t customClosePosition() const { return customClosePosition_; }
    bool allowOffscreen() const { return allowOffscreen_; }
    std::string description() const;

  private:
    GADMRAIDResizeProperties() = default;
    platform::Size size_{0, 0};
    platform::Point offset_{0, 0};
    std::int32_t customClosePosition_ = 0;
    bool allowOffscreen_ = false;
};

} // namespace ruzave
