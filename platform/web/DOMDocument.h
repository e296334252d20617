#pragma once
// A parsed web document: owns every node made for it (parsed or created by script), so script
// wrappers can refer to nodes by id and find them gone once the document is. Main thread only.
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/web/DOMNode.h"

namespace platform {

class DOMDocument {
public:
    // Parses `html` (malformed input is repaired the HTML way; never fails). Always has
    // html, head and body elements.
    static std::shared_ptr<DOMDocument> parse(const std::string& html);

    std::shared_ptr<DOMNode> root() const { return root_; }
    std::shared_ptr<DOMNode> documentElement() const;
    std::shared_ptr<DOMNode> head() const;
    std::shared_ptr<DOMNode> body() const;
    std::string title() const;

    std::shared_ptr<DOMNode> nodeById(std::uint32_t id) const;
    std::shared_ptr<DOMNode> createElement(const std::string& tag);
    std::shared_ptr<DOMNode> createTextNode(const std::string& text);
    std::shared_ptr<DOMNode> createComment(const std::string& text);
    // Parses `html` as the content of a body and returns the new, parentless nodes.
    std::vector<std::shared_ptr<DOMNode>> parseFragment(const std::string& html);
    // A parentless copy of `node` (with its descendants when `deep`) made in this document; nullptr for
    // the document itself or when the copy would not fit under the node cap. Once `limit` has stopped,
    // the copy is incomplete.
    std::shared_ptr<DOMNode> cloneNode(const DOMNode& node, bool deep, DOMWorkLimit* limit = nullptr);

    std::shared_ptr<DOMNode> getElementById(const std::string& id) const;
    // Elements below `scope` (the whole document when null) in document order; "*" matches all.
    std::vector<std::shared_ptr<DOMNode>> getElementsByTagName(const std::string& tag,
                                                               const std::shared_ptr<DOMNode>& scope = nullptr) const;
    // Selectors (see DOMSelector; below `scope`, its ancestors count for descendant combinators).
    // Text that is no selector matches nothing here.
    std::vector<std::shared_ptr<DOMNode>> querySelectorAll(const std::string& selector,
                                                           const std::shared_ptr<DOMNode>& scope = nullptr) const;
    std::shared_ptr<DOMNode> querySelector(const std::string& selector,
                                           const std::shared_ptr<DOMNode>& scope = nullptr) const;
    static bool matches(const DOMNode& element, const std::string& selector);

    // Every element in document order.
    std::vector<std::shared_ptr<DOMNode>> elements(const std::shared_ptr<DOMNode>& scope = nullptr) const;
    std::size_t nodeCount() const { return nodes_.size(); }

    // The most nodes a document holds. Nodes that left the tree and that script was never handed
    // (replaced markup and text, mostly) are let go when the count has doubled since the last time;
    // past the cap, no more nodes are made (the create calls answer nullptr, parsing drops the rest).
    static constexpr std::size_t MaximumNodes = 100000;
    // Lets go of unreachable nodes if enough were made since the last time. Only between edits: a
    // subtree being built is reachable from nothing yet.
    void collectIfCrowded();

    DOMDocument();

private:
    // nullptr past MaximumNodes unless `essential` (the document and its skeleton).
    std::shared_ptr<DOMNode> make(DOMNode::Type type, std::string nameOrText, bool essential = false);
    void ensureSkeleton();
    // Copies what fits under the cap (parsed fragments keep what fits).
    std::shared_ptr<DOMNode> copyNode(const DOMNode& node, bool deep, DOMWorkLimit* limit = nullptr);

    std::size_t collectAt_ = 4096;
    std::uint32_t nextId_ = 1;
    std::shared_ptr<DOMNode> root_;
    std::unordered_map<std::uint32_t, std::shared_ptr<DOMNode>> nodes_;
};

} // namespace platform
