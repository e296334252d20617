#include "platform/web/DOMDocument.h"

#include <gumbo.h>
#include <malloc.h>

#include <algorithm>
#include <cctype>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <optional>
#include <string_view>
#include <unordered_set>

#include "platform/base/Strings.h"
#include "platform/web/DOMSelector.h"

namespace platform {

namespace {

std::string tagNameOf(const GumboElement& el) {
    if (el.tag != GUMBO_TAG_UNKNOWN) return gumbo_normalized_tagname(el.tag);
    GumboStringPiece piece = el.original_tag;
    gumbo_tag_from_original_text(&piece);
    std::string name(piece.data != nullptr ? piece.data : "", piece.length);
    for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name.empty() ? "unknown" : name;
}

// More attributes than any real page gives one element.
constexpr int kMaximumAttributes = 256;

bool isASCIIAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Elements that open nothing the parser keeps open: void ones, and those closed by their next sibling.
bool opensNoScope(std::string_view name) {
    static constexpr std::string_view kNames[] = {
        "area",  "base",   "br",    "col", "embed", "hr", "img",   "input", "link",   "meta",
        "param", "source", "track", "wbr", "p",     "li", "dt",    "dd",    "option", "optgroup",
        "tr",    "td",     "th",    "rb",  "rt",    "rp", "tbody", "thead", "tfoot",  "colgroup"};
    for (auto n : kNames) {
        if (n == name) return true;
    }
    return false;
}

// Elements whose content is text up to their end tag.
bool isRawText(std::string_view name) {
    return name == "script" || name == "style" || name == "textarea" || name == "title" || name == "xmp" ||
           name == "iframe" || name == "noembed" || name == "noframes" || name == "noscript";
}

// The memory of one parse. Every block gumbo takes comes from here and is counted with its header, charged
// to the budget (if any) in steps as the count grows and given back as it shrinks, together with the copies
// of the markup the parse makes. The blocks are linked, so that all of them go with this object. gumbo
// keeps no state of its own outside these blocks and holds no other resource, and no frame between
// run() and the allocator has anything to destroy: a parse that passes its budget or its time is
// abandoned by a jump from the allocator back to run(), and what it took is freed here.
class ParserMemory {
public:
    explicit ParserMemory(DOMParseBudget* budget) : budget_(budget) { head_.prev = head_.next = &head_; }
    ~ParserMemory() {
        for (Block* b = head_.next; b != &head_;) {
            Block* next = b->next;
            std::free(b);
            b = next;
        }
        if (charged_ > 0) budget_->discharge(charged_);
    }
    ParserMemory(const ParserMemory&) = delete;
    ParserMemory& operator=(const ParserMemory&) = delete;

    // Counts `bytes` the parse holds besides gumbo's blocks; false (and the outcome) when they do not fit.
    bool hold(std::size_t bytes) {
        used_ += bytes;
        if (used_ <= charged_ || budget_ == nullptr) return true;
        const std::size_t more = (used_ - charged_ + kStep - 1) / kStep * kStep;
        if (!budget_->charge(more)) {
            used_ -= bytes;
            outcome_ = DOMParseBudget::Outcome::NoRoom;
            return false;
        }
        charged_ += more;
        return true;
    }
    void let(std::size_t bytes) {
        used_ -= std::min(bytes, used_);
        if (budget_ == nullptr || charged_ - used_ < 2 * kStep) return;
        const std::size_t back = (charged_ - used_ - kStep) / kStep * kStep;
        charged_ -= back;
        budget_->discharge(back);
    }

    // Counts `steps` of the parse's work on its meter; false (and the outcome) once its time is up.
    bool step(std::size_t steps) {
        if (budget_ == nullptr || DOMWorkLimit::step(budget_->limit, steps)) return true;
        outcome_ = DOMParseBudget::Outcome::OutOfTime;
        return false;
    }

