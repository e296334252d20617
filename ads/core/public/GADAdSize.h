#pragma once
// Ad sizes: fixed point sizes or rules that follow the screen, and the free functions over them.
// Plain values; the functions that consult the screen or key window run on the main thread, the
// rest on any thread.
#include <cstdint>
#include <string>

#include "platform/base/Error.h"
#include "platform/base/Value.h"
#include "platform/ui/Geometry.h"

namespace ruzave {

struct GADAdSize {
    platform::Size size;
    std::uint32_t flags = 0;
};

// Flag values.
inline constexpr std::uint32_t kGADAdSizeFlagCustom = 1;
inline constexpr std::uint32_t kGADAdSizeFlagFullWidth = 2;
inline constexpr std::uint32_t kGADAdSizeFlagSkinny = 4;
inline constexpr std::uint32_t kGADAdSizeFlagLandscape = 8;
inline constexpr std::uint32_t kGADAdSizeFlagSmart = 16;
inline constexpr std::uint32_t kGADAdSizeFlagFluid = 32;

inline constexpr GADAdSize kGADAdSizeInvalid{{-1, -1}, 0};
inline constexpr GADAdSize kGADAdSizeBanner{{320, 50}, 0};
inline constexpr GADAdSize kGADAdSizeLargeBanner{{320, 100}, 0};
inline constexpr GADAdSize kGADAdSizeMediumRectangle{{300, 250}, 0};
inline constexpr GADAdSize kGADAdSizeFullBanner{{468, 60}, 0};
inline constexpr GADAdSize kGADAdSizeLeaderboard{{728, 90}, 0};
inline constexpr GADAdSize kGADAdSizeSkyscraper{{120, 600}, 0};
inline constexpr GADAdSize kGADAdSizeSmartBannerPortrait{{0, 0}, 18};
inline constexpr GADAdSize kGADAdSizeSmartBannerLandscape{{0, 0}, 26};
inline constexpr GADAdSize kGADAdSizeSmartBannerSkinnyPortrait{{0, 0}, 22};
inline constexpr GADAdSize kGADAdSizeSmartBannerSkinnyLandscape{{0, 0}, 30};
inline constexpr GADAdSize kGADAdSizeFluid{{0, 0}, 32};

// The type tag that NSValueFromGADAdSize writes and GADAdSizeFromNSValue demands.
inline constexpr const char* kGADAdSizeValueType = "{GADAdSize={CGSize=ff}I}";

// Device idioms as the platform numbers them.
inline constexpr int kGADUserInterfaceIdiomPhone = 0;
inline constexpr int kGADUserInterfaceIdiomPad = 1;

GADAdSize GADAdSizeFromCGSize(platform::Size size);
bool GADAdSizeEqualToSize(const GADAdSize& a, const GADAdSize& b);
platform::Size CGSizeFromGADAdSize(const GADAdSize& size);
bool GADAdSizeIsFluid(const GADAdSize& size);
bool GADAdSizeIsFullWidth(const GADAdSize& size);
bool GADAdSizeIsSmartBanner(const GADAdSize& size);
platform::Size GADFullWidthAdSizeForIdiom(const GADAdSize& size, int idiom, float portraitWidth,
                                          float portraitHeight);
bool GADAdSizeIsValid(const GADAdSize& size, platform::Error* error = nullptr);
bool GADAdSizeIsStandardSize(const GADAdSize& size);
std::string NSStringFromGADAdSize(const GADAdSize& size);
// A boxed record: {"type": kGADAdSizeValueType, "width", "height", "flags"}.
platform::Value NSValueFromGADAdSize(const GADAdSize& size);
// kGADAdSizeInvalid unless `value` is a box of exactly that type with numeric fields.
GADAdSize GADAdSizeFromNSValue(const platform::Value& value);
GADAdSize GADFluidAdSizeWithSize(platform::Size size);
// "320x50" -> {320, 50}; malformed text gives the zero size.
platform::Size CGSizeFromGADSizeString(std::string_view text);

// "{%g, %g}", the platform's size text.
std::string NSStringFromCGSize(platform::Size size);

} // namespace ruzave
