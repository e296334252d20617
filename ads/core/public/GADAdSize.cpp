#include "ads/core/public/GADAdSize.h"

#include <array>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

#include "ads/core/public/GADInternalErrorAdditions.h"
#include "ads/core/signals/GADDevice.h"
#include "ads/core/util/GADObjectValidation.h"

namespace ruzave {

namespace {

constexpr std::array<GADAdSize, 7> kSearchable = {kGADAdSizeInvalid,       kGADAdSizeBanner,
                                                  kGADAdSizeLargeBanner,   kGADAdSizeMediumRectangle,
                                                  kGADAdSizeFullBanner,    kGADAdSizeLeaderboard,
                                                  kGADAdSizeSkyscraper};

bool sameSize(const GADAdSize& s, float w, float h) { return s.size.width == w && s.size.height == h; }

std::string format(const char* fmt, auto... args) {
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, args...);
    return buf;
}

platform::Size portraitScreenSize() { return GADDevice::sharedInstance()->standardizedPortraitScreenBounds().size; }

} // namespace

std::string NSStringFromCGSize(platform::Size size) {
    return format("{%g, %g}", static_cast<double>(size.width), static_cast<double>(size.height));
}

GADAdSize GADAdSizeFromCGSize(platform::Size size) {
    for (const auto& s : kSearchable) {
        if (sameSize(s, size.width, size.height)) return s;
    }
    return GADAdSize{size, kGADAdSizeFlagCustom};
}

bool GADAdSizeEqualToSize(const GADAdSize& a, const GADAdSize& b) {
    return a.size.width == b.size.width && a.size.height == b.size.height && a.flags == b.flags;
}

bool GADAdSizeIsFluid(const GADAdSize& size) { return (size.flags & kGADAdSizeFlagFluid) != 0; }
bool GADAdSizeIsFullWidth(const GADAdSize& size) { return (size.flags & kGADAdSizeFlagFullWidth) != 0; }
bool GADAdSizeIsSmartBanner(const GADAdSize& size) { return (size.flags & kGADAdSizeFlagSmart) != 0; }

bool GADAdSizeIsStandardSize(const GADAdSize& size) {
    if (size.flags != 0) return false;
    for (std::size_t i = 1; i < kSearchable.size(); ++i) {
        if (sameSize(kSearchable[i], size.size.width, size.size.height)) return true;
    }
    return false;
}

platform::Size GADFullWidthAdSizeForIdiom(const GADAdSize& size, int idiom, float portraitWidth,
                                          float portraitHeight) {
    if (!GADAdSizeIsFullWidth(size)) return platform::Size::zero();
    const bool landscape = (size.flags & kGADAdSizeFlagLandscape) != 0;
    const float width = landscape ? portraitHeight : portraitWidth;
    if (idiom == kGADUserInterfaceIdiomPhone) return {width, landscape ? 32.0f : 50.0f};
    if (idiom == kGADUserInterfaceIdiomPad) return {width, (size.flags & kGADAdSizeFlagSkinny) ? 66.0f : 90.0f};
    return platform::Size::zero();
}

platform::Size CGSizeFromGADAdSize(const GADAdSize& size) {
    if (GADAdSizeIsStandardSize(size)) return size.size;
    const bool custom = (size.flags & kGADAdSizeFlagCustom) != 0;
    if (!GADAdSizeIsFluid(size)) {
        if (GADAdSizeIsFullWidth(size)) {
            auto device = GADDevice::sharedInstance();
            const platform::Size screen = portraitScreenSize();
            const platform::Size full =
                GADFullWidthAdSizeForIdiom(size, device->userInterfaceIdiom(), screen.width, screen.height);
            if (GADAdSizeIsSmartBanner(size)) return full;
            if (custom) return {full.width, size.size.height};
            return platform::Size::zero();
        }
        return custom ? size.size : platform::Size::zero();
    }
    if (size.size.width == 0 && size.size.height == 0) {
        auto device = GADDevice::sharedInstance();
        const platform::Rect bounds = device->keyWindowBounds();
        const int orientation = device->applicationStatusBarOrientation();
        const bool landscape = orientation == 3 || orientation == 4;
        const float width = (!device->isOSAtLeastMajor(8, 0, 0) && landscape) ? bounds.size.height : bounds.size.width;
        return {width, 1};
    }
    return size.size;
}

