// The paint model: a deterministic stand-in for layout and painting. Every element is a block: its width
// and height come from its style, its attributes or its picture, a missing width is its container's and
// a missing height its content's. Boxes stack top to bottom; positioned ones (absolute, fixed) sit where
// left/top put them and take no room. Text paints as 16 px lines, 8 px per character. One walk of the
// tree lays the page out; the result is kept until the document changes. A layout a page's script asks
// for counts its steps on the entry's meter (a document at the node cap takes a slow machine past the
// page's time), and one the meter stops is dropped whole, so nothing half laid out is ever kept.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <unordered_map>

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

bool isEmpty(const Rect& r) {
    return !(r.size.width > 0) || !(r.size.height > 0);
}

} // namespace

struct WebPage::Layout {
    // What the model draws, in paint order: boxes in their background colour, images, and text.
    struct Item {
        Rect rect;                   // a box; for text, the rectangle around its lines
        std::optional<Color> color;  // none: a box that only hit testing sees
        std::uint32_t target = 0;    // the element a point inside finds (0: none)
        // Text: its number of characters, `perLine` to a line.
        std::size_t chars = 0;
        std::size_t perLine = 0;

        std::size_t lineCount() const { return perLine == 0 ? 0 : (chars + perLine - 1) / perLine; }
        Rect line(std::size_t i) const {
            std::size_t n = std::min(perLine, chars - i * perLine);
            return Rect(rect.origin.x, rect.origin.y + static_cast<float>(i) * kLineHeight,
                        static_cast<float>(n) * kCharWidth, kLineHeight);
        }
        bool contains(Point p) const {
            if (perLine == 0) return rect.contains(p);
            if (!rect.contains(p)) return false;
            auto i = static_cast<std::size_t>(std::max(0.0f, (p.y - rect.origin.y) / kLineHeight));
            return line(std::min(i, lineCount() - 1)).contains(p);
        }
    };
    std::vector<Item> items;
    // Every element the model draws (and the root element): its box in page coordinates.
    std::unordered_map<std::uint32_t, Rect> boxes;
    float bottom = 0;  // of the lowest box or line
    float flowEnd = 0; // where the body's flow ends
};

struct WebPage::LayoutState {
    Layout& out;
    std::vector<Color> colors;
    DOMWorkLimit* limit = nullptr;
};

void WebPage::layoutNode(const DOMNode& node, LayoutState& state, float x, float width, float& cursorY, int depth) const {
    if (depth > DOMNode::MaxDepth) return;
    // Once stopped, the walk unwinds without more work: what it made is dropped.
    if (!DOMWorkLimit::step(state.limit, 1 + node.data().size() / 64)) return;
    Layout& out = state.out;
    if (node.type() == DOMNode::Type::Text) {
        std::string text = collapseWhiteSpace(node.data());
        if (text.empty()) return;
        float avail = std::max(width, kCharWidth);
        Layout::Item item;
        item.chars = text.size();
        item.perLine = std::max<std::size_t>(1, static_cast<std::size_t>(avail / kCharWidth));
        const float lines = static_cast<float>(item.lineCount());
        item.rect = Rect(x, cursorY, static_cast<float>(std::min(item.chars, item.perLine)) * kCharWidth, lines * kLineHeight);
        item.color = state.colors.back();
        if (auto parent = node.parent(); parent && parent->isElement()) item.target = parent->id();
        out.items.push_back(std::move(item));
        cursorY += lines * kLineHeight;
        out.bottom = std::max(out.bottom, cursorY);
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
    const bool image = tag == "img";
    auto natural = image ? imageSize(node.id()) : std::nullopt;
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
    // A box with both sizes is what a point finds (text finds the element around it).
    const bool sized = w >= 0 && h >= 0;
    // An image without a picture has no size of its own.
    if (image && w < 0) w = 0;
    if (image && h < 0) h = 0;

    std::string position = node.styleProperty("position");
    const bool placed = position == "absolute" || position == "fixed";
    float left = placed ? length(node.styleProperty("left"), width) : -1;
    float top = placed ? length(node.styleProperty("top"), options_.viewport.height) : -1;
    Rect box(left >= 0 ? left : x, top >= 0 ? top : cursorY, w >= 0 ? w : width, std::max(h, 0.0f));

    // The background goes under the content, though an unsized box knows its height only after it.
    std::size_t background = out.items.size();
    std::optional<Color> bg;
    if (sized || (tag != "body" && tag != "html")) bg = backgroundOf(node);  // those two fill the page
    if (bg || sized) out.items.push_back(Layout::Item{box, bg, sized ? node.id() : 0});
    // Images paint as an opaque mid-grey box: the model counts pixels, not picture content.
    if (natural) out.items.push_back(Layout::Item{box, Color::rgba(0.5f, 0.5f, 0.5f, 1)});

    float inner = box.origin.y;
    for (const auto& c : node.children()) layoutNode(*c, state, box.origin.x, box.size.width, inner, depth + 1);
    if (h < 0) {
        box.size.height = inner - box.origin.y;
        if (bg) out.items[background].rect = box;
    }
    out.boxes[node.id()] = box;
    if (!placed) cursorY = box.origin.y + box.size.height;
    out.bottom = std::max(out.bottom, box.origin.y + box.size.height);
    state.colors.pop_back();
}

const WebPage::Layout& WebPage::layout() const {
    return *layoutWithin(nullptr);
}

const WebPage::Layout* WebPage::layoutWithin(DOMWorkLimit* limit) const {
    if (layout_ && layoutGeneration_ == documentGeneration_) return layout_.get();
    auto fresh = std::make_shared<Layout>();
    if (auto body = document_->body()) {
        LayoutState state{*fresh, {Color::black()}, limit};
        float cursor = 0;
        layoutNode(*body, state, 0, options_.viewport.width, cursor, 0);
        // The kept layout (of an earlier state) stays as it was: the next ask starts again.
        if (limit != nullptr && limit->stopped()) return nullptr;
        fresh->flowEnd = cursor;
    }
    // The root element spans the page's width and its content.
    if (auto html = document_->documentElement())
        fresh->boxes[html->id()] = Rect(0, 0, options_.viewport.width, fresh->flowEnd);
    layout_ = std::move(fresh);
    layoutGeneration_ = documentGeneration_;
    return layout_.get();
}

std::optional<Rect> WebPage::boxOf(const DOMNode& element, DOMWorkLimit* limit) const {
    const Layout* made = layoutWithin(limit);
    if (made == nullptr) return std::nullopt;
    const auto& boxes = made->boxes;
    auto it = boxes.find(element.id());
    if (it == boxes.end()) return std::nullopt;
    return it->second;
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
    for (const auto& item : layout().items) {
        if (!item.color) continue;
        if (item.perLine == 0) {
            if (!isEmpty(item.rect)) fill(item.rect, *item.color);
            continue;
        }
        for (std::size_t i = 0, n = item.lineCount(); i < n; ++i) fill(item.line(i), *item.color);
    }
}

std::shared_ptr<DOMNode> WebPage::elementAt(Point pagePoint) const {
    auto body = document_->body();
    if (!body) return nullptr;
    // The last one painted there is the topmost.
    std::uint32_t hit = 0;
    for (const auto& item : layout().items)
        if (item.target != 0 && item.contains(pagePoint)) hit = item.target;
    auto node = hit != 0 ? document_->nodeById(hit) : nullptr;
    return node ? node : body;
}

Size WebPage::contentSize() const {
    const Layout& l = layout();
    return Size{options_.viewport.width, std::max(options_.viewport.height, std::max(l.bottom, l.flowEnd))};
}

} // namespace platform