    // gumbo's tree of `text`; null when the parse was abandoned (see outcome()).
    GumboOutput* parse(const std::string& text) {
        options_ = kGumboDefaultOptions;
        // No parse errors are kept: gumbo copies the whole stack of open elements into each one, so a page
        // of unclosed nested elements would cost time and memory growing with the square of its size.
        options_.max_errors = 0;
        options_.allocator = &ParserMemory::allocate;
        options_.deallocator = &ParserMemory::release;
        options_.userdata = this;
        text_ = &text;
        return run();
    }
    DOMParseBudget::Outcome outcome() const { return outcome_; }

private:
    struct alignas(std::max_align_t) Block {
        Block* prev;
        Block* next;
        std::size_t size;  // held for it, header and rounding included
    };
    static constexpr std::size_t kStep = 64u << 10;

    // Nothing here may need destroying: an abandoned parse jumps back into it.
    GumboOutput* run() {
        if (setjmp(abandon_) != 0) return nullptr;
        return gumbo_parse_with_options(&options_, text_->data(), text_->size());
    }

    static void* allocate(void* userdata, std::size_t size) {
        auto* self = static_cast<ParserMemory*>(userdata);
        const std::size_t total = sizeof(Block) + size;
        if (!self->step(1) || !self->hold(total)) std::longjmp(self->abandon_, 1);
        // From malloc, whose malloc_usable_size is defined for it (an app may replace operator new).
        auto* block = static_cast<Block*>(std::malloc(total));
        if (block == nullptr) {
            self->let(total);
            self->outcome_ = DOMParseBudget::Outcome::NoRoom;
            std::longjmp(self->abandon_, 1);
        }
        // The allocator hands out blocks in steps: what it really gave is what the page pays for (gumbo
        // takes hundreds of thousands of small blocks, whose rounding adds up to megabytes).
        const std::size_t given = std::max(total, malloc_usable_size(block));
        if (given > total && !self->hold(given - total)) {
            self->let(total);
            std::free(block);
            std::longjmp(self->abandon_, 1);
        }
        block->size = given;
        block->prev = &self->head_;
        block->next = self->head_.next;
        self->head_.next->prev = block;
        self->head_.next = block;
        return block + 1;
    }

    static void release(void* userdata, void* ptr) {
        if (ptr == nullptr) return;
        auto* self = static_cast<ParserMemory*>(userdata);
        Block* block = static_cast<Block*>(ptr) - 1;
        block->prev->next = block->next;
        block->next->prev = block->prev;
        self->let(block->size);
        std::free(block);
    }

