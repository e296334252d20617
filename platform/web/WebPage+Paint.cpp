// The paint model: a deterministic stand-in for layout and painting. Element boxes with a size stack
// top to bottom (or sit where style left/top put them); text paints as 16 px lines, 8 px per character.
#include <algorithm>
#include <cctype>
#include <cmath>

#include "platform/base/Strings.h"
#include "platform/ui/Bitmap.h"
#include "platform/web/CSSColor.h"
#include "platform/web/WebPage.h"

namespace platform {

namespace {

constexpr float kLineHeight = 16;
constexpr float kCharWidth = 8;

float length(const std::string& text, float percentBase) {
    if (text.empty()) return -1;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || !std::isfinite(v)) return -1;
    std::string rest(end);
    while (!rest.empty() && std::isspace(static_cast<unsigned char>(rest.back()))) rest.pop_back();
    if (rest == "%") return static_cast<float>(v * percentBase / 100.0);
    if (!rest.empty() && rest != "px") return -1;
    return static_cast<float>(std::clamp(v, 0.0, 100000.0));
}

std::optional<Color> backgroundOf(const DOMNode& el) {
    for (const char* prop : {"background-color", "background"}) {
        std::string v = el.styleProperty(prop);
        if (v.empty()) continue;
        if (auto c = CSSColor::parse(v)) return c;
        // "background: red url(...)": the first word that is a colour.
        std::size_t start = 0;
        while (start < v.size()) {
            std::size_t end = v.find(' ', start);
            if (end == std::string::npos) end = v.size();
            if (auto c = CSSColor::parse(v.substr(start, end - start))) return c;
            start = end + 1;
        }
    }
    if (el.hasAttribute("bgcolor")) return CSSColor::parse(el.attribute("bgcolor"));
    return std::nullopt;
}

} // namespace

struct WebPage::PaintState {
    const Fill* fill;  // null: measure only
    std::vector<Color> colors;
    float bottom = 0;
    // Hit testing: the last element painted at `probe` is the topmost there.
    std::optional<Point> probe;
    const DOMNode* hit = nullptr;
};

