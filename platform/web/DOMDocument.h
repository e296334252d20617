#pragma once
// A parsed web document: owns every node made for it (parsed or created by script), so script
// wrappers can refer to nodes by id and find them gone once the document is. Main thread only.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/web/DOMNode.h"

namespace platform {

// What a parse of markup a page chose may spend. The parser's own memory (and the copies of the markup it
// makes) is charged as it is taken and given back as it is freed; `charge` answers false when it does not
// fit. The nodes made may hold at most what `room` answers once the parser is done; `limit` stops the
// work when its time is up; and every node must fit under the document's node cap. A parse that passes
// any of these is abandoned whole (the parser midway, too): nothing of it stays, and `outcome` says why.
struct DOMParseBudget {
    enum class Outcome { Done, NoRoom, TooManyNodes, OutOfTime };
    std::function<bool(std::size_t)> charge;
    std::function<void(std::size_t)> discharge;
    std::function<std::size_t()> room;
    DOMWorkLimit* limit = nullptr;
    Outcome outcome = Outcome::Done;
};

class DOMDocument {
public:
    // Parses `html` (malformed input is repaired the HTML way). Always has html, head and body elements.
    // Without a budget it never fails (past the node cap the rest is dropped); with one, nullptr when the
    // parse was abandoned (see DOMParseBudget).
    static std::shared_ptr<DOMDocument> parse(const std::string& html, DOMParseBudget* budget = nullptr);

    std::shared_ptr<DOMNode> root() const { return root_; }
    // Of this document, or of `document` when given (a document node script made, see below).
    std::shared_ptr<DOMNode> documentElement(const std::shared_ptr<DOMNode>& document = nullptr) const;
    std::shared_ptr<DOMNode> head(const std::shared_ptr<DOMNode>& document = nullptr) const;
    std::shared_ptr<DOMNode> body(const std::shared_ptr<DOMNode>& document = nullptr) const;
    std::string title(const std::shared_ptr<DOMNode>& document = nullptr) const;

    // Documents script makes beside this one (an HTML document of their own) are document nodes made
    // here, apart from the root, whose nodes live here too. A node belongs to the document whose tree
    // holds it; a node out of every tree, to the document recorded for it: the one that made it or whose
    // tree it left (this one when none is).
    std::shared_ptr<DOMNode> createDocumentNode();
    std::shared_ptr<DOMNode> ownerDocument(const DOMNode& node) const;
    void setOwnerDocument(const DOMNode& node, const DOMNode& document);

    std::shared_ptr<DOMNode> nodeById(std::uint32_t id) const;
    std::shared_ptr<DOMNode> createElement(const std::string& tag);
    // (The text is taken: passed a temporary, the node's copy is the only one.)
    std::shared_ptr<DOMNode> createTextNode(std::string text);
    std::shared_ptr<DOMNode> createComment(std::string text);
    // Parses `html` as the content of a body and returns the new, parentless nodes. Without a budget,
    // past the node cap the rest is dropped; with one, all of them or, when the parse was abandoned (see
    // DOMParseBudget), none.
    std::vector<std::shared_ptr<DOMNode>> parseFragment(std::string_view html, DOMParseBudget* budget = nullptr);
    // A parentless copy of `node` (with its descendants when `deep`) made in this document; nullptr for
    // the document itself or when the copy would not fit under the node cap. Once `limit` has stopped,
    // the copy is incomplete.
    std::shared_ptr<DOMNode> cloneNode(const DOMNode& node, bool deep, DOMWorkLimit* limit = nullptr);

    // The walks below count a step per node on `limit`: once it stops, they answer what they found so far.
    std::shared_ptr<DOMNode> getElementById(const std::string& id, DOMWorkLimit* limit = nullptr) const;
    // Elements below `scope` (the whole document when null) in document order; "*" matches all.
    std::vector<std::shared_ptr<DOMNode>> getElementsByTagName(const std::string& tag,
                                                               const std::shared_ptr<DOMNode>& scope = nullptr,
                                                               DOMWorkLimit* limit = nullptr) const;
    // Selectors (see DOMSelector; below `scope`, its ancestors count for descendant combinators).
    // Text that is no selector matches nothing here.
    std::vector<std::shared_ptr<DOMNode>> querySelectorAll(const std::string& selector,
                                                           const std::shared_ptr<DOMNode>& scope = nullptr) const;
    std::shared_ptr<DOMNode> querySelector(const std::string& selector,
                                           const std::shared_ptr<DOMNode>& scope = nullptr) const;
    static bool matches(const DOMNode& element, const std::string& selector);