    DOMParseBudget* budget_;
    Block head_{};
    std::size_t used_ = 0;
    std::size_t charged_ = 0;
    DOMParseBudget::Outcome outcome_ = DOMParseBudget::Outcome::Done;
    GumboOptions options_{};
    const std::string* text_ = nullptr;
    std::jmp_buf abandon_;
};

// The HTML parser walks its stack of open elements for every tag and compares each attribute of a tag
// with those before it, so markup nested thousands deep, or a tag with thousands of attributes, costs
// time growing with the square of its size. Both are bounded beforehand: start tags that would open
// deeper than `maxDepth` are dropped, with as many of the end tags that follow, so their content joins
// the deepest element kept (as the tree does past its depth limit anyway); attributes of a tag past
// `maxAttributes` are dropped. The pass is part of the parse: one step per byte looked at on its meter,
// and the copy it makes (once something is cut: `bounded`) held in its memory. False when the parse is
// to be abandoned (see ParserMemory::outcome).
bool boundMarkup(const std::string& html, int maxDepth, int maxAttributes, ParserMemory& memory,
                 std::optional<std::string>& bounded) {
    std::size_t copied = 0;   // html[0, copied) is in `bounded`
    std::size_t metered = 0;  // html[0, metered) is counted on the meter
    int depth = 0;
    int dropped = 0;
    std::size_t i = 0;
    auto meter = [&](std::size_t to) {
        if (to <= metered) return true;
        const std::size_t steps = to - metered;
        metered = to;
        return memory.step(steps);
    };
    // For loops a byte at a time: the meter every few kilobytes.
    auto meterAt = [&](std::size_t at) { return (at & 0xfff) != 0 || meter(at); };
    auto drop = [&](std::size_t from, std::size_t to) {
        if (!bounded) {
            // The copy is never longer than the markup: its room is asked for once, whole.
            if (!memory.hold(html.size() + 1)) return false;
            bounded.emplace();
            bounded->reserve(html.size());
        }
        bounded->append(html, copied, from - copied);
        copied = to;
        return true;
    };
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; };
    while ((i = html.find('<', i)) != std::string::npos) {
        if (!meter(i)) return false;
        if (html.compare(i, 4, "<!--") == 0) {
            auto end = html.find("-->", i + 4);
            i = end == std::string::npos ? html.size() : end + 3;
            continue;
        }
        const bool closing = i + 1 < html.size() && html[i + 1] == '/';
        std::size_t nameStart = i + 1 + (closing ? 1 : 0);
        if (nameStart >= html.size() || !isASCIIAlpha(html[nameStart])) {
            ++i;
            continue;
        }
        std::size_t nameEnd = nameStart;
        while (nameEnd < html.size() &&
               (std::isalnum(static_cast<unsigned char>(html[nameEnd])) || html[nameEnd] == '-')) {
            if (!meterAt(++nameEnd)) return false;
        }
        // Lower-cased in place of a copy: a name longer than any below is none of them.
        char lowered[16];
        std::string_view name;
        if (nameEnd - nameStart <= sizeof lowered) {
            for (std::size_t k = nameStart; k < nameEnd; ++k)
                lowered[k - nameStart] = static_cast<char>(std::tolower(static_cast<unsigned char>(html[k])));
            name = std::string_view(lowered, nameEnd - nameStart);
        }
        // The tag ends at the first ">" outside quoted attribute values; attributes are counted on the way.
        std::size_t end = nameEnd;
        std::size_t attributesCut = std::string::npos;
        int attributes = 0;
        char quote = 0;
        bool between = true;     // after white space, where an attribute name may start
        bool valueNext = false;  // after "=": the next word is a value
        for (; end < html.size(); ++end) {
            if (!meterAt(end)) return false;
            char c = html[end];
            if (quote != 0) {
                if (c == quote) quote = 0;
                continue;
            }
            if (c == '>') break;
            if (isSpace(c) || c == '/') {
                between = true;
                continue;
            }
            if (c == '=') {
                valueNext = true;
                between = true;
                continue;
            }
            if (c == '"' || c == '\'') quote = c;
            if (between && !valueNext && quote == 0 && ++attributes > maxAttributes &&
                attributesCut == std::string::npos) {
                attributesCut = end;
            }
            if (between) valueNext = false;
            between = false;
        }
        const std::size_t next = end < html.size() ? end + 1 : html.size();
        auto cutAttributes = [&] { return attributesCut == std::string::npos || drop(attributesCut, end); };
        bool kept = true;
        if (closing) {
            if (!opensNoScope(name) && dropped > 0) {
                --dropped;
                kept = drop(i, next);
            } else {
                if (!opensNoScope(name) && depth > 0) --depth;
                kept = cutAttributes();
            }
        } else if (isRawText(name)) {
            if (!cutAttributes()) return false;
            // Its text holds no tags; skip past its end tag.
            std::size_t close = next;
            while ((close = html.find("</", close)) != std::string::npos &&
                   !equalsIgnoringCase(std::string_view(html).substr(close + 2, name.size()), name)) {
                if (!meter(close)) return false;
                close += 2;
            }
            if (close == std::string::npos) break;
            auto closeEnd = html.find('>', close);
            i = closeEnd == std::string::npos ? html.size() : closeEnd + 1;
            continue;
        } else if (!opensNoScope(name) && html[next - 1] != '/') {
            if (depth >= maxDepth) {
                ++dropped;
                kept = drop(i, next);
            } else {
                ++depth;
                kept = cutAttributes();
            }
        } else {
            kept = cutAttributes();
        }
        if (!kept) return false;
        i = next;
    }
    if (!meter(html.size())) return false;
    if (bounded) bounded->append(html, copied, std::string::npos);
    return true;
}

// gumbo's tree of `html` in `memory`, bounded first (see boundMarkup) into `capped` when need be; null
// when the parse was abandoned (see ParserMemory::outcome).
GumboOutput* parseBounded(const std::string& html, ParserMemory& memory, std::optional<std::string>& capped) {
    if (!boundMarkup(html, DOMNode::MaxDepth, kMaximumAttributes, memory, capped)) return nullptr;
    return memory.parse(capped ? *capped : html);
}

} // namespace

