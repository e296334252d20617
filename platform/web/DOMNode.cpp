#include "platform/web/DOMNode.h"

#include <algorithm>
#include <cctype>
#include <unordered_set>

#include "platform/base/Strings.h"

namespace platform {

namespace {

std::string trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

std::string lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

void escapeInto(std::string& out, const std::string& text, bool attribute) {
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += attribute ? "<" : "&lt;"; break;
        case '>': out += attribute ? ">" : "&gt;"; break;
        case '"': out += attribute ? "&quot;" : "\""; break;
        default: out += c;
        }
    }
}

bool isRawTextTag(const std::string& tag) {
    return tag == "script" || tag == "style" || tag == "xmp" || tag == "noscript";
}

void serialize(const DOMNode& top, std::string& out, int depth, DOMWorkLimit* limit) {
    DOMNode::walk(
        top, depth,
        [&out](const DOMNode& node, int) {
            switch (node.type()) {
            case DOMNode::Type::Text: {
                auto p = node.parent();
                if (p && isRawTextTag(p->tagName())) out += node.data();
                else escapeInto(out, node.data(), false);
                return false;
            }
            case DOMNode::Type::Comment: out += "<!--" + node.data() + "-->"; return false;
            case DOMNode::Type::Document: return true;
            case DOMNode::Type::Element: break;
            }
            out += '<';
            out += node.tagName();
            for (const auto& [name, value] : node.attributes()) {
                out += ' ';
                out += name;
                out += "=\"";
                escapeInto(out, name == "style" ? node.attribute("style") : value, true);
                out += '"';
            }
            out += '>';
            return !DOMNode::isVoidTag(node.tagName());
        },
        [&out](const DOMNode& node) {
            if (node.isElement()) out += "</" + node.tagName() + ">";
        },
        limit);
}

// Collects rendered text; `pendingSpace` collapses white space across text nodes.
struct TextCollector {
    std::string out;
    bool pendingSpace = false;

    void newline() {
        pendingSpace = false;
        while (!out.empty() && out.back() == ' ') out.pop_back();
        if (!out.empty() && out.back() != '\n') out += '\n';
    }
    void hardBreak() {
        pendingSpace = false;
        while (!out.empty() && out.back() == ' ') out.pop_back();
        out += '\n';
    }
    void text(const std::string& t) {
        for (char c : t) {
            if (std::isspace(static_cast<unsigned char>(c))) {
                pendingSpace = true;
                continue;
            }
            if (pendingSpace && !out.empty() && out.back() != '\n') out += ' ';
            pendingSpace = false;
            out += c;
        }
    }
    void walk(const DOMNode& top, int depth, DOMWorkLimit* limit) {
        DOMNode::walk(
            top, depth,
            [this](const DOMNode& node, int) {
                if (node.type() == DOMNode::Type::Text) {
                    text(node.data());
                    return false;
                }
                if (node.type() == DOMNode::Type::Comment) return false;
                const std::string& tag = node.tagName();
                if (tag == "script" || tag == "style" || tag == "head" || tag == "title" || tag == "noscript" ||
                    tag == "template")
                    return false;
                if (tag == "br") {
                    hardBreak();
                    return false;
                }
                if (DOMNode::isBlockTag(tag)) newline();
                return true;
            },
            [this](const DOMNode& node) {
                if (DOMNode::isBlockTag(node.tagName())) newline();
            },
            limit);
    }
};

} // namespace

DOMNode::DOMNode(Type type, std::uint32_t id, std::string nameOrText) : type_(type), id_(id) {
    if (type == Type::Element) tag_ = lower(std::move(nameOrText));
    else if (type != Type::Document) data_ = std::move(nameOrText);
}

DOMNode::~DOMNode() {
    if (ledger_) ledger_->remove(counted_);
    // The children this node alone holds go with it, and theirs with them: taken into a list here, so
    // that a chain thousands deep is let go one node after another rather than by nested destructors.
    std::vector<std::shared_ptr<DOMNode>> dropped = std::move(children_);
    while (!dropped.empty()) {
        std::shared_ptr<DOMNode> node = std::move(dropped.back());
        dropped.pop_back();
        if (node.use_count() == 1) {
            for (auto& c : node->children_) dropped.push_back(std::move(c));
            node->children_.clear();
        }
    }
}

void DOMNode::setLedger(std::shared_ptr<DOMLedger> ledger) {
    if (ledger_) ledger_->remove(counted_);
    counted_ = 0;
    ledger_ = std::move(ledger);
    recount();
}

