#include "ads/core/util/GADRectConversions.h"

#include <cmath>
#include <limits>

#include "ads/core/signals/GADDevice.h"
#include "ads/core/util/GADObjectValidation.h"

namespace ruzave {
namespace {

// A double as a 32-bit float, the way the hardware narrows: beyond the float range it is infinite.
// (A plain cast of such a value is undefined.)
float narrowed(double v) {
    constexpr double kMax = std::numeric_limits<float>::max();
    if (std::isnan(v)) return std::numeric_limits<float>::quiet_NaN();
    if (v > kMax) return std::numeric_limits<float>::infinity();
    if (v < -kMax) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(v);
}

} // namespace

platform::Value GADDictionaryFromRect(const platform::Rect& rect) {
    const platform::Rect r = rect.standardized();
    return platform::Value{{"x", r.origin.x}, {"y", r.origin.y}, {"w", r.size.width}, {"h", r.size.height}};
}

platform::Value GADSDKCoreDictionaryFromRect(const platform::Rect& rect) {
    return platform::Value{
        {"x", rect.origin.x}, {"y", rect.origin.y}, {"width", rect.size.width}, {"height", rect.size.height}};
}

platform::Rect GADRectFromSDKCoreDictionary(const platform::Value& dictionary, platform::Error* error) {
    const char* keys[4] = {"x", "y", "width", "height"};
    float values[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) {
        // A JSON true or false reads as 1 or 0, as the platform reads numbers.
        const platform::Value* v = gad_objectForKey(dictionary, keys[i], GADValueClass::Number);
        if (v == nullptr) {
            if (error != nullptr) {
                *error = platform::Error(kGADRectConversionErrorDomain, 1,
                                         "Invalid SDK Core rectangle " + platform::toJSON(dictionary) + ".");
                error->userInfo["NSLocalizedDescription"] = error->description;
            }
            return platform::Rect::zero();
        }
        values[i] = narrowed(platform::doubleValue(*v));
    }
    return platform::Rect(values[0], values[1], values[2], values[3]);
}

platform::Rect GADInterfaceRectFromScreenRect(const platform::Rect& rect) {
    auto device = GADDevice::sharedInstance();
    if (device->isOSAtLeastMajor(8, 0, 0)) return rect;
    return GADRectForInterfaceOrientation(rect, device->applicationStatusBarOrientation(),
                                          device->mainScreenBounds());
}

platform::Rect GADRectForInterfaceOrientation(const platform::Rect& r, int orientation,
                                              const platform::Rect& s) {
    if (GADDevice::sharedInstance()->isOSAtLeastMajor(8, 0, 0)) return r;
    const float sw = s.size.width;
    const float sh = s.size.height;
    switch (orientation) {
    case 2: return platform::Rect(sw - r.maxX(), sh - r.maxY(), r.size.width, r.size.height);
    case 3: return platform::Rect(r.minY(), sw - r.maxX(), r.size.height, r.size.width);
    case 4: return platform::Rect(sh - r.maxY(), r.minX(), r.size.height, r.size.width);
    default: return r;
    }
}

} // namespace ruzave
