#include "ads/core/public/GADSearchRequest.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace ruzave {
namespace {

// A component in 0...1 as 0...255, cut toward zero; out-of-range and non-finite values are clamped.
unsigned byteOf(float component) {
    if (!std::isfinite(component)) return 0;
    float scaled = component * 255.0f;
    if (scaled <= 0) return 0;
    if (scaled >= 255) return 255;
    return static_cast<unsigned>(scaled);
}

const char* borderTypeName(std::uint32_t type) {
    switch (type) {
    case GADSearchRequest::kBorderTypeNone: return "none";
    case GADSearchRequest::kBorderTypeDashed: return "dashed";
    case GADSearchRequest::kBorderTypeDotted: return "dotted";
    case GADSearchRequest::kBorderTypeSolid: return "solid";
    default: return nullptr;
    }
}

const char* callButtonColorName(std::uint32_t color) {
    switch (color) {
    case GADSearchRequest::kCallButtonColorLight: return "light";
    case GADSearchRequest::kCallButtonColorMedium: return "medium";
    case GADSearchRequest::kCallButtonColorDark: return "dark";
    default: return nullptr;
    }
}

} // namespace

std::shared_ptr<GADSearchRequest> GADSearchRequest::request() {
    willCreateRequest();
    return std::shared_ptr<GADSearchRequest>(new GADSearchRequest());
}

std::shared_ptr<GADRequest> GADSearchRequest::copy() const {
    auto c = request();
    copyInto(*c);
    c->setQuery(query_);
    c->setBackgroundColor(backgroundColor_);
    c->setGradientFrom(gradientFrom_);
    c->setGradientTo(gradientTo_);
    c->setHeaderColor(headerColor_);
    c->setDescriptionTextColor(descriptionTextColor_);
    c->setAnchorTextColor(anchorTextColor_);
    c->setFontFamily(fontFamily_);
    c->setHeaderTextSize(headerTextSize_);
    c->setBorderColor(borderColor_);
    // Copied as they are, so a copy of a request that never chose still says nothing of them.
    c->borderType_ = borderType_;
    c->setBorderThickness(borderThickness_);
    c->setCustomChannels(customChannels_);
    c->callButtonColor_ = callButtonColor_;
    return c;
}

std::string GADSearchRequest::colorText(const platform::Color& color) {
    float red = 0, green = 0, blue = 0;
    const std::vector<float> components = color.components();
    switch (color.colorSpaceModel()) {
    case platform::ColorSpaceModel::RGB:
        if (components.size() >= 3) {
            red = components[0];
            green = components[1];
            blue = components[2];
        }
        break;
    case platform::ColorSpaceModel::Monochrome:
        if (!components.empty()) red = green = blue = components[0];
        break;
    default:
        break;
    }
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", byteOf(red), byteOf(green), byteOf(blue));
    return text;
}

void GADSearchRequest::setBackgroundSolid(const Color& color) {
    backgroundColor_ = color;
    gradientFrom_.reset();
    gradientTo_.reset();
}

void GADSearchRequest::setBackgroundGradientFrom(const Color& from, const Color& to) {
    if (!from || !to) return;
    backgroundColor_.reset();
    gradientFrom_ = from;
    gradientTo_ = to;
}

platform::Value GADSearchRequest::parameters() const {
    platform::Value search = platform::Value::object();
    auto putColor = [&search](const char* key, const Color& color) {
        if (color) search[key] = colorText(*color);
    };
    if (query_) search["q"] = *query_;
    putColor("bgcolor", backgroundColor_);
    putColor("gradientfrom", gradientFrom_);
    putColor("gradientto", gradientTo_);
    putColor("hcolor", headerColor_);
    putColor("dcolor", descriptionTextColor_);
    putColor("acolor", anchorTextColor_);
    if (fontFamily_) search["font"] = *fontFamily_;
    search["headersize"] = std::to_string(headerTextSize_);
    putColor("bcolor", borderColor_);
    if (borderType_) {
        if (const char* name = borderTypeName(*borderType_)) search["btype"] = name;
    }
    search["bthick"] = std::to_string(borderThickness_);
    if (customChannels_) search["channel"] = *customChannels_;
    if (callButtonColor_) {
        if (const char* name = callButtonColorName(*callButtonColor_)) search["callbuttoncolor"] = name;
    }

    platform::Value p = GADRequest::parameters();
    p["search"] = std::move(search);
    return p;
}

} // namespace ruzave