DOMDocument::DOMDocument() {
    root_ = make(DOMNode::Type::Document, "", true);
}

std::shared_ptr<DOMNode> DOMDocument::make(DOMNode::Type type, std::string nameOrText, bool essential) {
    if (!essential && nodes_.size() >= MaximumNodes) return nullptr;
    auto node = DOMNode::create(type, takeId(), std::move(nameOrText));
    node->setLedger(ledger_);
    nodes_.emplace(node->id(), node);
    if (made_ != nullptr) made_->push_back(node->id());
    return node;
}

std::uint32_t DOMDocument::takeId() {
    // Once every id has been given, those of nodes that are gone are given again (a page churning nodes
    // for hours gets there). That is safe: a node script holds a wrapper of is never let go, and the page
    // forgets what it kept about a node when it goes. At most MaximumNodes ids are skipped.
    for (;;) {
        const std::uint32_t id = nextId_++;
        if (id != 0 && !nodes_.contains(id)) return id;
    }
}

std::vector<std::uint32_t> DOMDocument::collect(const Holds& held) {
    // Kept: the tree, and every parentless subtree with a node somebody holds (a node keeps the
    // nodes above it as well as those below: script walks both ways).
    std::unordered_set<std::uint32_t> keep;
    auto keepTree = [&](const DOMNode* top) {
        if (keep.contains(top->id())) return;
        std::vector<const DOMNode*> work{top};
        while (!work.empty()) {
            const DOMNode* n = work.back();
            work.pop_back();
            if (!keep.insert(n->id()).second) continue;
            for (const auto& c : n->children()) work.push_back(c.get());
        }
    };
    keepTree(root_.get());
    if (held) {
        for (const auto& [id, node] : nodes_) {
            if (keep.contains(id) || !held(id)) continue;
            std::shared_ptr<DOMNode> top = node;
            while (auto p = top->parent()) top = std::move(p);
            keepTree(top.get());
        }
    }
    std::vector<std::uint32_t> gone;
    // Dropped here only from the map: a node still goes when its tree does, all at once.
    std::vector<std::shared_ptr<DOMNode>> dropped;
    for (auto it = nodes_.begin(); it != nodes_.end();) {
        if (keep.contains(it->first)) {
            ++it;
            continue;
        }
        gone.push_back(it->first);
        dropped.push_back(std::move(it->second));
        it = nodes_.erase(it);
    }
    dropped.clear();
    std::erase_if(owners_, [&](const auto& entry) { return !keep.contains(entry.first); });
    // Doubling keeps the work of collections linear in what is made; the cap is reached at most once
    // between two.
    collectAt_ = std::min(MaximumNodes, std::max<std::size_t>(4096, nodes_.size() * 2));
    collectBytesAt_ = std::max(CollectionBytesFloor, ledger_->bytes * 2);
    return gone;
}

