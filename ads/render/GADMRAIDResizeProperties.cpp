#include "ads/render/GADMRAIDResizeProperties.h"

#include <array>
#include <cmath>
#include <sstream>

#include "platform/ui/View.h"

namespace ruzave {
namespace {

using platform::AutoresizingFlexibleBottomMargin;
using platform::AutoresizingFlexibleLeftMargin;
using platform::AutoresizingFlexibleRightMargin;
using platform::AutoresizingFlexibleTopMargin;

const std::array<const char*, 7> kPositionWords = {"top-right",    "top-center",    "top-left",   "center",
                                                   "bottom-right", "bottom-center", "bottom-left"};

// A number from the creative, or nullopt when it is no usable number.
std::optional<float> number(const platform::Value& v, bool mayBeNegative) {
    double d = platform::doubleValue(v);
    if (!std::isfinite(d) || std::fabs(d) > GADMRAIDResizeProperties::kMaximumDimension) return std::nullopt;
    if (!mayBeNegative && d < 0) return std::nullopt;
    // Text that is not a number reads as 0; a "NaN" or "abc" is refused rather than taken as 0.
    if (v.is_string()) {
        const auto& s = v.get_ref<const std::string&>();
        std::size_t i = 0;
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n')) ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        if (i >= s.size() || !(std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '.')) return std::nullopt;
    } else if (!v.is_number()) {
        return std::nullopt;
    }
    return static_cast<float>(d);
}

} // namespace

std::shared_ptr<GADMRAIDResizeProperties> GADMRAIDResizeProperties::init(platform::Size size, platform::Point offset,
                                                                         std::int32_t closePosition,
                                                                         bool allowOffscreen) {
    std::shared_ptr<GADMRAIDResizeProperties> p(new GADMRAIDResizeProperties());
    p->size_ = size;
    p->offset_ = offset;
    p->customClosePosition_ = closePosition;
    p->allowOffscreen_ = allowOffscreen;
    return p;
}

std::shared_ptr<GADMRAIDResizeProperties>
GADMRAIDResizeProperties::MRAIDResizePropertiesWithDictionary(const platform::Value& params) {
    if (!params.is_object()) return nullptr;
    for (const char* key : {"width", "height", "offsetX", "offsetY", "customClosePosition", "allowOffscreen"})
        if (!params.contains(key)) return nullptr;
    auto width = number(params["width"], false);
    auto height = number(params["height"], false);
    auto dx = number(params["offsetX"], true);
    auto dy = number(params["offsetY"], true);
    if (!width || !height || !dx || !dy) return nullptr;
    const auto& word = params["customClosePosition"];
    std::int32_t position = word.is_string() ? closePositionFromString(word.get<std::string>()) : 0;
    return init({*width, *height}, {*dx, *dy}, position, platform::boolValue(params["allowOffscreen"]));
}

std::int32_t GADMRAIDResizeProperties::closePositionFromString(const std::string& word) {
    for (std::size_t i = 0; i < kPositionWords.size(); ++i)
        if (word == kPositionWords[i]) return static_cast<std::int32_t>(i);
    return 0;
}

platform::Rect GADMRAIDResizeProperties::closeButtonRectForPosition(std::int32_t position, platform::Rect frame) {
    const float side = kCloseAreaSide, half = side / 2;
    float x = frame.minX(), y = frame.minY();
    switch (position) {
    case 0: x = frame.maxX() - side; break;
    case 1: x = frame.midX() - half; break;
    case 2: break;
    case 3: x = frame.midX() - half; y = frame.midY() - half; break;
    case 4: x = frame.maxX() - side; y = frame.maxY() - side; break;
    case 5: x = frame.midX() - half; y = frame.maxY() - side; break;
    case 6: y = frame.maxY() - side; break;
    default: break;
    }
    return {x, y, side, side};
}

unsigned GADMRAIDResizeProperties::autoresizingMaskForClosePosition(std::int32_t position) {
    switch (position) {
    case 0: return AutoresizingFlexibleLeftMargin | AutoresizingFlexibleBottomMargin;
    case 1: return AutoresizingFlexibleLeftMargin | AutoresizingFlexibleRightMargin | AutoresizingFlexibleBottomMargin;
    case 2: return AutoresizingFlexibleRightMargin | AutoresizingFlexibleBottomMargin;
    case 3:
        return AutoresizingFlexibleLeftMargin | AutoresizingFlexibleRightMargin | AutoresizingFlexibleTopMargin |
               AutoresizingFlexibleBottomMargin;
    case 4: return AutoresizingFlexibleLeftMargin | AutoresizingFlexibleTopMargin;
    case 5: return AutoresizingFlexibleLeftMargin | AutoresizingFlexibleRightMargin | AutoresizingFlexibleTopMargin;
    case 6: return AutoresizingFlexibleRightMargin | AutoresizingFlexibleTopMargin;
    default: return 0;
    }
}

bool GADMRAIDResizeProperties::isContentFrameValid(platform::Rect frame, platform::Rect bounds, bool allowOffscreen,
                                                   std::int32_t closeButtonPosition) {
    platform::Rect inner = allowOffscreen ? closeButtonRectForPosition(closeButtonPosition, frame) : frame;
    if (!inner.isFinite()) return false;
    return inner.intersection(bounds).equals(inner);
}

std::string GADMRAIDResizeProperties::description() const {
    std::ostringstream os;
    os << "<GADMRAIDResizeProperties size: " << platform::stringFromSize(size_)
       << " offset: " << platform::stringFromPoint(offset_) << " customClosePosition: " << customClosePosition_
       << " allowOffscreen: " << (allowOffscreen_ ? "YES" : "NO") << ">";
    return os.str();
}

} // namespace ruzave