    // Every element in document order.
    std::vector<std::shared_ptr<DOMNode>> elements(const std::shared_ptr<DOMNode>& scope = nullptr,
                                                   DOMWorkLimit* limit = nullptr) const;
    std::size_t nodeCount() const { return nodes_.size(); }
    // What the document's nodes hold, in bytes (DOMNode::footprint), and what a copy of `node` (with
    // its descendants when `deep`) would add.
    std::size_t bytes() const { return ledger_->bytes; }
    static std::size_t bytesOf(const DOMNode& node, bool deep);
    // The count of bytes() follows `counter` too from now on (null: no more).
    void mirrorBytesInto(std::size_t* counter) { ledger_->mirrorInto(counter); }

    // The most nodes a document holds. Nodes out of the tree that nobody holds (replaced markup and
    // text, and nodes script let go of) are let go when their count or their bytes have doubled since
    // the last time, and at the latest at the cap; at the cap, no more nodes are made (the create calls
    // answer nullptr; parsing drops the rest or, given a budget, is refused whole), so callers that can
    // collect do so first.
    static constexpr std::size_t MaximumNodes = 100000;
    // Bytes the documents may grow by after a collection before the next, however little they held.
    static constexpr std::size_t CollectionBytesFloor = 1u << 20;
    // Whether enough nodes or bytes were made since the last collection for the next one to be worth it.
    bool isCrowded() const { return nodes_.size() >= collectAt_ || ledger_->bytes >= collectBytesAt_; }
    // How many more nodes may be made before the cap.
    std::size_t roomForNodes() const { return nodes_.size() < MaximumNodes ? MaximumNodes - nodes_.size() : 0; }
    // Lets go of every node outside the tree but those in a tree (parentless subtree) holding a node
    // `held` names, and answers the ids let go of. Only between edits: a subtree being built is
    // reachable from nothing yet.
    using Holds = std::function<bool(std::uint32_t)>;
    std::vector<std::uint32_t> collect(const Holds& held = {});
    void collectIfCrowded(const Holds& held = {}) {
        if (isCrowded()) collect(held);
    }

    DOMDocument();

    // Test hook: the next id to be given, to reach the end of the id space.
    void setNextIdForTesting(std::uint32_t id) { nextId_ = id; }

private:
    // nullptr past MaximumNodes unless `essential` (the document and its skeleton).
    std::shared_ptr<DOMNode> make(DOMNode::Type type, std::string nameOrText, bool essential = false);
    void ensureSkeleton();
    // A node id no node of this document has.
    std::uint32_t takeId();
    // Makes nodes here for the children of `gumboNode` (a GumboNode): below `parent`, or parentless into
    // `out` when there is none. False (with the budget's outcome) when the budget stopped it midway.
    bool build(const void* gumboNode, const std::shared_ptr<DOMNode>& parent, DOMParseBudget* budget,
               std::vector<std::shared_ptr<DOMNode>>* out);
    // Copies what fits under the cap (parsed fragments keep what fits).
    std::shared_ptr<DOMNode> copyNode(const DOMNode& node, bool deep, DOMWorkLimit* limit = nullptr);

    std::size_t collectAt_ = 4096;
    std::size_t collectBytesAt_ = CollectionBytesFloor;
    std::shared_ptr<DOMLedger> ledger_ = std::make_shared<DOMLedger>();
    // The next id to try (see takeId).
    std::uint32_t nextId_ = 1;
    // While set, every node made is listed here (a parse that may be taken back whole).
    std::vector<std::uint32_t>* made_ = nullptr;
    std::shared_ptr<DOMNode> root_;
    std::unordered_map<std::uint32_t, std::shared_ptr<DOMNode>> nodes_;
    // Node id -> id of the document node it belongs to, for nodes out of this document's tree.
    std::unordered_map<std::uint32_t, std::uint32_t> owners_;
};

} // namespace platform