std::shared_ptr<DOMDocument> DOMDocument::parse(const std::string& html, DOMParseBudget* budget) {
    auto doc = std::make_shared<DOMDocument>();
    ParserMemory memory(budget);
    std::optional<std::string> capped;
    GumboOutput* output = parseBounded(html, memory, capped);
    if (output == nullptr && budget != nullptr) {
        budget->outcome = memory.outcome();
        return nullptr;
    }
    if (output != nullptr && !doc->build(output->document, doc->root_, budget, nullptr)) return nullptr;
    doc->ensureSkeleton();
    return doc;
}

bool DOMDocument::build(const void* gumboNode, const std::shared_ptr<DOMNode>& parent, DOMParseBudget* budget,
                        std::vector<std::shared_ptr<DOMNode>>* out) {
    const auto* from = static_cast<const GumboNode*>(gumboNode);
    const std::size_t room = budget != nullptr && budget->room ? budget->room() : SIZE_MAX;
    const std::size_t before = ledger_->bytes;
    DOMWorkLimit* limit = budget != nullptr ? budget->limit : nullptr;
    auto stop = [budget](DOMParseBudget::Outcome why) {
        budget->outcome = why;
        return false;
    };
    auto childrenOf = [](const GumboNode* g) -> const GumboVector& {
        return g->type == GUMBO_NODE_DOCUMENT ? g->v.document.children : g->v.element.children;
    };
    // Iterative copy: deeply nested junk must not exhaust the stack. One frame per open element, walking
    // its children in order, so the list of work is as long as the tree is deep (which the bounding pass
    // caps), not as long as an element's children are many: those are counted against the page's room,
    // their list is not. A null `node`: the children go parentless, into `out`.
    struct Frame {
        const GumboNode* from;
        std::shared_ptr<DOMNode> node;  // where the children go
        std::shared_ptr<DOMNode> into;  // where the element itself went (children flattened go there)
        int depth;                      // the element's
        unsigned next = 0;
    };
    std::vector<Frame> frames;
    frames.push_back(Frame{from, parent, parent, 0});
    while (!frames.empty()) {
        Frame& frame = frames.back();
        const GumboVector& kids = childrenOf(frame.from);
        if (frame.next >= kids.length) {
            frames.pop_back();
            continue;
        }
        const auto* g = static_cast<const GumboNode*>(kids.data[frame.next++]);
        const bool element = g->type == GUMBO_NODE_ELEMENT || g->type == GUMBO_NODE_TEMPLATE;
        // Past the depth limit, children join the deepest allowed element instead. Elements stop one
        // level short of it, so the deepest keeps its own text (a script there still has its source).
        const bool top = frame.depth == 0;
        const bool flatten = !top && (frame.depth >= DOMNode::MaxDepth || (element && frame.depth + 1 >= DOMNode::MaxDepth));
        std::shared_ptr<DOMNode> into = flatten ? frame.into : frame.node;
        const int depth = top ? 1 : flatten ? frame.depth : frame.depth + 1;
        if (budget != nullptr) {
            // What the node will hold (its child list made to measure among it), and its share of the
            // work (a style attribute is parsed too), before it is made.
            std::size_t bytes = DOMNode::NodeBytes, steps = 1;
            if (element) {
                const GumboVector& attrs = g->v.element.attributes;
                for (unsigned i = 0; i < attrs.length; ++i) {
                    auto* a = static_cast<const GumboAttribute*>(attrs.data[i]);
                    const std::size_t value = std::strlen(a->value);
                    bytes += 2 * sizeof(std::string) + DOMNode::stringBytes(std::strlen(a->name)) + DOMNode::stringBytes(value);
                    steps += 1 + value / 64;
                }
                bytes += g->v.element.children.length * sizeof(std::shared_ptr<DOMNode>);
            } else {
                bytes += std::strlen(g->v.text.text);
            }
            if (!DOMWorkLimit::step(budget->limit, steps)) return stop(DOMParseBudget::Outcome::OutOfTime);
            if (ledger_->bytes - before + bytes > room) return stop(DOMParseBudget::Outcome::NoRoom);
            if (nodes_.size() >= MaximumNodes) return stop(DOMParseBudget::Outcome::TooManyNodes);
        }
        std::shared_ptr<DOMNode> node;
        bool opens = false;
        switch (g->type) {
        case GUMBO_NODE_ELEMENT:
        case GUMBO_NODE_TEMPLATE: {
            node = make(DOMNode::Type::Element, tagNameOf(g->v.element));
            if (!node) break;  // past the cap: the element and what is inside it are dropped
            const GumboVector& attrs = g->v.element.attributes;
            // The tokenizer drops repeated names; only names that lower-case alike still meet here.
            std::unordered_set<std::string> names;
            for (unsigned i = 0; i < attrs.length; ++i) {
                auto* a = static_cast<const GumboAttribute*>(attrs.data[i]);
                if (names.insert(toLowerASCII(a->name)).second) {
                    node->appendParsedAttribute(a->name, a->value, limit);
                } else {
                    node->setAttribute(a->name, a->value, limit);
                }
            }
            // A style's declarations are parsed on the same meter.
            if (limit != nullptr && limit->stopped()) return stop(DOMParseBudget::Outcome::OutOfTime);
            // Made to measure: a list grown by doubling would hold its old and new blocks at once.
            node->reserveParsedChildren(g->v.element.children.length);
            opens = g->v.element.children.length > 0;
            break;
        }
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_CDATA:
        case GUMBO_NODE_WHITESPACE: node = make(DOMNode::Type::Text, g->v.text.text); break;
        case GUMBO_NODE_COMMENT: node = make(DOMNode::Type::Comment, g->v.text.text); break;
        case GUMBO_NODE_DOCUMENT: break;
        }
        if (!node) continue;
        if (into) into->appendParsedChild(node);
        else out->push_back(node);
        // What the node really took (a style attribute's declarations hold more than its text): the parse
        // is abandoned whole once that passes the room, at most one node past it.
        if (budget != nullptr && ledger_->bytes - before > room) return stop(DOMParseBudget::Outcome::NoRoom);
        if (opens) frames.push_back(Frame{g, node, into, depth});
    }
    return true;
}

