#pragma once
// A colour: RGBA components in 0...1 (not premultiplied), in an RGB, monochrome or pattern colour space.
// Plain value: any thread.
#include <cstdint>
#include <memory>
#include <vector>

namespace platform {

class Image;

enum class ColorSpaceModel { Unknown = -1, Monochrome = 0, RGB = 1, Pattern = 6 };

class Color {
public:
    Color() = default; // clear
    static Color rgba(float red, float green, float blue, float alpha = 1.0f);
    static Color white(float white, float alpha = 1.0f); // monochrome space
    static Color pattern(std::shared_ptr<const Image> image);

    static Color clear() { return white(0, 0); }
    static Color black() { return white(0, 1); }
    static Color whiteColor() { return white(1, 1); }
    static Color gray() { return white(0.5f, 1); }
    static Color red() { return rgba(1, 0, 0); }
    static Color green() { return rgba(0, 1, 0); }
    static Color blue() { return rgba(0, 0, 1); }

    float r() const { return r_; }
    float g() const { return g_; }
    float b() const { return b_; }
    float alpha() const { return a_; }
    Color withAlpha(float alpha) const;

    ColorSpaceModel colorSpaceModel() const { return model_; }
    // The components of its space, alpha last: {white, alpha} for monochrome, {r, g, b, alpha} for RGB,
    // {alpha} for a pattern.
    std::vector<float> components() const;
    std::size_t numberOfComponents() const { return components().size(); }
    const std::shared_ptr<const Image>& patternImage() const { return pattern_; }

    // Premultiplied RGBA8 packed as 0xRRGGBBAA (patterns paint as their alpha only, in mid grey).
    std::uint32_t premultipliedRGBA8() const;

    // Same components after 8-bit quantisation (and the same space).
    bool operator==(const Color& other) const;

private:
    float r_ = 0, g_ = 0, b_ = 0, a_ = 0;
    ColorSpaceModel model_ = ColorSpaceModel::Monochrome;
    std::shared_ptr<const Image> pattern_;
};

} // namespace platform