bool GADAdSizeIsValid(const GADAdSize& size, platform::Error* error) {
    if ((size.flags & kGADAdSizeFlagCustom) != 0) {
        const platform::Size screen = portraitScreenSize();
        const float longer = std::max(screen.width, screen.height);
        // NaN fails both comparisons and so is never valid.
        if (std::fabs(size.size.width) <= longer && std::fabs(size.size.height) <= longer) return true;
        if (error != nullptr) {
            *error = gad_errorWithCode(GADInternalErrorInvalidArgument,
                                       "Not enough space to show ad with custom size, " +
                                           NSStringFromCGSize(size.size) +
                                           ". Please use a size the fits the current screen bounds of " +
                                           NSStringFromCGSize(screen) + ".");
        }
        return false;
    }
    if (GADAdSizeIsFluid(size)) return true;
    if (GADAdSizeIsStandardSize(size)) return true;
    if (size.size.width == 0 && size.size.height == 0) {
        switch (size.flags) {
        case 22: case 30: case 18: case 26: case 32: return true;
        default: break;
        }
    }
    if (error != nullptr) {
        *error = gad_errorWithCode(GADInternalErrorInvalidArgument,
                                   "Non-standard size, " + NSStringFromGADAdSize(size) +
                                       ". Please create a custom ad size using GADAdSizeFromCGSize.");
    }
    return false;
}

std::string NSStringFromGADAdSize(const GADAdSize& size) {
    // Function-local statics are initialised once, thread-safely.
    static const std::array<std::pair<GADAdSize, const char*>, 12> names = {{
        {kGADAdSizeInvalid, "kGADAdSizeInvalid"},
        {kGADAdSizeBanner, "kGADAdSizeBanner"},
        {kGADAdSizeLargeBanner, "kGADAdSizeLargeBanner"},
        {kGADAdSizeMediumRectangle, "kGADAdSizeMediumRectangle"},
        {kGADAdSizeFullBanner, "kGADAdSizeFullBanner"},
        {kGADAdSizeLeaderboard, "kGADAdSizeLeaderboard"},
        {kGADAdSizeSkyscraper, "kGADAdSizeSkyscraper"},
        {kGADAdSizeSmartBannerPortrait, "kGADAdSizeSmartBannerPortrait"},
        {kGADAdSizeSmartBannerLandscape, "kGADAdSizeSmartBannerLandscape"},
        {kGADAdSizeSmartBannerSkinnyPortrait, "kGADAdSizeSmartBannerSkinnyPortrait"},
        {kGADAdSizeSmartBannerSkinnyLandscape, "kGADAdSizeSmartBannerSkinnyLandscape"},
        {kGADAdSizeFluid, "kGADAdSizeFluid"},
    }};
    for (const auto& [s, name] : names) {
        if (GADAdSizeEqualToSize(s, size)) return name;
    }
    if (GADAdSizeIsFullWidth(size)) {
        return format("Full width GADAdSize with height: %f", static_cast<double>(size.size.height));
    }
    if ((size.flags & kGADAdSizeFlagCustom) != 0) return "Custom GADAdSize: " + NSStringFromCGSize(size.size);
    if (GADAdSizeIsFluid(size)) return "Fluid GADAdSize: " + NSStringFromCGSize(size.size);
    return "GADAdSize: " + NSStringFromCGSize(size.size) + ", " + format("%" PRIx32, size.flags);
}

platform::Value NSValueFromGADAdSize(const GADAdSize& size) {
    platform::Value v = platform::Value::object();
    v["type"] = kGADAdSizeValueType;
    v["width"] = size.size.width;
    v["height"] = size.size.height;
    v["flags"] = size.flags;
    return v;
}

GADAdSize GADAdSizeFromNSValue(const platform::Value& value) {
    const std::string* type = platform::findString(value, "type");
    if (type == nullptr || *type != kGADAdSizeValueType) return kGADAdSizeInvalid;
    // A JSON true or false reads as 1 or 0, as the platform reads numbers.
    const platform::Value* w = gad_objectForKey(value, "width", GADValueClass::Number);
    const platform::Value* h = gad_objectForKey(value, "height", GADValueClass::Number);
    const platform::Value* f = platform::find(value, "flags");
    if (w == nullptr || h == nullptr || f == nullptr || !(f->is_number_unsigned() || f->is_boolean()))
        return kGADAdSizeInvalid;
    // What no 32-bit float or flag word can hold is no boxed size (and narrowing it would be undefined).
    const double width = platform::doubleValue(*w);
    const double height = platform::doubleValue(*h);
    const std::uint64_t flags = f->is_boolean() ? (f->get<bool>() ? 1 : 0) : f->get<std::uint64_t>();
    const auto fits = [](double v) { return std::isfinite(v) && std::fabs(v) <= std::numeric_limits<float>::max(); };
    if (!fits(width) || !fits(height) || flags > std::numeric_limits<std::uint32_t>::max()) return kGADAdSizeInvalid;
    return GADAdSize{{static_cast<float>(width), static_cast<float>(height)}, static_cast<std::uint32_t>(flags)};
}

GADAdSize GADFluidAdSizeWithSize(platform::Size size) { return GADAdSize{size, kGADAdSizeFlagFluid}; }

platform::Size CGSizeFromGADSizeString(std::string_view text) {
    std::string s(text);
    for (char& c : s) {
        if (c == 'x') c = ',';
    }
    return platform::sizeFromString("{" + s + "}");
}

} // namespace ruzave