std::size_t DOMNode::footprint() const {
    std::size_t bytes = NodeBytes + tag_.size() + data_.size();
    for (const auto& [n, v] : attributes_) bytes += EntryBytes + n.size() + v.size();
    for (const auto& [n, v] : style_) bytes += EntryBytes + n.size() + v.size();
    return bytes;
}

void DOMNode::recount() {
    if (!ledger_) return;
    const std::size_t now = footprint();
    if (now > counted_) ledger_->add(now - counted_);
    else ledger_->remove(counted_ - now);
    counted_ = now;
}

std::shared_ptr<DOMNode> DOMNode::create(Type type, std::uint32_t id, std::string nameOrText) {
    return std::make_shared<DOMNode>(type, id, std::move(nameOrText));
}

void DOMNode::setData(std::string data) {
    data_ = std::move(data);
    recount();
}

std::string DOMNode::attribute(const std::string& name) const {
    if (name == "style") return serializeStyle();
    for (const auto& [n, v] : attributes_)
        if (n == name) return v;
    return {};
}

bool DOMNode::hasAttribute(const std::string& name) const {
    return std::any_of(attributes_.begin(), attributes_.end(), [&](const auto& a) { return a.first == name; });
}

void DOMNode::setAttribute(const std::string& rawName, const std::string& value) {
    std::string name = lower(rawName);
    if (name == "style") {
        style_.clear();
        parseStyleAttribute(value);
    }
    for (auto& a : attributes_) {
        if (a.first == name) {
            a.second = value;
            recount();
            return;
        }
    }
    attributes_.emplace_back(name, value);
    recount();
}

void DOMNode::appendParsedAttribute(const std::string& rawName, const std::string& value) {
    std::string name = lower(rawName);
    if (name == "style") {
        style_.clear();
        parseStyleAttribute(value);
    }
    attributes_.emplace_back(std::move(name), value);
    recount();
}

void DOMNode::removeAttribute(const std::string& rawName) {
    std::string name = lower(rawName);
    if (name == "style") style_.clear();
    std::erase_if(attributes_, [&](const auto& a) { return a.first == name; });
    recount();
}

std::string DOMNode::styleProperty(const std::string& name) const {
    for (const auto& [n, v] : style_)
        if (n == name) return v;
    return {};
}

void DOMNode::setStyleProperty(const std::string& rawName, const std::string& rawValue) {
    std::string name = lower(trim(rawName));
    std::string value = trim(rawValue);
    if (name.empty()) return;
    if (value.empty()) {
        std::erase_if(style_, [&](const auto& d) { return d.first == name; });
    } else {
        bool found = false;
        for (auto& d : style_) {
            if (d.first == name) {
                d.second = value;
                found = true;
            }
        }
        if (!found) style_.emplace_back(name, value);
    }
    // Keep the attribute present (serialized on read) so getAttribute('style') reflects the bag.
    if (!hasAttribute("style")) attributes_.emplace_back("style", std::string());
    recount();
}

void DOMNode::parseStyleAttribute(const std::string& text) {
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        std::string decl = text.substr(start, end - start);
        std::size_t colon = decl.find(':');
        if (colon != std::string::npos) {
            std::string name = lower(trim(decl.substr(0, colon)));
            std::string value = trim(decl.substr(colon + 1));
            if (!name.empty() && !value.empty()) {
                std::erase_if(style_, [&](const auto& d) { return d.first == name; });
                style_.emplace_back(name, value);
            }
        }
        start = end + 1;
    }
}

std::string DOMNode::serializeStyle() const {
    std::string out;
    for (const auto& [n, v] : style_) {
        if (!out.empty()) out += ' ';
        out += n + ": " + v + ";";
    }
    return out;
}

bool DOMNode::contains(const DOMNode* other) const {
    for (const DOMNode* n = other; n != nullptr;) {
        if (n == this) return true;
        auto p = n->parent_.lock();
        n = p.get();
    }
    return false;
}

void DOMNode::detach() {
    if (auto p = parent_.lock()) {
        std::erase_if(p->children_, [&](const auto& c) { return c.get() == this; });
    }
    parent_.reset();
}

bool DOMNode::appendChild(const std::shared_ptr<DOMNode>& child) {
    return insertBefore(child, nullptr);
}