void DOMDocument::ensureSkeleton() {
    auto html = documentElement();
    if (!html) {
        html = make(DOMNode::Type::Element, "html", true);
        root_->appendChild(html);
    }
    if (!head()) {
        auto h = make(DOMNode::Type::Element, "head", true);
        html->insertBefore(h, html->children().empty() ? nullptr : html->children().front());
    }
    if (!body()) html->appendChild(make(DOMNode::Type::Element, "body", true));
}

std::vector<std::shared_ptr<DOMNode>> DOMDocument::parseFragment(std::string_view html, DOMParseBudget* budget) {
    static constexpr std::string_view kPrefix = "<!DOCTYPE html><html><head></head><body>";
    std::vector<std::shared_ptr<DOMNode>> out;
    ParserMemory memory(budget);
    if (!memory.hold(kPrefix.size() + html.size())) {
        budget->outcome = memory.outcome();
        return out;
    }
    std::string text;
    text.reserve(kPrefix.size() + html.size());
    text.append(kPrefix).append(html);
    std::optional<std::string> capped;
    GumboOutput* output = parseBounded(text, memory, capped);
    if (output == nullptr) {
        if (budget != nullptr) budget->outcome = memory.outcome();
        return out;
    }
    // The body gumbo made: the html element's last element child.
    const GumboNode* body = nullptr;
    const GumboVector& top = output->document->v.document.children;
    for (unsigned i = 0; i < top.length && body == nullptr; ++i) {
        auto* html = static_cast<const GumboNode*>(top.data[i]);
        if (html->type != GUMBO_NODE_ELEMENT || html->v.element.tag != GUMBO_TAG_HTML) continue;
        const GumboVector& parts = html->v.element.children;
        for (unsigned k = parts.length; k > 0 && body == nullptr; --k) {
            auto* part = static_cast<const GumboNode*>(parts.data[k - 1]);
            if (part->type == GUMBO_NODE_ELEMENT &&
                (part->v.element.tag == GUMBO_TAG_BODY || part->v.element.tag == GUMBO_TAG_FRAMESET))
                body = part;
        }
    }
    if (body == nullptr) return out;
    // Made here, with fresh ids; all taken back when the budget stops the work midway.
    std::vector<std::uint32_t> made;
    made_ = &made;
    const bool built = build(body, nullptr, budget, &out);
    made_ = nullptr;
    if (!built) {
        out.clear();
        for (std::uint32_t id : made) nodes_.erase(id);
    }
    return out;
}