void WebPage::paintNode(const DOMNode& node, PaintState& state, float x, float width, float& cursorY, int depth) const {
    if (depth > DOMNode::MaxDepth) return;
    if (node.type() == DOMNode::Type::Text) {
        std::string text = collapseWhiteSpace(node.data());
        if (text.empty()) return;
        float avail = std::max(width, kCharWidth);
        std::size_t perLine = std::max<std::size_t>(1, static_cast<std::size_t>(avail / kCharWidth));
        for (std::size_t i = 0; i < text.size(); i += perLine) {
            std::size_t n = std::min(perLine, text.size() - i);
            Rect line(x, cursorY, static_cast<float>(n) * kCharWidth, kLineHeight);
            if (state.fill != nullptr) (*state.fill)(line, state.colors.back());
            if (state.probe && line.contains(*state.probe)) {
                if (auto parent = node.parent(); parent && parent->isElement()) state.hit = parent.get();
            }
            cursorY += kLineHeight;
        }
        state.bottom = std::max(state.bottom, cursorY);
        return;
    }
    if (!node.isElement()) return;
    const std::string& tag = node.tagName();
    if (tag == "head" || tag == "script" || tag == "style" || tag == "title" || tag == "template" ||
        tag == "noscript" || node.hasAttribute("hidden"))
        return;
    if (node.styleProperty("display") == "none" || node.styleProperty("visibility") == "hidden") return;

    std::string colorText = node.styleProperty("color");
    if (colorText.empty() && tag == "font") colorText = node.attribute("color");
    auto color = CSSColor::parse(colorText);
    state.colors.push_back(color ? *color : state.colors.back());

    float w = length(node.styleProperty("width"), width);
    if (w < 0) w = length(node.attribute("width"), width);
    float h = length(node.styleProperty("height"), options_.viewport.height);
    if (h < 0) h = length(node.attribute("height"), options_.viewport.height);
    auto natural = tag == "img" ? imageSize(node.id()) : std::nullopt;
    if (natural) {
        if (w < 0 && h < 0) {
            w = natural->width;
            h = natural->height;
        } else if (w < 0) {
            w = natural->height > 0 ? h * natural->width / natural->height : 0;
        } else if (h < 0) {
            h = natural->width > 0 ? w * natural->height / natural->width : 0;
        }
    }
    if (w >= 0 && h >= 0) {
        std::string position = node.styleProperty("position");
        bool placed = position == "absolute" || position == "fixed";
        float left = length(node.styleProperty("left"), width);
        float top = length(node.styleProperty("top"), options_.viewport.height);
        float bx = placed && left >= 0 ? left : x;
        float by = placed && top >= 0 ? top : cursorY;
        Rect box(bx, by, w, h);
        if (state.probe && box.contains(*state.probe)) state.hit = &node;
        if (state.fill != nullptr) {
            if (auto bg = backgroundOf(node)) (*state.fill)(box, *bg);
            // Images paint as an opaque mid-grey box: the model counts pixels, not picture content.
            if (natural) (*state.fill)(box, Color::rgba(0.5f, 0.5f, 0.5f, 1));
        }
        float inner = by;
        for (const auto& c : node.children()) paintNode(*c, state, bx, w, inner, depth + 1);
        if (!placed) cursorY = by + h;
        state.bottom = std::max(state.bottom, by + h);
    } else {
        if (state.fill != nullptr && tag != "body" && tag != "html") {
            // A box without a size but with a colour paints behind its own lines.
            if (auto bg = backgroundOf(node)) {
                float measure = cursorY;
                PaintState probe{nullptr, state.colors, 0, std::nullopt, nullptr};
                for (const auto& c : node.children()) paintNode(*c, probe, x, width, measure, depth + 1);
                if (measure > cursorY) (*state.fill)(Rect(x, cursorY, width, measure - cursorY), *bg);
            }
        }
        for (const auto& c : node.children()) paintNode(*c, state, x, width, cursorY, depth + 1);
    }
    state.colors.pop_back();
}

void WebPage::render(Bitmap& bitmap) const {
    Fill fill = [&bitmap](const Rect& rect, const Color& color) { bitmap.fillRect(rect, color); };
    paint(fill, Rect(0, 0, static_cast<float>(bitmap.width()), static_cast<float>(bitmap.height())));
}

void WebPage::paint(const Fill& fill, const Rect& area) const {
    auto body = document_->body();
    if (!body || !fill) return;
    if (auto bg = backgroundOf(*body)) {
        fill(area, *bg);
    } else if (auto html = document_->documentElement()) {
        if (auto bg = backgroundOf(*html)) fill(area, *bg);
    }
    PaintState state{&fill, {Color::black()}, 0, std::nullopt, nullptr};
    float cursor = 0;
    paintNode(*body, state, 0, options_.viewport.width, cursor, 0);
}

std::shared_ptr<DOMNode> WebPage::elementAt(Point pagePoint) const {
    auto body = document_->body();
    if (!body) return nullptr;
    PaintState state{nullptr, {Color::black()}, 0, pagePoint, nullptr};
    float cursor = 0;
    paintNode(*body, state, 0, options_.viewport.width, cursor, 0);
    auto hit = state.hit != nullptr ? document_->nodeById(state.hit->id()) : nullptr;
    return hit ? hit : body;
}

Size WebPage::contentSize() const {
    auto body = document_->body();
    PaintState state{nullptr, {Color::black()}, 0, std::nullopt, nullptr};
    float cursor = 0;
    if (body) paintNode(*body, state, 0, options_.viewport.width, cursor, 0);
    return Size{options_.viewport.width, std::max(options_.viewport.height, std::max(state.bottom, cursor))};
}

} // namespace platform