bool DOMNode::insertBefore(const std::shared_ptr<DOMNode>& child, const std::shared_ptr<DOMNode>& reference) {
    if (!child || type_ == Type::Text || type_ == Type::Comment) return false;
    if (child->type_ == Type::Document) return false;
    // Bounded depth keeps every later ancestor walk (and this cycle check) cheap.
    int depth = 0;
    for (auto p = parent_.lock(); p; p = p->parent_.lock())
        if (++depth >= 2 * MaxDepth) return false;
    if (child->contains(this)) return false;
    if (reference && reference->parent_.lock().get() != this) return false;
    if (reference == child) return true;
    auto keep = child;  // detach may drop the last owner
    keep->detach();
    auto pos = reference ? std::find(children_.begin(), children_.end(), reference) : children_.end();
    children_.insert(pos, keep);
    keep->parent_ = weak_from_this();
    return true;
}

bool DOMNode::insertChildrenBefore(const std::vector<std::shared_ptr<DOMNode>>& nodes,
                                   const std::shared_ptr<DOMNode>& reference) {
    if (type_ == Type::Text || type_ == Type::Comment) return false;
    if (reference && reference->parent_.lock().get() != this) return false;
    // This node and its ancestors, once: none of them may move below it.
    std::unordered_set<const DOMNode*> above{this};
    for (auto p = parent_.lock(); p; p = p->parent_.lock())
        if (above.insert(p.get()).second && above.size() > 2 * MaxDepth) return false;
    std::unordered_set<const DOMNode*> moving;
    for (const auto& n : nodes) {
        if (!n || n->type_ == Type::Document || above.contains(n.get()) || n == reference || !moving.insert(n.get()).second)
            return false;
    }
    if (nodes.empty()) return true;
    // Out of their parents, in one pass over each parent's children.
    std::vector<std::shared_ptr<DOMNode>> keep(nodes);  // the last owners may be those parents
    std::unordered_set<DOMNode*> parents;
    for (const auto& n : keep)
        if (auto p = n->parent_.lock()) parents.insert(p.get());
    for (DOMNode* p : parents) std::erase_if(p->children_, [&](const auto& c) { return moving.contains(c.get()); });
    auto pos = reference ? std::find(children_.begin(), children_.end(), reference) : children_.end();
    for (const auto& n : keep) n->parent_ = weak_from_this();
    children_.insert(pos, keep.begin(), keep.end());
    return true;
}

void DOMNode::appendParsedChild(std::shared_ptr<DOMNode> child) {
    child->parent_ = weak_from_this();
    children_.push_back(std::move(child));
}

bool DOMNode::removeChild(const std::shared_ptr<DOMNode>& child) {
    if (!child || child->parent_.lock().get() != this) return false;
    child->detach();
    return true;
}

void DOMNode::removeAllChildren() {
    for (auto& c : children_) c->parent_.reset();
    children_.clear();
}

std::string DOMNode::textContent(DOMWorkLimit* limit) const {
    if (type_ == Type::Text || type_ == Type::Comment) return data_;
    std::string out;
    auto enter = [&out](const DOMNode& node, int) {
        if (node.type_ == Type::Text) out += node.data_;
        return node.type_ == Type::Element;
    };
    for (const auto& c : children_)
        if (!walk(*c, 0, enter, [](const DOMNode&) {}, limit)) break;
    return out;
}

std::string DOMNode::innerText(DOMWorkLimit* limit) const {
    TextCollector collector;
    if (type_ == Type::Text) return data_;
    for (const auto& c : children_) collector.walk(*c, 1, limit);
    std::string out = std::move(collector.out);
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

std::string DOMNode::innerHTML(DOMWorkLimit* limit) const {
    std::string out;
    for (const auto& c : children_) serialize(*c, out, 1, limit);
    return out;
}

std::string DOMNode::outerHTML(DOMWorkLimit* limit) const {
    std::string out;
    serialize(*this, out, 0, limit);
    return out;
}

bool DOMNode::isBlockTag(const std::string& tag) {
    static const char* const kBlocks[] = {"address", "article", "aside", "blockquote", "body", "center", "dd",
                                          "details", "dialog", "dir", "div", "dl", "dt", "fieldset",
                                          "figcaption", "figure", "footer", "form", "h1", "h2", "h3", "h4",
                                          "h5", "h6", "header", "hr", "html", "li", "main", "nav", "ol", "p",
                                          "pre", "section", "summary", "table", "tr", "ul", "caption",
                                          "tbody", "thead", "tfoot"};
    return std::any_of(std::begin(kBlocks), std::end(kBlocks), [&](const char* b) { return tag == b; });
}

bool DOMNode::isVoidTag(const std::string& tag) {
    static const char* const kVoid[] = {"area", "base", "br", "col", "embed", "hr", "img", "input",
                                        "link", "meta", "param", "source", "track", "wbr"};
    return std::any_of(std::begin(kVoid), std::end(kVoid), [&](const char* v) { return tag == v; });
}

} // namespace platform