std::size_t DOMDocument::bytesOf(const DOMNode& node, bool deep) {
    std::size_t total = 0;
    std::vector<const DOMNode*> work{&node};
    while (!work.empty()) {
        const DOMNode* n = work.back();
        work.pop_back();
        total += n->footprint();
        if (deep)
            for (const auto& c : n->children()) work.push_back(c.get());
    }
    return total;
}

std::shared_ptr<DOMNode> DOMDocument::cloneNode(const DOMNode& src, bool deep, DOMWorkLimit* limit) {
    if (src.type() == DOMNode::Type::Document) return nullptr;
    // All or nothing: a copy that would not fit under the cap is not begun.
    std::size_t room = nodes_.size() < MaximumNodes ? MaximumNodes - nodes_.size() : 0;
    std::size_t needed = 0;
    std::vector<const DOMNode*> work{&src};
    while (!work.empty() && needed <= room) {
        const DOMNode* n = work.back();
        work.pop_back();
        ++needed;
        if (deep)
            for (const auto& c : n->children()) work.push_back(c.get());
    }
    if (needed > room) return nullptr;
    return copyNode(src, deep, limit);
}

std::shared_ptr<DOMNode> DOMDocument::copyNode(const DOMNode& src, bool deep, DOMWorkLimit* limit) {
    // The source's attributes are distinct already; the style attribute is read back from its declarations.
    auto copyOne = [this](const DOMNode& from) {
        auto n = make(from.type(), from.isElement() ? from.tagName() : from.data());
        if (n && from.isElement())
            for (const auto& [k, v] : from.attributes())
                n->appendParsedAttribute(k, k == "style" ? from.attribute("style") : v);
        return n;
    };
    auto top = copyOne(src);
    if (!top || !deep) return top;
    // Trees script builds may be as deep as they have nodes: copied from a list of work, not by recursion.
    std::vector<std::pair<const DOMNode*, DOMNode*>> work{{&src, top.get()}};
    while (!work.empty()) {
        auto [from, to] = work.back();
        work.pop_back();
        for (const auto& c : from->children()) {
            if (!DOMWorkLimit::step(limit)) return top;
            auto copied = copyOne(*c);
            if (!copied) continue;
            to->appendParsedChild(copied);
            if (!c->children().empty()) work.emplace_back(c.get(), copied.get());
        }
    }
    return top;
}

std::shared_ptr<DOMNode> DOMDocument::documentElement(const std::shared_ptr<DOMNode>& document) const {
    for (const auto& c : (document ? document : root_)->children())
        if (c->isElement()) return c;
    return nullptr;
}

std::shared_ptr<DOMNode> DOMDocument::head(const std::shared_ptr<DOMNode>& document) const {
    auto html = documentElement(document);
    if (!html) return nullptr;
    for (const auto& c : html->children())
        if (c->tagName() == "head") return c;
    return nullptr;
}

std::shared_ptr<DOMNode> DOMDocument::body(const std::shared_ptr<DOMNode>& document) const {
    auto html = documentElement(document);
    if (!html) return nullptr;
    for (const auto& c : html->children())
        if (c->tagName() == "body" || c->tagName() == "frameset") return c;
    return nullptr;
}

std::string DOMDocument::title(const std::shared_ptr<DOMNode>& document) const {
    auto t = getElementsByTagName("title", document);
    if (t.empty()) return {};
    return collapseWhiteSpace(t.front()->textContent());
}

