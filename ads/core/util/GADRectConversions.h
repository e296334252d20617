#pragma once
// Rectangles to and from the dictionaries of request parameters ("x", "y", "w", "h") and of the SDK
// core page and creatives ("x", "y", "width", "height"), and screen-to-interface conversion.
// The dictionary functions: any thread; the interface conversions: main thread.
#include "platform/base/Error.h"
#include "platform/base/Value.h"
#include "platform/ui/Geometry.h"

namespace ruzave {

inline constexpr const char* kGADRectConversionErrorDomain = "cg_rect_conversion";

// Standardised, short keys.
platform::Value GADDictionaryFromRect(const platform::Rect& rect);
// As given, long keys.
platform::Value GADSDKCoreDictionaryFromRect(const platform::Rect& rect);
// The zero rectangle and error code 1 unless all four long keys hold numbers.
platform::Rect GADRectFromSDKCoreDictionary(const platform::Value& dictionary, platform::Error* error = nullptr);
// Unchanged from OS 8 on; before, turned for the status-bar orientation and the main screen bounds.
platform::Rect GADInterfaceRectFromScreenRect(const platform::Rect& rect);
// Portrait-fixed screen coordinates to interface coordinates (unchanged from OS 8 on).
platform::Rect GADRectForInterfaceOrientation(const platform::Rect& rect, int orientation,
                                              const platform::Rect& screenBounds);

} // namespace ruzave
