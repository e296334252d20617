#pragma once
// A node of a web document: element, text, comment or the document itself. Nodes are owned by their
// DOMDocument; tree links are shared downwards and weak upwards. Main thread only.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// What a document's nodes hold, in bytes: their names, text, attributes and style declarations, and a
// fixed cost for each node. `mirror`, when set, follows the same count (the budget of the page's heap,
// so what the document holds leaves the heap that much less). Main thread only.
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
    void setAttribute(const std::string& name, const std::string& value);
    // For the HTML parser: adds an attribute it knows the element does not have yet, without looking
    // for it (a tag with many thousands of attributes would otherwise cost their number squared).
    void appendParsedAttribute(const std::string& name, const std::string& value);
    void removeAttribute(const std::string& name);
    const std::vector<std::pair<std::string, std::string>>& attributes() const { return attributes_; }
    std::vector<std::string> classNames() const;

    // Inline style declarations by CSS property name ("background-color").
    std::string styleProperty(const std::string& name) const;
    void setStyleProperty(const std::string& name, const std::string& value);
    const std::vector<std::pair<std::string, std::string>>& style() const { return style_; }

    std::shared_ptr<DOMNode> parent() const { return parent_.lock(); }
    const std::vector<std::shared_ptr<DOMNode>>& children() const { return children_; }
    // Tree edits. A node moves when inserted elsewhere; refusing cycles keeps the tree a tree.
    bool appendChild(const std::shared_ptr<DOMNode>& child);
    bool insertBefore(const std::shared_ptr<DOMNode>& child, const std::shared_ptr<DOMNode>& reference);
    // For the HTML parser: appends a node it has just made, without the cycle and depth walks (the
    // parser bounds the depth itself), so that parsing stays linear in the page's size.
    void appendParsedChild(std::shared_ptr<DOMNode> child);
    bool removeChild(const std::shared_ptr<DOMNode>& child);
    void removeAllChildren();
    bool contains(const DOMNode* other) const;

    // The count this node's bytes go to (its document's), from now on.
    void setLedger(std::shared_ptr<DOMLedger> ledger);
    // What the node itself holds (not its children), in bytes, as its ledger counts it.
    std::size_t footprint() const;
    // The cost of a node and of an attribute or declaration over their text.
    static constexpr std::size_t NodeBytes = 256;
    static constexpr std::size_t EntryBytes = 64;

    // Concatenated text of every descendant text node.
    std::string textContent() const;
    // Rendered text: block elements start and end lines, <br> breaks, white space collapsed,
    // script/style/head contents left out.
    std::string innerText() const;
    std::string innerHTML() const;
    std::string outerHTML() const;

    // Tree walks (text, markup, paint) stop descending below this depth, and the parser flattens
    // deeper markup, so hostile nesting cannot exhaust the stack.
    static constexpr int MaxDepth = 512;

    static bool isBlockTag(const std::string& tag);
    static bool isVoidTag(const std::string& tag);

    DOMNode(Type type, std::uint32_t id, std::string nameOrText);
    ~DOMNode();
    DOMNode(const DOMNode&) = delete;
    DOMNode& operator=(const DOMNode&) = delete;

private:
    void parseStyleAttribute(const std::string& text);
    std::string serializeStyle() const;
    void detach();
    void appendText(std::string& out, int depth) const;

    Type type_;
    std::uint32_t id_;
    std::string tag_;
    std::string data_;
    std::vector<std::pair<std::string, std::string>> attributes_;
    std::vector<std::pair<std::string, std::string>> style_;
    // Brings the ledger up to date after a change of what the node holds.
    void recount();
    std::shared_ptr<DOMLedger> ledger_;
    std::size_t counted_ = 0;
    std::weak_ptr<DOMNode> parent_;
    std::vector<std::shared_ptr<DOMNode>> children_;
};

} // namespace platform