std::shared_ptr<DOMNode> DOMDocument::createDocumentNode() {
    return make(DOMNode::Type::Document, "");
}

std::shared_ptr<DOMNode> DOMDocument::ownerDocument(const DOMNode& node) const {
    const DOMNode* top = &node;
    std::shared_ptr<DOMNode> up;
    while ((up = top->parent())) top = up.get();
    if (top->type() == DOMNode::Type::Document) {
        if (top == root_.get()) return root_;
        if (auto d = nodeById(top->id())) return d;
    }
    auto it = owners_.find(top->id());
    auto recorded = it == owners_.end() ? nullptr : nodeById(it->second);
    return recorded ? recorded : root_;
}

void DOMDocument::setOwnerDocument(const DOMNode& node, const DOMNode& document) {
    if (&document == root_.get() || document.type() != DOMNode::Type::Document) owners_.erase(node.id());
    else owners_[node.id()] = document.id();
}

std::shared_ptr<DOMNode> DOMDocument::nodeById(std::uint32_t id) const {
    auto it = nodes_.find(id);
    return it == nodes_.end() ? nullptr : it->second;
}

std::shared_ptr<DOMNode> DOMDocument::createElement(const std::string& tag) {
    return make(DOMNode::Type::Element, tag.empty() ? "unknown" : tag);
}

std::shared_ptr<DOMNode> DOMDocument::createTextNode(std::string text) {
    return make(DOMNode::Type::Text, std::move(text));
}

std::shared_ptr<DOMNode> DOMDocument::createComment(std::string text) {
    return make(DOMNode::Type::Comment, std::move(text));
}

std::vector<std::shared_ptr<DOMNode>> DOMDocument::elements(const std::shared_ptr<DOMNode>& scope,
                                                            DOMWorkLimit* limit) const {
    std::vector<std::shared_ptr<DOMNode>> out;
    std::vector<std::shared_ptr<DOMNode>> stack;
    const auto& start = scope ? scope : root_;
    for (auto it = start->children().rbegin(); it != start->children().rend(); ++it) stack.push_back(*it);
    while (!stack.empty() && DOMWorkLimit::step(limit)) {
        auto n = stack.back();
        stack.pop_back();
        if (!n->isElement()) continue;
        out.push_back(n);
        for (auto it = n->children().rbegin(); it != n->children().rend(); ++it) stack.push_back(*it);
    }
    return out;
}

std::shared_ptr<DOMNode> DOMDocument::getElementById(const std::string& id, DOMWorkLimit* limit) const {
    if (id.empty()) return nullptr;
    for (const auto& e : elements(nullptr, limit))
        if (e->attribute("id") == id) return e;
    return nullptr;
}

std::vector<std::shared_ptr<DOMNode>> DOMDocument::getElementsByTagName(const std::string& rawTag,
                                                                        const std::shared_ptr<DOMNode>& scope,
                                                                        DOMWorkLimit* limit) const {
    std::string tag = rawTag;
    for (auto& c : tag) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::vector<std::shared_ptr<DOMNode>> out;
    for (const auto& e : elements(scope, limit))
        if (tag == "*" || e->tagName() == tag) out.push_back(e);
    return out;
}

std::vector<std::shared_ptr<DOMNode>> DOMDocument::querySelectorAll(const std::string& selector,
                                                                    const std::shared_ptr<DOMNode>& scope) const {
    return DOMSelector::parse(selector).select(scope ? *scope : *root_);
}

std::shared_ptr<DOMNode> DOMDocument::querySelector(const std::string& selector,
                                                    const std::shared_ptr<DOMNode>& scope) const {
    auto first = DOMSelector::parse(selector).select(scope ? *scope : *root_, true);
    return first.empty() ? nullptr : first.front();
}

bool DOMDocument::matches(const DOMNode& element, const std::string& selector) {
    return DOMSelector::parse(selector).matches(element);
}

} // namespace platform
