#include "platform/web/DOMNode.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <functional>
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

std::string_view trimView(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

std::string lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

using Entry = std::pair<std::string, std::string>;

// Declarations a style holds before it is indexed: fewer are found faster by a scan.
constexpr std::size_t kIndexedStyleFrom = 16;

// What a string allocated beyond its own object: its buffer, unless the text fits inside the object.
std::size_t held(const std::string& s) {
    const char* self = reinterpret_cast<const char*>(&s);
    const bool inside = !std::less<const char*>()(s.data(), self) && std::less<const char*>()(s.data(), self + sizeof s);
    return inside ? 0 : s.capacity() + 1;
}

std::size_t held(const Entry& e) {
    return held(e.first) + held(e.second);
}

// The declarations a style's text may hold: its parts between semicolons that have a colon.
std::size_t countDeclarations(std::string_view text) {
    std::size_t count = 0;
    bool colon = false;
    for (char c : text) {
        if (c == ':' && !colon) {
            colon = true;
            ++count;
        } else if (c == ';') {
            colon = false;
        }
    }
    return count;
}

// The index's table for `count` declarations: at most half full.
std::size_t styleIndexSize(std::size_t count) {
    return count < kIndexedStyleFrom ? 0 : std::bit_ceil(4 * count);
}

// What pushing one more entry onto `list` allocates (it doubles when full).
template <typename T>
std::size_t growthOf(const std::vector<T>& list) {
    return list.size() < list.capacity() ? 0 : std::max<std::size_t>(1, list.capacity()) * 2 * sizeof(T);
}

std::size_t escapedSize(std::string_view text, bool attribute) {
    std::size_t n = text.size();
    for (char c : text) {
        if (c == '&') n += 4;
        else if ((c == '<' || c == '>') && !attribute) n += 3;
        else if (c == '"' && attribute) n += 5;
    }
    return n;
}

void escapeInto(std::string& out, std::string_view text, bool attribute) {
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

// Serialized text is counted first, then built in a string of that size; both count steps by bytes, as
// a node's text or attribute may be megabytes.
struct SizeSink {
    std::size_t size = 0;
    DOMWorkLimit* limit;
    void put(std::string_view s) {
        size += s.size();
        DOMWorkLimit::step(limit, 1 + s.size() / 64);
    }
    void escaped(std::string_view s, bool attribute) {
        size += escapedSize(s, attribute);
        DOMWorkLimit::step(limit, 1 + s.size() / 64);
    }
};

struct StringSink {
    std::string& out;
    DOMWorkLimit* limit;
    void put(std::string_view s) {
        out.append(s);
        DOMWorkLimit::step(limit, 1 + s.size() / 64);
    }
    void escaped(std::string_view s, bool attribute) {
        escapeInto(out, s, attribute);
        DOMWorkLimit::step(limit, 1 + s.size() / 64);
    }
};

template <typename Sink>
void serialize(const DOMNode& top, Sink& out, int depth, DOMWorkLimit* limit) {
    DOMNode::walk(
        top, depth,
        [&out](const DOMNode& node, int) {
            switch (node.type()) {
            case DOMNode::Type::Text: {
                auto p = node.parent();
                if (p && isRawTextTag(p->tagName())) out.put(node.data());
                else out.escaped(node.data(), false);
                return false;
            }
            case DOMNode::Type::Comment:
                out.put("<!--");
                out.put(node.data());
                out.put("-->");
                return false;
            case DOMNode::Type::Document: return true;
            case DOMNode::Type::Element: break;
            }
            out.put("<");
            out.put(node.tagName());
            for (const auto& [name, value] : node.attributes()) {
                out.put(" ");
                out.put(name);
                out.put("=\"");
                if (name == "style") node.forEachStylePiece([&out](std::string_view piece) { out.escaped(piece, true); });
                else out.escaped(value, true);
                out.put("\"");
            }
            out.put(">");
            return !DOMNode::isVoidTag(node.tagName());
        },
        [&out](const DOMNode& node) {
            if (!node.isElement()) return;
            out.put("</");
            out.put(node.tagName());
            out.put(">");
        },
        limit);
}

// Collects rendered text; `pendingSpace` collapses white space across text nodes. When `counting`, only
// adds up in `bound` what collecting could make at most: a text's bytes (a space goes out only for
// white space left out) and a byte for each line started or broken.
struct TextCollector {
    std::string out;
    bool pendingSpace = false;
    bool counting = false;
    std::size_t bound = 0;
    DOMWorkLimit* limit = nullptr;

    void newline() {
        if (counting) {
            ++bound;
            return;
        }
        pendingSpace = false;
        while (!out.empty() && out.back() == ' ') out.pop_back();
        if (!out.empty() && out.back() != '\n') out += '\n';
    }
    void hardBreak() {
        if (counting) {
            ++bound;
            return;
        }
        pendingSpace = false;
        while (!out.empty() && out.back() == ' ') out.pop_back();
        out += '\n';
    }
    void text(const std::string& t) {
        DOMWorkLimit::step(limit, 1 + t.size() / 64);
        if (counting) {
            bound += t.size();
            return;
        }
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
    void walk(const DOMNode& top, int depth) {
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

const std::size_t DOMNode::NodeBytes =
    // The block make_shared allocates: the node and its shared count (a table pointer and two counts)...
    sizeof(DOMNode) + 3 * sizeof(void*) +
    // ...and the document's index entry for it, with its bucket.
    2 * sizeof(void*) + sizeof(std::pair<const std::uint32_t, std::shared_ptr<DOMNode>>);

std::size_t DOMNode::stringBytes(std::size_t length) {
    static const std::size_t inside = std::string().capacity();
    return length <= inside ? 0 : length + 1;
}

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
    return NodeBytes + held(tag_) + held(data_) + (attributes_.capacity() + style_.capacity()) * sizeof(Entry) +
           entryBytes_ + styleIndex_.capacity() * sizeof(std::uint32_t) +
           children_.capacity() * sizeof(std::shared_ptr<DOMNode>);
}

void DOMNode::countEntry(const Entry& entry, bool adding) {
    if (adding) entryBytes_ += held(entry);
    else entryBytes_ -= held(entry);
}

void DOMNode::recountEntries() {
    entryBytes_ = 0;
    for (const auto& a : attributes_) entryBytes_ += held(a);
    for (const auto& d : style_) entryBytes_ += held(d);
}

std::size_t DOMNode::bytesToSetAttribute(const std::string& name, std::string_view value) const {
    const bool style = name == "style";
    std::size_t bytes = stringBytes(value.size());
    if (!hasAttribute(name)) bytes += growthOf(attributes_) + stringBytes(name.size());
    if (!style) return bytes;
    // The declarations replace those held (the list is made to measure) and keep no text of their own.
    const std::size_t count = countDeclarations(value);
    return bytes - stringBytes(value.size()) + count * sizeof(Entry) + styleIndexSize(count) * sizeof(std::uint32_t) +
           value.size() + 2 * count;
}

std::size_t DOMNode::bytesToSetStyleProperty(const std::string& rawName, std::string_view rawValue) const {
    const std::string name = lower(trim(rawName));
    const std::size_t value = trimView(rawValue).size();
    std::size_t bytes = hasAttribute("style") ? 0 : growthOf(attributes_);
    if (findStyle(name) != std::string::npos) return bytes + stringBytes(value);
    const std::size_t count = style_.size() + 1;
    if (styleIndex_.size() < 2 * count) bytes += styleIndexSize(count) * sizeof(std::uint32_t);
    return bytes + growthOf(style_) + stringBytes(name.size()) + stringBytes(value);
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

// The style attribute's own text is not kept: it is read back from the declarations.
void DOMNode::setAttribute(const std::string& rawName, std::string_view value, DOMWorkLimit* limit) {
    std::string name = lower(rawName);
    const bool style = name == "style";
    if (style) {
        clearStyle();
        parseStyleAttribute(value, limit);
    }
    for (auto& a : attributes_) {
        if (a.first == name) {
            // Swapped in, so that a shorter value gives back the longer one's buffer.
            std::string fresh(style ? std::string_view() : value);
            countEntry(a, false);
            a.second.swap(fresh);
            countEntry(a, true);
            recount();
            return;
        }
    }
    attributes_.emplace_back(name, style ? std::string_view() : value);
    countEntry(attributes_.back(), true);
    recount();
}

void DOMNode::appendParsedAttribute(const std::string& rawName, const std::string& value, DOMWorkLimit* limit) {
    std::string name = lower(rawName);
    const bool style = name == "style";
    if (style) {
        clearStyle();
        parseStyleAttribute(value, limit);
    }
    attributes_.emplace_back(std::move(name), style ? std::string() : value);
    countEntry(attributes_.back(), true);
    recount();
}

void DOMNode::removeAttribute(const std::string& rawName) {
    std::string name = lower(rawName);
    if (name == "style") clearStyle();
    std::erase_if(attributes_, [&](const auto& a) { return a.first == name; });
    recountEntries();
    recount();
}

const std::string& DOMNode::styleProperty(const std::string& name) const {
    static const std::string none;
    const std::size_t at = findStyle(name);
    return at == std::string::npos ? none : style_[at].second;
}

void DOMNode::setStyleProperty(const std::string& rawName, std::string_view rawValue) {
    std::string name = lower(trim(rawName));
    std::string value(trimView(rawValue));
    if (name.empty()) return;
    const std::size_t at = findStyle(name);
    if (value.empty()) {
        if (at != std::string::npos) {
            style_.erase(style_.begin() + static_cast<std::ptrdiff_t>(at));
            reindexStyle();
            recountEntries();
        }
    } else if (at != std::string::npos) {
        countEntry(style_[at], false);
        style_[at].second.swap(value);
        countEntry(style_[at], true);
    } else {
        appendStyle(std::move(name), std::move(value));
    }
    // Keep the attribute present (serialized on read) so getAttribute('style') reflects the bag.
    if (!hasAttribute("style")) attributes_.emplace_back("style", std::string());
    recount();
}

std::size_t DOMNode::findStyle(std::string_view name) const {
    if (styleIndex_.empty()) {
        for (std::size_t i = 0; i < style_.size(); ++i)
            if (style_[i].first == name) return i;
        return std::string::npos;
    }
    const std::size_t mask = styleIndex_.size() - 1;
    for (std::size_t i = std::hash<std::string_view>()(name) & mask;; i = (i + 1) & mask) {
        const std::uint32_t at = styleIndex_[i];
        if (at == 0) return std::string::npos;
        if (style_[at - 1].first == name) return at - 1;
    }
}

std::uint32_t* DOMNode::styleSlot(std::string_view name) {
    const std::size_t mask = styleIndex_.size() - 1;
    for (std::size_t i = std::hash<std::string_view>()(name) & mask;; i = (i + 1) & mask) {
        std::uint32_t& at = styleIndex_[i];
        if (at == 0 || style_[at - 1].first == name) return &at;
    }
}

void DOMNode::appendStyle(std::string name, std::string value) {
    style_.emplace_back(std::move(name), std::move(value));
    countEntry(style_.back(), true);
    if (styleIndex_.size() < 2 * style_.size()) reindexStyle();
    else *styleSlot(style_.back().first) = static_cast<std::uint32_t>(style_.size());
}

// Made anew at twice the size whenever half full, so appending stays linear overall.
void DOMNode::reindexStyle() {
    std::vector<std::uint32_t>(styleIndexSize(style_.size())).swap(styleIndex_);
    if (styleIndex_.empty()) return;
    for (std::size_t i = 0; i < style_.size(); ++i)
        if (!style_[i].first.empty()) *styleSlot(style_[i].first) = static_cast<std::uint32_t>(i + 1);
}

void DOMNode::clearStyle() {
    std::vector<Entry>().swap(style_);
    std::vector<std::uint32_t>().swap(styleIndex_);
    recountEntries();
}

// In one pass: a repeated property leaves its earlier place empty (its name cleared), and the places
// left empty go at the end, at once.
void DOMNode::parseStyleAttribute(std::string_view text, DOMWorkLimit* limit) {
    const std::string_view all(text);
    style_.reserve(countDeclarations(all));
    bool repeated = false;
    std::size_t start = 0;
    while (start <= all.size()) {
        std::size_t end = all.find(';', start);
        if (end == std::string_view::npos) end = all.size();
        const std::string_view decl = all.substr(start, end - start);
        start = end + 1;
        if (!DOMWorkLimit::step(limit, 1 + decl.size() / 16)) break;
        const std::size_t colon = decl.find(':');
        if (colon == std::string_view::npos) continue;
        std::string name = lower(std::string(trimView(decl.substr(0, colon))));
        const std::string_view value = trimView(decl.substr(colon + 1));
        if (name.empty() || value.empty()) continue;
        if (const std::size_t at = findStyle(name); at != std::string::npos) {
            repeated = true;
            // The index's slot for the name moves to the new place.
            std::uint32_t* slot = styleIndex_.empty() ? nullptr : styleSlot(name);
            style_[at].first.clear();
            style_.emplace_back(std::move(name), std::string(value));
            countEntry(style_.back(), true);
            if (styleIndex_.size() < 2 * style_.size()) reindexStyle();
            else if (slot != nullptr) *slot = static_cast<std::uint32_t>(style_.size());
            continue;
        }
        appendStyle(std::move(name), std::string(value));
    }
    if (repeated) {
        std::erase_if(style_, [](const Entry& d) { return d.first.empty(); });
        if (style_.capacity() > 2 * style_.size()) style_.shrink_to_fit();
        reindexStyle();
    }
    recountEntries();
}

std::string DOMNode::serializeStyle() const {
    std::size_t size = 0;
    forEachStylePiece([&size](std::string_view piece) { size += piece.size(); });
    std::string out;
    out.reserve(size);
    forEachStylePiece([&out](std::string_view piece) { out.append(piece); });
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
    recount();
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
    recount();
    return true;
}

void DOMNode::appendParsedChild(std::shared_ptr<DOMNode> child) {
    child->parent_ = weak_from_this();
    children_.push_back(std::move(child));
    recount();
}

void DOMNode::reserveParsedChildren(std::size_t count) {
    children_.reserve(children_.size() + count);
    recount();
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
    return serialized(Serialization::TextContent, limit);
}

std::string DOMNode::innerText(DOMWorkLimit* limit) const {
    return serialized(Serialization::InnerText, limit);
}

std::string DOMNode::innerHTML(DOMWorkLimit* limit) const {
    return serialized(Serialization::InnerHTML, limit);
}

std::string DOMNode::outerHTML(DOMWorkLimit* limit) const {
    return serialized(Serialization::OuterHTML, limit);
}

std::size_t DOMNode::serializedSize(Serialization kind, DOMWorkLimit* limit) const {
    switch (kind) {
    case Serialization::TextContent: {
        if (type_ == Type::Text || type_ == Type::Comment) return data_.size();
        std::size_t size = 0;
        auto enter = [&size, limit](const DOMNode& node, int) {
            if (node.type_ == Type::Text) {
                size += node.data_.size();
                DOMWorkLimit::step(limit, node.data_.size() / 64);
            }
            return node.type_ == Type::Element;
        };
        for (const auto& c : children_)
            if (!walk(*c, 0, enter, [](const DOMNode&) {}, limit)) break;
        return size;
    }
    case Serialization::InnerText: {
        if (type_ == Type::Text) return data_.size();
        TextCollector collector;
        collector.counting = true;
        collector.limit = limit;
        for (const auto& c : children_) collector.walk(*c, 1);
        return collector.bound;
    }
    case Serialization::InnerHTML:
    case Serialization::OuterHTML: break;
    }
    SizeSink sink{0, limit};
    if (kind == Serialization::OuterHTML) serialize(*this, sink, 0, limit);
    else
        for (const auto& c : children_) serialize(*c, sink, 1, limit);
    return sink.size;
}

std::string DOMNode::serialized(Serialization kind, DOMWorkLimit* limit, std::size_t reserve) const {
    std::string out;
    out.reserve(reserve);
    switch (kind) {
    case Serialization::TextContent: {
        if (type_ == Type::Text || type_ == Type::Comment) {
            out.assign(data_);
            return out;
        }
        auto enter = [&out, limit](const DOMNode& node, int) {
            if (node.type_ == Type::Text) {
                out += node.data_;
                DOMWorkLimit::step(limit, node.data_.size() / 64);
            }
            return node.type_ == Type::Element;
        };
        for (const auto& c : children_)
            if (!walk(*c, 0, enter, [](const DOMNode&) {}, limit)) break;
        return out;
    }
    case Serialization::InnerText: {
        if (type_ == Type::Text) {
            out.assign(data_);
            return out;
        }
        TextCollector collector;
        collector.out = std::move(out);
        collector.limit = limit;
        for (const auto& c : children_) collector.walk(*c, 1);
        out = std::move(collector.out);
        while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
        return out;
    }
    case Serialization::InnerHTML:
    case Serialization::OuterHTML: break;
    }
    StringSink sink{out, limit};
    if (kind == Serialization::OuterHTML) serialize(*this, sink, 0, limit);
    else
        for (const auto& c : children_) serialize(*c, sink, 1, limit);
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
