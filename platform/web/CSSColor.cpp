#include "platform/web/CSSColor.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

namespace platform {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// One rgb() component: an integer 0-255 or a percentage, clamped.
std::optional<float> component(const std::string& text, bool alpha) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str()) return std::nullopt;
    std::string rest(end);
    if (rest == "%") v = v / 100.0 * (alpha ? 1.0 : 255.0);
    else if (!rest.empty()) return std::nullopt;
    if (!(v == v)) return std::nullopt;  // NaN
    double max = alpha ? 1.0 : 255.0;
    v = std::clamp(v, 0.0, max);
    return static_cast<float>(alpha ? v : v / 255.0);
}

} // namespace

std::optional<Color> CSSColor::parse(std::string_view raw) {
    std::string s;
    for (char c : raw)
        if (!std::isspace(static_cast<unsigned char>(c))) s += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string important = "!important";
    if (s.size() >= important.size() && s.compare(s.size() - important.size(), important.size(), important) == 0)
        s.resize(s.size() - important.size());
    if (s.empty()) return std::nullopt;
    if (s[0] == '#') {
        std::vector<int> d;
        for (std::size_t i = 1; i < s.size(); ++i) {
            int h = hexDigit(s[i]);
            if (h < 0) return std::nullopt;
            d.push_back(h);
        }
        if (d.size() == 3) return Color::rgba(d[0] * 17 / 255.f, d[1] * 17 / 255.f, d[2] * 17 / 255.f);
        if (d.size() == 6)
            return Color::rgba((d[0] * 16 + d[1]) / 255.f, (d[2] * 16 + d[3]) / 255.f, (d[4] * 16 + d[5]) / 255.f);
        return std::nullopt;
    }
    bool isRgba = s.rfind("rgba(", 0) == 0;
    if (isRgba || s.rfind("rgb(", 0) == 0) {
        if (s.back() != ')') return std::nullopt;
        std::string inner = s.substr(isRgba ? 5 : 4, s.size() - (isRgba ? 6 : 5));
        std::vector<std::string> parts;
        std::size_t start = 0;
        while (true) {
            std::size_t comma = inner.find(',', start);
            parts.push_back(inner.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        if (parts.size() != (isRgba ? 4u : 3u)) return std::nullopt;
        auto r = component(parts[0], false), g = component(parts[1], false), b = component(parts[2], false);
        auto a = isRgba ? component(parts[3], true) : std::optional<float>(1.0f);
        if (!r || !g || !b || !a) return std::nullopt;
        return Color::rgba(*r, *g, *b, *a);
    }
    struct Named {
        const char* name;
        unsigned rgb;
    };
    static const Named kNames[] = {{"black", 0x000000}, {"silver", 0xc0c0c0}, {"gray", 0x808080},
                                   {"grey", 0x808080},  {"white", 0xffffff},  {"maroon", 0x800000},
                                   {"red", 0xff0000},   {"purple", 0x800080}, {"fuchsia", 0xff00ff},
                                   {"green", 0x008000}, {"lime", 0x00ff00},   {"olive", 0x808000},
                                   {"yellow", 0xffff00}, {"navy", 0x000080},  {"blue", 0x0000ff},
                                   {"teal", 0x008080},  {"aqua", 0x00ffff}};
    if (s == "transparent") return Color::rgba(0, 0, 0, 0);
    for (const auto& n : kNames)
        if (s == n.name)
            return Color::rgba(((n.rgb >> 16) & 0xff) / 255.f, ((n.rgb >> 8) & 0xff) / 255.f, (n.rgb & 0xff) / 255.f);
    return std::nullopt;
}

} // namespace platform
