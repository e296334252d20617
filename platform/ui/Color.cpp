#include "platform/ui/Color.h"

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

float unit(float v) {
    if (!std::isfinite(v)) return 0;
    return std::clamp(v, 0.0f, 1.0f);
}

std::uint32_t byte(float v) { return static_cast<std::uint32_t>(std::lround(unit(v) * 255.0f)); }

} // namespace

Color Color::rgba(float red, float green, float blue, float alpha) {
    Color c;
    c.r_ = unit(red);
    c.g_ = unit(green);
    c.b_ = unit(blue);
    c.a_ = unit(alpha);
    c.model_ = ColorSpaceModel::RGB;
    return c;
}

Color Color::white(float white, float alpha) {
    Color c;
    c.r_ = c.g_ = c.b_ = unit(white);
    c.a_ = unit(alpha);
    c.model_ = ColorSpaceModel::Monochrome;
    return c;
}

Color Color::pattern(std::shared_ptr<const Image> image) {
    Color c;
    c.r_ = c.g_ = c.b_ = 0.5f;
    c.a_ = 1.0f;
    c.model_ = ColorSpaceModel::Pattern;
    c.pattern_ = std::move(image);
    return c;
}

Color Color::withAlpha(float alpha) const {
    Color c = *this;
    c.a_ = unit(alpha);
    return c;
}

std::vector<float> Color::components() const {
    switch (model_) {
    case ColorSpaceModel::Monochrome:
        return {r_, a_};
    case ColorSpaceModel::Pattern:
        return {a_};
    default:
        return {r_, g_, b_, a_};
    }
}

std::uint32_t Color::premultipliedRGBA8() const {
    return byte(r_ * a_) << 24 | byte(g_ * a_) << 16 | byte(b_ * a_) << 8 | byte(a_);
}

bool Color::operator==(const Color& o) const {
    return model_ == o.model_ && byte(r_) == byte(o.r_) && byte(g_) == byte(o.g_) && byte(b_) == byte(o.b_) &&
           byte(a_) == byte(o.a_) && pattern_ == o.pattern_;
}

} // namespace platform
