#pragma once
// A node of a web document: element, text, comment or the document itself. Nodes are owned by their
// DOMDocument; tree links are shared downwards and weak upwards. Main thread only.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// What a document's nodes hold, in bytes: what each node allocated for itself, its names, text,
// attributes, style declarations and child list (see DOMNode::footprint). `mirror`, when set, follows
// the same count (the budget of the page's heap, so what the document holds leaves the heap that much
// less). Main thread only.
struct DOMLedger {
    std::size_t bytes = 0;
    std::size_t* mirror = nullptr;
    void add(std::size_t n) {
        bytes += n;
        if (mirror != nullptr) *mirror += n;
    }
    void remove(std::size_t n) {
        bytes -= n;
        if (mirror != nullptr) *mirror -= n;
    }
    // Follows `counter` from now on, adding what the nodes hold now (and taking it back from the
    // counter followed so far); null stops.
    void mirrorInto(std::size_t* counter) {
        if (mirror != nullptr) *mirror -= bytes;
        mirror = counter;
        if (mirror != nullptr) *mirror += bytes;
    }
};

// Work whose size a page sets (a selector it passes, a tree it built) counts its steps here and asks
// `expired` every few thousand of them; once that answers true, the work stops early and what it
// made is incomplete, for the caller to drop. Work given no limit runs to its end.
class DOMWorkLimit {
public:
    static constexpr std::size_t CheckInterval = 4096;

    explicit DOMWorkLimit(std::function<bool()> expired) : expired_(std::move(expired)) {}
    // Counts `steps`; false once the work is to stop (and from then on).
    bool step(std::size_t steps = 1) {
        if (stopped_) return false;
        pending_ += steps;
        if (pending_ < CheckInterval) return true;
        pending_ = 0;
        stopped_ = expired_ && expired_();
        return !stopped_;
    }
    bool stopped() const { return stopped_; }
    // For work that may be given no limit.
    static bool step(DOMWorkLimit* limit, std::size_t steps = 1) { return limit == nullptr || limit->step(steps); }

private:
    std::function<bool()> expired_;
    std::size_t pending_ = 0;
    bool stopped_ = false;
};

class DOMNode : public std::enable_shared_from_this<DOMNode> {
public:
    enum class Type { Document, Element, Text, Comment };

    static std::shared_ptr<DOMNode> create(Type type, std::uint32_t id, std::string nameOrText);

    Type type() const { return type_; }
    std::uint32_t id() const { return id_; }
    bool isElement() const { return type_ == Type::Element; }
    // Lower-case tag name for elements ("" otherwise).
    const std::string& tagName() const { return tag_; }
    // Text and comment data.
    const std::string& data() const { return data_; }
    void setData(std::string data);

    // Attributes, in source order. The style attribute is kept as parsed declarations.
    std::string attribute(const std::string& name) const;
    bool hasAttribute(const std::string& name) const;
    // A style attribute's declarations are parsed in time linear in its text, counting their steps on
    // `limit`: once it stops, the declarations are those parsed so far.
    // Values are read where they lie (a script's string): the node's own copy is the only one made.
    void setAttribute(const std::string& name, std::string_view value, DOMWorkLimit* limit = nullptr);
    // For the HTML parser: adds an attribute it knows the element does not have yet, without looking
    // for it (a tag with many thousands of attributes would otherwise cost their number squared).
    void appendParsedAttribute(const std::string& name, const std::string& value, DOMWorkLimit* limit = nullptr);
    void removeAttribute(const std::string& name);
    const std::vector<std::pair<std::string, std::string>>& attributes() const { return attributes_; }

    // Inline style declarations by CSS property name ("background-color").
    const std::string& styleProperty(const std::string& name) const;
    void setStyleProperty(const std::string& name, std::string_view value);
    const std::vector<std::pair<std::string, std::string>>& style() const { return style_; }
    // At most what setAttribute(name, value) and setStyleProperty(name, value) add to footprint(), for
    // admitting them first (a style's text is scanned once; `name` is lower case).
    std::size_t bytesToSetAttribute(const std::string& name, std::string_view value) const;
    std::size_t bytesToSetStyleProperty(const std::string& name, std::string_view value) const;

    std::shared_ptr<DOMNode> parent() const { return parent_.lock(); }
    const std::vector<std::shared_ptr<DOMNode>>& children() const { return children_; }
    // Tree edits. A node moves when inserted elsewhere; refusing cycles keeps the tree a tree.
    bool appendChild(const std::shared_ptr<DOMNode>& child);
    bool insertBefore(const std::shared_ptr<DOMNode>& child, const std::shared_ptr<DOMNode>& reference);
    // Moves `nodes` (from wherever they are) before `reference`, in order and all at once: all of them or,
    // when one cannot go (a document, this node or one above it, a repeat), none. Costs the nodes' number
    // and this node's depth once, not their product.
    bool insertChildrenBefore(const std::vector<std::shared_ptr<DOMNode>>& nodes, const std::shared_ptr<DOMNode>& reference);
    // For the HTML parser: appends a node it has just made, without the cycle and depth walks (the
    // parser bounds the depth itself), so that parsing stays linear in the page's size.
    void appendParsedChild(std::shared_ptr<DOMNode> child);
    // For the HTML parser: room for the `count` children it is about to append (counted at once).
    void reserveParsedChildren(std::size_t count);
    bool removeChild(const std::shared_ptr<DOMNode>& child);
    void removeAllChildren();
    bool contains(const DOMNode* other) const;

