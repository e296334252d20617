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

void WebPage::paintNode(const DOMNode& top, PaintState& state, float x, float width, float& cursorY, int depth) const {
    // Where the content of each element under way goes, the innermost last: trees script builds may be
    // far deeper than the walk goes, and the walk does not recurse.
    struct Box {
        float x;
        float width;
        float cursor;
        bool sized;
        bool placed;  // sized, and out of the flow
        float bottom;  // sized: its bottom edge
    };
    std::vector<Box> boxes{Box{x, width, cursorY, false, false, 0}};
    auto enter = [&](const DOMNode& node, int nodeDepth) {
        Box& at = boxes.back();
        if (node.type() == DOMNode::Type::Text) {
            std::string text = collapseWhiteSpace(node.data());
            if (text.empty()) return false;
            float avail = std::max(at.width, kCharWidth);
            std::size_t perLine = std::max<std::size_t>(1, static_cast<std::size_t>(avail / kCharWidth));
            for (std::size_t i = 0; i < text.size(); i += perLine) {
                std::size_t n = std::min(perLine, text.size() - i);
                Rect line(at.x, at.cursor, static_cast<float>(n) * kCharWidth, kLineHeight);
                if (state.fill != nullptr) (*state.fill)(line, state.colors.back());
                if (state.probe && line.contains(*state.probe)) {
                    if (auto parent = node.parent(); parent && parent->isElement()) state.hit = parent.get();
                }
                at.cursor += kLineHeight;
            }
            state.bottom = std::max(state.bottom, at.cursor);
            return false;
        }
        if (!node.isElement()) return false;
        const std::string& tag = node.tagName();
        if (tag == "head" || tag == "script" || tag == "style" || tag == "title" || tag == "template" ||
            tag == "noscript" || node.hasAttribute("hidden"))
            return false;
        if (node.styleProperty("display") == "none" || node.styleProperty("visibility") == "hidden") return false;

        std::string colorText = node.styleProperty("color");
        if (colorText.empty() && tag == "font") colorText = node.attribute("color");
        auto color = CSSColor::parse(colorText);
        state.colors.push_back(color ? *color : state.colors.back());

        float w = length(node.styleProperty("width"), at.width);
        if (w < 0) w = length(node.attribute("width"), at.width);
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
            float left = length(node.styleProperty("left"), at.width);
            float top = length(node.styleProperty("top"), options_.viewport.height);
            float bx = placed && left >= 0 ? left : at.x;
            float by = placed && top >= 0 ? top : at.cursor;
            Rect box(bx, by, w, h);
            if (state.probe && box.contains(*state.probe)) state.hit = &node;
            if (state.fill != nullptr) {
                if (auto bg = backgroundOf(node)) (*state.fill)(box, *bg);
                // Images paint as an opaque mid-grey box: the model counts pixels, not picture content.
                if (natural) (*state.fill)(box, Color::rgba(0.5f, 0.5f, 0.5f, 1));
            }
            boxes.push_back(Box{bx, w, by, true, placed, by + h});
            return true;
        }
        if (state.fill != nullptr && tag != "body" && tag != "html") {
            // A box without a size but with a colour paints behind its own lines (measured first: the
            // measuring walk paints nothing, so measures nothing in turn).
            if (auto bg = backgroundOf(node)) {
                float measure = at.cursor;
                PaintState probe{nullptr, state.colors, 0, std::nullopt, nullptr};
                for (const auto& c : node.children()) paintNode(*c, probe, at.x, at.width, measure, nodeDepth + 1);
                if (measure > at.cursor) (*state.fill)(Rect(at.x, at.cursor, at.width, measure - at.cursor), *bg);
            }
        }
        boxes.push_back(Box{at.x, at.width, at.cursor, false, false, 0});
        return true;
    };
    auto leave = [&](const DOMNode&) {
        Box done = boxes.back();
        boxes.pop_back();
        Box& at = boxes.back();
        if (done.sized) {
            if (!done.placed) at.cursor = done.bottom;
            state.bottom = std::max(state.bottom, done.bottom);
        } else {
            at.cursor = done.cursor;
        }
        state.colors.pop_back();
    };
    DOMNode::walk(top, depth, enter, leave);
    cursorY = boxes.front().cursor;
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