    // The count this node's bytes go to (its document's), from now on.
    void setLedger(std::shared_ptr<DOMLedger> ledger);
    // What the node itself allocated (not its children), in bytes, as its ledger counts it: its block
    // (see NodeBytes), and the heap blocks of its strings, attribute and style lists, style index and
    // child list, by their capacity.
    std::size_t footprint() const;
    // A node's own block: the node with its shared count, and its entry in its document's index.
    static const std::size_t NodeBytes;
    // What a string of `length` bytes allocates beyond its own object (nothing while it fits inside).
    static std::size_t stringBytes(std::size_t length);

    // Concatenated text of every descendant text node.
    std::string textContent(DOMWorkLimit* limit = nullptr) const;
    // Rendered text: block elements start and end lines, <br> breaks, white space collapsed,
    // script/style/head contents left out.
    std::string innerText(DOMWorkLimit* limit = nullptr) const;
    std::string innerHTML(DOMWorkLimit* limit = nullptr) const;
    std::string outerHTML(DOMWorkLimit* limit = nullptr) const;
    // The same four, for a caller that admits the text before it is built: serializedSize() answers at
    // most the bytes serialized() makes, in a walk as long as the one building them (steps count bytes,
    // not nodes; once `limit` stops, both answer what they had so far). serialized() builds into a
    // string of `reserve` bytes, so that it allocates once.
    enum class Serialization { TextContent, InnerText, InnerHTML, OuterHTML };
    std::size_t serializedSize(Serialization kind, DOMWorkLimit* limit = nullptr) const;
    std::string serialized(Serialization kind, DOMWorkLimit* limit = nullptr, std::size_t reserve = 0) const;
    // The style attribute's text, piece by piece ("name", ": ", "value", ";", " ", ...).
    template <typename Piece>
    void forEachStylePiece(Piece&& piece) const;

    // Tree walks (text, markup, paint) stop descending below this depth, and the parser flattens
    // deeper markup. Trees script builds may be far deeper (a chain wrapped bottom-up is as deep as
    // it has nodes), so no walk over a tree recurses: they all go through walk() or keep their own
    // list of work, and so does the destruction of a tree.
    static constexpr int MaxDepth = 512;

    // Visits `top` and the nodes below it in document order, taking `top` to be `depth` levels deep and
    // going no deeper than MaxDepth. enter(node, depth) answers whether to visit the node's children,
    // after which leave(node) is called. False when `limit` stopped the walk (at once, leaving the
    // nodes under way unleft). The tree must not change during the walk.
    template <typename Enter, typename Leave>
    static bool walk(const DOMNode& top, int depth, Enter&& enter, Leave&& leave, DOMWorkLimit* limit = nullptr);

    static bool isBlockTag(const std::string& tag);
    static bool isVoidTag(const std::string& tag);

    DOMNode(Type type, std::uint32_t id, std::string nameOrText);
    ~DOMNode();
    DOMNode(const DOMNode&) = delete;
    DOMNode& operator=(const DOMNode&) = delete;

private:
    void parseStyleAttribute(std::string_view text, DOMWorkLimit* limit);
    std::string serializeStyle() const;
    // Position of the declaration of `name` in style_ (npos when none), and the index's slot for it.
    std::size_t findStyle(std::string_view name) const;
    std::uint32_t* styleSlot(std::string_view name);
    void appendStyle(std::string name, std::string value);
    void clearStyle();
    void reindexStyle();
    // entryBytes_ kept as entries come and go, and counted anew.
    void countEntry(const std::pair<std::string, std::string>& entry, bool adding);
    void recountEntries();
    void detach();

    Type type_;
    std::uint32_t id_;
    std::string tag_;
    std::string data_;
    std::vector<std::pair<std::string, std::string>> attributes_;
    std::vector<std::pair<std::string, std::string>> style_;
    // Positions in style_ + 1 by property name, open addressing (0: empty); empty for a few declarations.
    std::vector<std::uint32_t> styleIndex_;
    // What the strings of attributes_ and style_ allocated.
    std::size_t entryBytes_ = 0;
    // Brings the ledger up to date after a change of what the node holds.
    void recount();
    std::shared_ptr<DOMLedger> ledger_;
    std::size_t counted_ = 0;
    std::weak_ptr<DOMNode> parent_;
    std::vector<std::shared_ptr<DOMNode>> children_;
};

template <typename Enter, typename Leave>
bool DOMNode::walk(const DOMNode& top, int depth, Enter&& enter, Leave&& leave, DOMWorkLimit* limit) {
    if (depth > MaxDepth) return true;
    if (!DOMWorkLimit::step(limit)) return false;
    if (!enter(top, depth)) return true;
    // The nodes entered and not yet left, each with the index of its next child.
    std::vector<std::pair<const DOMNode*, std::size_t>> open{{&top, 0}};
    while (!open.empty()) {
        auto& [node, next] = open.back();
        const int childDepth = depth + static_cast<int>(open.size());
        if (next < node->children_.size() && childDepth <= MaxDepth) {
            const DOMNode& child = *node->children_[next++];
            if (!DOMWorkLimit::step(limit)) return false;
            if (enter(child, childDepth)) open.emplace_back(&child, 0);
        } else {
            const DOMNode& done = *node;
            open.pop_back();
            leave(done);
        }
    }
    return true;
}

template <typename Piece>
void DOMNode::forEachStylePiece(Piece&& piece) const {
    bool first = true;
    for (const auto& [n, v] : style_) {
        if (!first) piece(std::string_view(" "));
        first = false;
        piece(std::string_view(n));
        piece(std::string_view(": "));
        piece(std::string_view(v));
        piece(std::string_view(";"));
    }
}

} // namespace platform
