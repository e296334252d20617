#include "platform/web/WebPageBindings.h"

#include <cctype>
#include <cstring>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "duktape.h"
#include "platform/base/Log.h"
#include "platform/base/Strings.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/runloop/Clock.h"
#include "platform/web/DOMSelector.h"
#include "platform/web/ScriptContext.h"
#include "platform/web/WebPage.h"

namespace platform {

namespace {

// A heap without a page (made ahead, or its page gone) answers every call about the page with an error.
WebPage& pageOf(duk_context* ctx) {
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, "page");
    auto* page = static_cast<WebPage*>(duk_get_pointer(ctx, -1));
    duk_pop_2(ctx);
    if (page == nullptr) (void)duk_error(ctx, DUK_ERR_ERROR, "the document has no page");
    return *page;
}

// Refuses native work whose bytes (`what`: text to be built, a list to be split) would not fit.
void refuseBytes(duk_context* ctx, const char* what) {
    (void)duk_error(ctx, DUK_ERR_RANGE_ERROR, "out of memory: %s would pass the page's memory budget", what);
}

// One native call: every native of the table runs inside one (see trampoline), so the native bytes a call
// holds while it runs (copies of its arguments, URLs resolved, text being built) are charged to its page
// and given back when it returns or throws, whatever the native is. Calls nest: a native may run the
// page's scripts, which call natives.
class NativeCall {
public:
    NativeCall() : outer_(current_) { current_ = this; }
    ~NativeCall() {
        if (page_ != nullptr) page_->discharge(bytes_);
        current_ = outer_;
    }
    NativeCall(const NativeCall&) = delete;
    NativeCall& operator=(const NativeCall&) = delete;

    // Charges `bytes` to the page until the innermost call returns (after a collection to make room if
    // need be); the page's RangeError, naming `what`, when they do not fit. Short strings are the
    // bookkeeping any call has, whatever its arguments: they are not counted.
    static void charge(duk_context* ctx, std::size_t bytes, const char* what) {
        if (bytes < SmallBytes) return;
        if (current_ == nullptr) (void)duk_error(ctx, DUK_ERR_ERROR, "a native ran outside its call");
        WebPage& page = pageOf(ctx);
        if (!page.charge(bytes, ctx)) refuseBytes(ctx, what);
        current_->page_ = &page;
        current_->bytes_ += bytes;
    }
    static constexpr std::size_t SmallBytes = 4096;

private:
    static thread_local NativeCall* current_;
    NativeCall* outer_;
    WebPage* page_ = nullptr;
    std::size_t bytes_ = 0;
};

thread_local NativeCall* NativeCall::current_ = nullptr;

// What every native of the table is called through: made from the table's entry, so a native added later
// gets its call scope without a line of its own.
template <duk_c_function F>
duk_ret_t trampoline(duk_context* ctx) {
    NativeCall call;
    return F(ctx);
}

// The text of an argument without a copy, good while the argument stays on the stack. Prefer it.
std::string_view stringViewArg(duk_context* ctx, duk_idx_t i) {
    duk_size_t len = 0;
    const char* s = duk_safe_to_lstring(ctx, i, &len);
    return std::string_view(s != nullptr ? s : "", len);
}

// A copy of an argument, charged to the page for the call.
std::string stringArg(duk_context* ctx, duk_idx_t i) {
    const std::string_view s = stringViewArg(ctx, i);
    NativeCall::charge(ctx, DOMNode::stringBytes(s.size()), "a copy of the argument");
    return std::string(s);
}

unsigned idArg(duk_context* ctx, duk_idx_t i) {
    double d = duk_to_number(ctx, i);
    return d >= 1 && d < 4294967296.0 ? static_cast<unsigned>(d) : 0;
}

// Node ids go to the prelude, which holds nodes through their wrappers (see DOMWrapperTable).
void pushNode(duk_context* ctx, const std::shared_ptr<DOMNode>& node) {
    duk_push_uint(ctx, node ? node->id() : 0);
}

// Refuses growth of the page's documents past its memory budget, as the heap refuses an allocation.
void refuseGrowth(duk_context* ctx) {
    (void)duk_error(ctx, DUK_ERR_RANGE_ERROR, "out of memory: the page's documents would pass its memory budget");
}

void admit(duk_context* ctx, WebPage& page, std::size_t bytes) {
    if (!page.admitBytes(ctx, bytes)) refuseGrowth(ctx);
}

// Room for `count` more nodes under the document's cap, after a collection if need be; a RangeError
// when there is none.
void admitNodes(duk_context* ctx, WebPage& page, std::size_t count) {
    if (!page.admitNodes(ctx, count)) (void)duk_error(ctx, DUK_ERR_RANGE_ERROR, "the document holds too many nodes");
}

// Whether an element can take children: insertion refuses below a depth (see DOMNode::insertBefore).
bool takesChildren(const DOMNode& node) {
    int depth = 0;
    for (auto p = node.parent(); p; p = p->parent())
        if (++depth >= 2 * DOMNode::MaxDepth) return false;
    return true;
}

void refuseDepth(duk_context* ctx) {
    (void)duk_error(ctx, DUK_ERR_RANGE_ERROR, "HierarchyRequestError: the element is too deep to take children");
}

void pushIds(duk_context* ctx, const std::vector<std::shared_ptr<DOMNode>>& nodes) {
    duk_push_array(ctx);
    duk_uarridx_t i = 0;
    for (const auto& n : nodes) {
        pushNode(ctx, n);
        duk_put_prop_index(ctx, -2, i++);
    }
}

// Work whose size the arguments or the page's tree set stops when the entry's time is up...
DOMWorkLimit entryLimit(duk_context* ctx) {
    return DOMWorkLimit([ctx] { return ScriptContext::outOfTime(ctx); });
}

// ...and the native then throws, leaving what it made: the entry stays out of time, so the error unwinds
// the page's script whatever catches it on the way.
void throwIfStopped(duk_context* ctx, const DOMWorkLimit& limit) {
    if (limit.stopped()) (void)duk_error(ctx, DUK_ERR_RANGE_ERROR, "the script ran past its time limit");
}

// The nodes of `html`, made in the page's document. The parse is admitted as it goes (its memory charged to
// the page, its nodes within the room left, its time the entry's) and abandoned whole when it would pass
// them, after one forced collection to make room: a script error then, and nothing of it is made.
std::vector<std::shared_ptr<DOMNode>> parseWithinBudget(duk_context* ctx, WebPage& page, std::string_view html) {
    DOMWorkLimit limit = entryLimit(ctx);
    DOMParseBudget budget{[&page](std::size_t bytes) { return page.charge(bytes); },
                          [&page](std::size_t bytes) { page.discharge(bytes); }, [&page] { return page.roomForDocuments(); },
                          &limit};
    for (int attempt = 0;; ++attempt) {
        budget.outcome = DOMParseBudget::Outcome::Done;
        auto nodes = page.document().parseFragment(html, &budget);
        switch (budget.outcome) {
        case DOMParseBudget::Outcome::Done: return nodes;
        case DOMParseBudget::Outcome::OutOfTime: throwIfStopped(ctx, limit); break;
        case DOMParseBudget::Outcome::NoRoom:
        case DOMParseBudget::Outcome::TooManyNodes:
            if (attempt == 0) {
                page.makeRoom(ctx);
                continue;
            }
            if (budget.outcome == DOMParseBudget::Outcome::NoRoom) refuseGrowth(ctx);
            (void)duk_error(ctx, DUK_ERR_RANGE_ERROR, "the document holds too many nodes");
        }
    }
}

// Text that is no selector is a SyntaxError, as in a browser (valid ones the subset does not evaluate
// match nothing).
DOMSelector selectorArg(duk_context* ctx, duk_idx_t i) {
    auto selector = DOMSelector::parse(stringViewArg(ctx, i));
    if (!selector.valid()) (void)duk_error(ctx, DUK_ERR_SYNTAX_ERROR, "%s", selector.error().c_str());
    return selector;
}

std::string upper(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// "backgroundColor" -> "background-color"; "cssFloat" -> "float"; names already dashed pass. The name
// made (twice the argument at most) is charged for the call.
std::string cssName(duk_context* ctx, std::string_view name) {
    if (name == "cssFloat") return "float";
    NativeCall::charge(ctx, DOMNode::stringBytes(2 * name.size()), "the style property's name");
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        if (std::isupper(static_cast<unsigned char>(c))) {
            out += '-';
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else {
            out += c;
        }
    }
    return out;
}

// Parses a CSS length or attribute size into pixels: "120", "120px", "50%" (of `percentBase`).
double lengthValue(const std::string& text, double percentBase) {
    if (text.empty()) return 0;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || !(v == v)) return 0;
    std::string_view rest(end, static_cast<std::size_t>(text.c_str() + text.size() - end));
    while (!rest.empty() && std::isspace(static_cast<unsigned char>(rest.back()))) rest.remove_suffix(1);
    if (rest == "%") return v * percentBase / 100.0;
    if (!rest.empty() && rest != "px") return 0;
    return v < 0 ? 0 : v;
}

// Document fragments are elements of a tag no markup can name; inserting one moves its children.
constexpr const char* kFragmentTag = "#document-fragment";

bool isFragment(const DOMNode& node) {
    return node.isElement() && node.tagName() == kFragmentTag;
}

// Pushes `node`'s wrapper (see DOMWrapperTable), pinned in the prelude's table; made if none lives. Null
// for no node, and the document object for the document.
void pushWrapper(duk_context* ctx, WebPage& page, const std::shared_ptr<DOMNode>& node) {
    if (!node) {
        duk_push_null(ctx);
        return;
    }
    const auto& objects = page.scriptObjects();
    if (node == page.document().root()) {
        duk_push_heapptr(ctx, objects.document);
        return;
    }
    const unsigned id = node->id();
    if (void* object = page.liveWrapper(id)) {
        duk_push_heapptr(ctx, object);
    } else {
        duk_push_object(ctx);
        duk_push_heapptr(ctx, node->type() == DOMNode::Type::Document ? objects.documentPrototype
                              : !node->isElement()                     ? objects.textPrototype
                              : isFragment(*node)                      ? objects.fragmentPrototype
                                                                       : objects.elementPrototype);
        duk_set_prototype(ctx, -2);
        duk_push_string(ctx, "__id");
        duk_push_uint(ctx, id);
        // Read-only, hidden from enumeration, fixed: as Object.defineProperty makes it.
        duk_def_prop(ctx, -3, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_HAVE_WRITABLE | DUK_DEFPROP_HAVE_ENUMERABLE |
                                  DUK_DEFPROP_HAVE_CONFIGURABLE);
        page.adoptWrapper(duk_get_heapptr(ctx, -1), id);
    }
    duk_push_heapptr(ctx, objects.pins);
    duk_dup(ctx, -2);
    duk_put_prop_index(ctx, -2, id);
    duk_pop(ctx);
}

#define NODE_OR(ret)                                       \
    auto node = pageOf(ctx).document().nodeById(idArg(ctx, 0)); \
    if (!node) {                                           \
        ret;                                               \
        return 1;                                          \
    }

duk_ret_t nType(duk_context* ctx) {
    NODE_OR(duk_push_int(ctx, 0));
    int t = 0;
    switch (node->type()) {
    case DOMNode::Type::Element: t = isFragment(*node) ? 11 : 1; break;
    case DOMNode::Type::Text: t = 3; break;
    case DOMNode::Type::Comment: t = 8; break;
    case DOMNode::Type::Document: t = 9; break;
    }
    duk_push_int(ctx, t);
    return 1;
}

// Text made natively (`size` bytes at most, by `build`) is admitted before it is built: the native string
// and the heap's copy of it, held at once, must both fit.
template <typename Build>
void pushBuilt(duk_context* ctx, std::size_t size, Build&& build) {
    WebPage& page = pageOf(ctx);
    // (Short text is built inside the string object, and its copy is the heap's alone to admit.)
    const std::size_t bytes = DOMNode::stringBytes(size);
    WebPage::ScopedCharge native(page, bytes, ctx);
    std::optional<WebPage::ScopedCharge> copy;
    if (native.ok()) copy.emplace(page, bytes, ctx);
    if (!copy || !copy->ok()) refuseBytes(ctx, "the text");
    const std::string t = build();
    copy.reset();  // the heap counts its copy itself
    duk_push_lstring(ctx, t.data(), t.size());
}

duk_ret_t nTag(duk_context* ctx) {
    NODE_OR(duk_push_string(ctx, ""));
    pushBuilt(ctx, node->tagName().size(), [&node] { return upper(node->tagName()); });
    return 1;
}

// An attribute's value where it lies (null for none, and for the style attribute, which is made of its
// declarations).
const std::string* rawAttribute(const DOMNode& node, std::string_view name) {
    if (name == "style") return nullptr;
    for (const auto& [n, v] : node.attributes())
        if (n == name) return &v;
    return nullptr;
}

// The length of the style attribute's text, which is made of its declarations.
std::size_t styleTextSize(const DOMNode& node) {
    std::size_t size = 0;
    node.forEachStylePiece([&size](std::string_view piece) { size += piece.size(); });
    return size;
}

// An attribute's value goes to the heap from where it lies; the style attribute's is made of its declarations.
void pushAttribute(duk_context* ctx, const DOMNode& node, const std::string& name, const std::string& raw) {
    if (name != "style") {
        duk_push_lstring(ctx, raw.data(), raw.size());
        return;
    }
    pushBuilt(ctx, styleTextSize(node), [&node] { return node.attribute("style"); });
}

duk_ret_t nAttr(duk_context* ctx) {
    NODE_OR(duk_push_null(ctx));
    std::string name = stringArg(ctx, 1);
    for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const auto& [n, v] : node->attributes()) {
        if (n == name) {
            pushAttribute(ctx, *node, n, v);
            return 1;
        }
    }
    duk_push_null(ctx);
    return 1;
}

duk_ret_t nHasAttr(duk_context* ctx) {
    NODE_OR(duk_push_false(ctx));
    std::string name = stringArg(ctx, 1);
    for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    duk_push_boolean(ctx, node->hasAttribute(name));
    return 1;
}

duk_ret_t nSetAttr(duk_context* ctx) {
    NODE_OR(duk_push_undefined(ctx));
    if (!node->isElement()) return 0;
    std::string name = stringArg(ctx, 1);
    for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    // Read where it lies: the node's copy, admitted, is the only one.
    const std::string_view value = stringViewArg(ctx, 2);
    WebPage& page = pageOf(ctx);
    // (The node lower-cases a copy of the name of its own.)
    NativeCall::charge(ctx, DOMNode::stringBytes(name.size()), "the attribute's name");
    admit(ctx, page, node->bytesToSetAttribute(name, value));
    DOMWorkLimit limit = entryLimit(ctx);
    node->setAttribute(name, value, &limit);
    page.attributeChanged(node, name);
    throwIfStopped(ctx, limit);
    return 0;
}

duk_ret_t nRemoveAttr(duk_context* ctx) {
    NODE_OR(duk_push_undefined(ctx));
    const std::string name = stringArg(ctx, 1);
    // (The node lower-cases a copy of the name of its own.)
    NativeCall::charge(ctx, DOMNode::stringBytes(name.size()), "the attribute's name");
    node->removeAttribute(name);
    pageOf(ctx).layoutChanged();
    return 0;
}

// What resolving a link of `length` bytes holds at once, at most: the trimmed text, the URL's own text and
// its parts, and the text URL::resolve builds on the way.
std::size_t resolutionBytes(std::size_t length) {
    return 4 * DOMNode::stringBytes(length);
}

duk_ret_t nResolvedAttr(duk_context* ctx) {
    NODE_OR(duk_push_string(ctx, ""));
    const std::string name = stringArg(ctx, 1);
    if (!node->hasAttribute(name)) {
        duk_push_string(ctx, "");
        return 1;
    }
    // The style attribute is made of its declarations; any other is read where it lies.
    const std::string* raw = rawAttribute(*node, name);
    std::string built;
    if (raw == nullptr) {
        NativeCall::charge(ctx, DOMNode::stringBytes(styleTextSize(*node)), "the attribute");
        built = node->attribute(name);
        raw = &built;
    }
    NativeCall::charge(ctx, resolutionBytes(raw->size()), "the link's URL");
    auto url = pageOf(ctx).resolve(*raw);
    const std::string& out = url ? url->absoluteString() : *raw;
    duk_push_lstring(ctx, out.data(), out.size());
    return 1;
}

duk_ret_t nSize(duk_context* ctx) {
    NODE_OR(duk_push_int(ctx, 0));
    int axis = duk_to_int(ctx, 1);
    WebPage& page = pageOf(ctx);
    auto size = page.imageSize(node->id());
    bool loaded = size.has_value();
    int natural[2] = {loaded ? static_cast<int>(size->width) : 0, loaded ? static_cast<int>(size->height) : 0};
    if (axis == 4) {
        duk_push_int(ctx, loaded ? 1 : 0);
        return 1;
    }
    if (axis >= 2) {
        duk_push_int(ctx, natural[axis - 2]);
        return 1;
    }
    const char* name = axis == 0 ? "width" : "height";
    double base = axis == 0 ? page.options().viewport.width : page.options().viewport.height;
    double v = lengthValue(node->styleProperty(name), base);
    if (v == 0)
        if (const std::string* raw = rawAttribute(*node, name)) v = lengthValue(*raw, base);
    if (v == 0) v = natural[axis];
    duk_push_int(ctx, static_cast<int>(v));
    return 1;
}

// The paint model's box of an element, [left, top, width, height] in the viewport (pages do not
// scroll), or null for an element the model does not draw.
duk_ret_t nBox(duk_context* ctx) {
    NODE_OR(duk_push_null(ctx));
    // The layout behind it walks the whole document: on the entry's meter, as any walk the page sized.
    DOMWorkLimit limit = entryLimit(ctx);
    auto box = node->isElement() ? pageOf(ctx).boxOf(*node, &limit) : std::nullopt;
    throwIfStopped(ctx, limit);
    if (!box) {
        duk_push_null(ctx);
        return 1;
    }
    duk_push_array(ctx);
    const float parts[] = {box->origin.x, box->origin.y, box->size.width, box->size.height};
    for (duk_uarridx_t i = 0; i < 4; ++i) {
        duk_push_number(ctx, parts[i]);
        duk_put_prop_index(ctx, -2, i);
    }
    return 1;
}

duk_ret_t nParent(duk_context* ctx) {
    NODE_OR(duk_push_int(ctx, 0));
    pushNode(ctx, node->parent());
    return 1;
}

// An event's path above its target: the nearest 2 x DOMNode::MaxDepth ancestors, nearest first, then the
// document when the tree is the document's and it is further up. Insertion refuses below that depth, so
// only a chain built bottom-up is deeper; the walk up it is native and linear, never recursive, and what
// script gets stays bounded however deep the page made it.
duk_ret_t nPath(duk_context* ctx) {
    NODE_OR(duk_push_array(ctx));
    const auto root = pageOf(ctx).document().root();
    duk_push_array(ctx);
    duk_uarridx_t count = 0;
    std::shared_ptr<DOMNode> top, last;
    for (auto p = node->parent(); p; p = p->parent()) {
        top = p;
        if (count >= 2 * DOMNode::MaxDepth) continue;
        pushNode(ctx, p);
        duk_put_prop_index(ctx, -2, count++);
        last = p;
    }
    if (top == root && last != root) {
        pushNode(ctx, root);
        duk_put_prop_index(ctx, -2, count);
    }
    return 1;
}

duk_ret_t nSibling(duk_context* ctx) {
    NODE_OR(duk_push_int(ctx, 0));
    int dir = duk_to_int(ctx, 1);
    auto p = node->parent();
    std::shared_ptr<DOMNode> out;
    if (p) {
        const auto& kids = p->children();
        for (std::size_t i = 0; i < kids.size(); ++i) {
            if (kids[i] != node) continue;
            if (dir > 0 && i + 1 < kids.size()) out = kids[i + 1];
            if (dir < 0 && i > 0) out = kids[i - 1];
            break;
        }
    }
    pushNode(ctx, out);
    return 1;
}

duk_ret_t nChildren(duk_context* ctx) {
    NODE_OR(duk_push_array(ctx));
    bool elementsOnly = duk_to_boolean(ctx, 1);
    std::vector<std::shared_ptr<DOMNode>> out;
    for (const auto& c : node->children())
        if (!elementsOnly || c->isElement()) out.push_back(c);
    pushIds(ctx, out);
    return 1;
}

// Inserts the child before the reference (at the end without one); a fragment gives its children
// instead, all of them or, when one cannot go, none. Scripts among them run once all are in.
duk_ret_t nInsert(duk_context* ctx) {
    WebPage& page = pageOf(ctx);
    DOMDocument& document = page.document();
    auto parent = document.nodeById(idArg(ctx, 0));
    auto child = document.nodeById(idArg(ctx, 1));
    unsigned refId = idArg(ctx, 2);
    auto ref = refId != 0 ? document.nodeById(refId) : nullptr;
    if (!parent || !child || (refId != 0 && !ref) || child->contains(parent.get())) {
        duk_push_false(ctx);
        return 1;
    }
    const bool fragment = isFragment(*child);
    std::vector<std::shared_ptr<DOMNode>> moving = fragment ? child->children() : std::vector{child};
    const bool wasConnected = !fragment && document.root()->contains(child.get());
    // A fragment's children go all together or, when one cannot, none (the fragment is left as it was).
    if (!(fragment ? parent->insertChildrenBefore(moving, ref) : parent->insertBefore(child, ref))) {
        duk_push_false(ctx);
        return 1;
    }
    // Recorded for when they leave the tree again.
    auto owner = document.ownerDocument(*parent);
    for (const auto& c : moving) document.setOwnerDocument(*c, *owner);
    if (wasConnected) page.layoutChanged();  // it may have left the document's tree
    page.nodesInserted(moving);
    duk_push_true(ctx);
    return 1;
}

duk_ret_t nClone(duk_context* ctx) {
    NODE_OR(duk_push_int(ctx, 0));
    WebPage& page = pageOf(ctx);
    if (node->type() == DOMNode::Type::Document)
        return duk_error(ctx, DUK_ERR_ERROR, "NotSupportedError: the document cannot be cloned");
    page.collectGarbage(ctx);
    const bool deep = duk_to_boolean(ctx, 1);
    admit(ctx, page, DOMDocument::bytesOf(*node, deep));
    DOMWorkLimit limit = entryLimit(ctx);
    auto copy = page.document().cloneNode(*node, deep, &limit);
    throwIfStopped(ctx, limit);
    if (!copy) {
        // Past the node cap: what nobody holds may make the room.
        page.collectGarbage(ctx, true);
        copy = page.document().cloneNode(*node, deep, &limit);
        throwIfStopped(ctx, limit);
    }
    if (!copy) return duk_error(ctx, DUK_ERR_RANGE_ERROR, "the document holds too many nodes");
    page.document().setOwnerDocument(*copy, *page.document().ownerDocument(*node));
    // A copied script that ran (or was never to run) does not run when the copy is inserted.
    std::vector<std::shared_ptr<DOMNode>> from{node}, to{copy};
    for (std::size_t i = 0; i < from.size(); ++i) {
        if (from[i]->tagName() == "script" && page.hasScriptStarted(from[i]->id())) page.markScriptStarted(to[i]->id());
        const auto& a = from[i]->children();
        const auto& b = to[i]->children();
        for (std::size_t k = 0; k < a.size() && k < b.size(); ++k) {
            from.push_back(a[k]);
            to.push_back(b[k]);
        }
    }
    pushWrapper(ctx, page, copy);
    return 1;
}

// The document node a new node is for: the page's (0) or one script made.
std::shared_ptr<DOMNode> documentArg(duk_context* ctx, duk_idx_t i) {
    DOMDocument& document = pageOf(ctx).document();
    auto d = document.nodeById(idArg(ctx, i));
    return d && d->type() == DOMNode::Type::Document ? d : document.root();
}

duk_ret_t nFragment(duk_context* ctx) {
    WebPage& page = pageOf(ctx);
    page.collectGarbage(ctx);
    admit(ctx, page, DOMNode::NodeBytes + std::strlen(kFragmentTag));
    admitNodes(ctx, page, 1);
    auto n = page.document().createElement(kFragmentTag);
    if (!n) return duk_error(ctx, DUK_ERR_RANGE_ERROR, "the document holds too many nodes");
    page.document().setOwnerDocument(*n, *documentArg(ctx, 0));
    pushWrapper(ctx, page, n);
    return 1;
}

duk_ret_t nNewDocument(duk_context* ctx) {
    WebPage& page = pageOf(ctx);
    DOMDocument& document = page.document();
    page.collectGarbage(ctx);
    admit(ctx, page, DOMNode::NodeBytes);
    admitNodes(ctx, page, 1);
    auto n = document.createDocumentNode();
    if (!n) return duk_error(ctx, DUK_ERR_RANGE_ERROR, "the document holds too many nodes");
    pushNode(ctx, n);
    return 1;
}

duk_ret_t nOwner(duk_context* ctx) {
    NODE_OR(duk_push_int(ctx, 0));
    pushNode(ctx, pageOf(ctx).document().ownerDocument(*node));
    return 1;
}

duk_ret_t nMatches(duk_context* ctx) {
    NODE_OR(duk_push_false(ctx));
    auto selector = selectorArg(ctx, 1);
    DOMWorkLimit limit = entryLimit(ctx);
    bool matched = node->isElement() && !isFragment(*node) && selector.matches(*node, &limit);
    throwIfStopped(ctx, limit);
    duk_push_boolean(ctx, matched);
    return 1;
}

// The element or its nearest ancestor element that matches (0 for none).
duk_ret_t nClosest(duk_context* ctx) {
    NODE_OR(duk_push_int(ctx, 0));
    auto selector = selectorArg(ctx, 1);
    DOMWorkLimit limit = entryLimit(ctx);
    const DOMNode* found = node->isElement() && !isFragment(*node) ? selector.closest(*node, &limit) : nullptr;
    throwIfStopped(ctx, limit);
    pushNode(ctx, found != nullptr ? pageOf(ctx).document().nodeById(found->id()) : nullptr);
    return 1;
}

// [[name, value], ...] in source order.
duk_ret_t nAttrs(duk_context* ctx) {
    NODE_OR(duk_push_array(ctx));
    duk_push_array(ctx);
    duk_uarridx_t i = 0;
    for (const auto& [name, raw] : node->attributes()) {
        duk_push_array(ctx);
        duk_push_lstring(ctx, name.data(), name.size());
        duk_put_prop_index(ctx, -2, 0);
        pushAttribute(ctx, *node, name, raw);
        duk_put_prop_index(ctx, -2, 1);
        duk_put_prop_index(ctx, -2, i++);
    }
    return 1;
}

duk_ret_t nRemove(duk_context* ctx) {
    WebPage& page = pageOf(ctx);
    auto parent = page.document().nodeById(idArg(ctx, 0));
    auto child = page.document().nodeById(idArg(ctx, 1));
    auto owner = parent ? page.document().ownerDocument(*parent) : nullptr;
    bool removed = parent && child && parent->removeChild(child);
    duk_push_boolean(ctx, removed);
    if (!removed) return 1;
    page.document().setOwnerDocument(*child, *owner);
    page.layoutChanged();
    return 1;
}

duk_ret_t nContains(duk_context* ctx) {
    WebPage& page = pageOf(ctx);
    auto a = page.document().nodeById(idArg(ctx, 0));
    auto b = page.document().nodeById(idArg(ctx, 1));
    duk_push_boolean(ctx, a && b && a->contains(b.get()));
    return 1;
}

// Text made of the tree: its size is found first, in a walk as long as building it.
void pushSerialized(duk_context* ctx, const DOMNode& node, DOMNode::Serialization kind) {
    DOMWorkLimit limit = entryLimit(ctx);
    const std::size_t size = node.serializedSize(kind, &limit);
    throwIfStopped(ctx, limit);
    pushBuilt(ctx, size, [&] {
        std::string t = node.serialized(kind, &limit, size);
        throwIfStopped(ctx, limit);
        return t;
    });
}

duk_ret_t nText(duk_context* ctx) {
    NODE_OR(duk_push_string(ctx, ""));
    pushSerialized(ctx, *node, DOMNode::Serialization::TextContent);
    return 1;
}

// Children that leave the tree keep the document they were in.
void removeChildren(DOMDocument& document, DOMNode& node) {
    auto owner = document.ownerDocument(node);
    for (const auto& c : node.children()) document.setOwnerDocument(*c, *owner);
    node.removeAllChildren();
}

duk_ret_t nSetText(duk_context* ctx) {
    NODE_OR(duk_push_undefined(ctx));
    // Read where it lies: the one copy made is the node's, admitted.
    const std::string_view text = stringViewArg(ctx, 1);
    WebPage& page = pageOf(ctx);
    if (node->type() == DOMNode::Type::Text || node->type() == DOMNode::Type::Comment) {
        if (text.size() > node->data().size()) admit(ctx, page, text.size() - node->data().size());
        node->setData(std::string(text));
        page.layoutChanged();
        return 0;
    }
    if (node->type() != DOMNode::Type::Element) return 0;
    page.collectGarbage(ctx);
    DOMDocument& document = page.document();
    // The new text is made before the old children go: a refusal leaves the element as it was.
    std::shared_ptr<DOMNode> t;
    if (!text.empty()) {
        if (!takesChildren(*node)) refuseDepth(ctx);
        admit(ctx, page, DOMNode::NodeBytes + text.size());
        admitNodes(ctx, page, 1);
        t = document.createTextNode(std::string(text));
        if (!t) return duk_error(ctx, DUK_ERR_RANGE_ERROR, "the document holds too many nodes");
    }
    removeChildren(document, *node);
    if (t) node->appendChild(t);
    pageOf(ctx).layoutChanged();
    return 0;
}

duk_ret_t nInnerText(duk_context* ctx) {
    NODE_OR(duk_push_string(ctx, ""));
    pushSerialized(ctx, *node, DOMNode::Serialization::InnerText);
    return 1;
}

duk_ret_t nHTML(duk_context* ctx) {
    NODE_OR(duk_push_string(ctx, ""));
    pushSerialized(ctx, *node,
                   duk_to_boolean(ctx, 1) ? DOMNode::Serialization::OuterHTML : DOMNode::Serialization::InnerHTML);
    return 1;
}

// Markup parsed for `parent` goes in before `ref`, at once; its scripts never run, as in a browser.
void insertMarkup(duk_context* ctx, WebPage& page, const std::shared_ptr<DOMNode>& parent,
                  const std::shared_ptr<DOMNode>& ref, const std::vector<std::shared_ptr<DOMNode>>& nodes) {
    for (const auto& n : nodes) {
        for (const auto& s : page.document().getElementsByTagName("script", n)) page.markScriptStarted(s->id());
        if (n->tagName() == "script") page.markScriptStarted(n->id());
    }
    if (!parent->insertChildrenBefore(nodes, ref))
        refuseDepth(ctx);
    page.nodesInserted(nodes);
}

duk_ret_t nSetHTML(duk_context* ctx) {
    NODE_OR(duk_push_undefined(ctx));
    if (!node->isElement()) return 0;
    WebPage& page = pageOf(ctx);
    page.collectGarbage(ctx);
    auto nodes = parseWithinBudget(ctx, page, stringViewArg(ctx, 1));
    if (!nodes.empty() && !takesChildren(*node)) refuseDepth(ctx);
    removeChildren(page.document(), *node);
    insertMarkup(ctx, page, node, nullptr, nodes);
    page.layoutChanged();
    return 0;
}

// insertAdjacentHTML(where, html) of an element.
duk_ret_t nAdjacent(duk_context* ctx) {
    NODE_OR(duk_push_undefined(ctx));
    std::string where = stringArg(ctx, 1);
    for (auto& c : where) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const bool outside = where == "beforebegin" || where == "afterend";
    if (!outside && where != "afterbegin" && where != "beforeend")
        return duk_error(ctx, DUK_ERR_SYNTAX_ERROR, "SyntaxError: %s is no position", where.c_str());
    auto parent = outside ? node->parent() : node;
    if (!parent || parent->type() == DOMNode::Type::Document)
        return duk_error(ctx, DUK_ERR_ERROR, "NoModificationAllowedError: the element has no parent element");
    std::shared_ptr<DOMNode> ref;
    if (where == "beforebegin") {
        ref = node;
    } else if (where == "afterbegin") {
        ref = node->children().empty() ? nullptr : node->children().front();
    } else if (where == "afterend") {
        const auto& kids = parent->children();
        auto it = std::find(kids.begin(), kids.end(), node);
        if (it != kids.end() && ++it != kids.end()) ref = *it;
    }
    WebPage& page = pageOf(ctx);
    page.collectGarbage(ctx);
    auto nodes = parseWithinBudget(ctx, page, stringViewArg(ctx, 2));
    insertMarkup(ctx, page, parent, ref, nodes);
    return 0;
}

// The first or last child (elements only, if asked), as an id.
duk_ret_t nEdgeChild(duk_context* ctx) {
    NODE_OR(duk_push_int(ctx, 0));
    const bool last = duk_to_boolean(ctx, 1), elementsOnly = duk_to_boolean(ctx, 2);
    const auto& kids = node->children();
    std::shared_ptr<DOMNode> found;
    if (last) {
        for (auto it = kids.rbegin(); it != kids.rend() && !found; ++it)
            if (!elementsOnly || (*it)->isElement()) found = *it;
    } else {
        for (auto it = kids.begin(); it != kids.end() && !found; ++it)
            if (!elementsOnly || (*it)->isElement()) found = *it;
    }
    pushNode(ctx, found);
    return 1;
}

duk_ret_t nCreate(duk_context* ctx) {
    WebPage& page = pageOf(ctx);
    const std::string_view s = stringViewArg(ctx, 0);
    int kind = duk_to_int(ctx, 1);
    std::shared_ptr<DOMNode> n;
    page.collectGarbage(ctx);
    admit(ctx, page, DOMNode::NodeBytes + s.size());
    admitNodes(ctx, page, 1);
    // A text's one copy is the node's, admitted; a tag is lower-cased in a copy of its own first.
    if (kind == 1) {
        std::string tag = stringArg(ctx, 0);
        for (auto& c : tag) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        n = page.document().createElement(tag);
    } else if (kind == 3) {
        n = page.document().createTextNode(std::string(s));
    } else {
        n = page.document().createComment(std::string(s));
    }
    if (!n) return duk_error(ctx, DUK_ERR_RANGE_ERROR, "the document holds too many nodes");
    page.document().setOwnerDocument(*n, *documentArg(ctx, 2));
    pushWrapper(ctx, page, n);
    return 1;
}

std::shared_ptr<DOMNode> scopeArg(duk_context* ctx, duk_idx_t i) {
    unsigned id = idArg(ctx, i);
    return id == 0 ? nullptr : pageOf(ctx).document().nodeById(id);
}

duk_ret_t nById(duk_context* ctx) {
    DOMWorkLimit limit = entryLimit(ctx);
    auto found = pageOf(ctx).document().getElementById(stringArg(ctx, 0), &limit);
    throwIfStopped(ctx, limit);
    pushNode(ctx, found);
    return 1;
}

duk_ret_t nByTag(duk_context* ctx) {
    auto scope = scopeArg(ctx, 0);
    if (idArg(ctx, 0) != 0 && !scope) {
        duk_push_array(ctx);
        return 1;
    }
    DOMWorkLimit limit = entryLimit(ctx);
    auto found = pageOf(ctx).document().getElementsByTagName(stringArg(ctx, 1), scope, &limit);
    throwIfStopped(ctx, limit);
    pushIds(ctx, found);
    return 1;
}

// A list of any length is taken, as in a browser, when the names it splits into fit the page's budget.
// It is read where it lies, on the value stack.
duk_ret_t nByClass(duk_context* ctx) {
    auto scope = scopeArg(ctx, 0);
    const std::string_view list = stringViewArg(ctx, 1);
    if (idArg(ctx, 0) != 0 && !scope) {
        duk_push_array(ctx);
        return 1;
    }
    WebPage& page = pageOf(ctx);
    DOMWorkLimit limit = entryLimit(ctx);
    const std::size_t bytes = DOMSelector::classListBytes(list, &limit);
    throwIfStopped(ctx, limit);
    WebPage::ScopedCharge charge(page, bytes, ctx);
    if (!charge.ok()) refuseBytes(ctx, "the class list");
    const auto selector = DOMSelector::withClassList(list, &limit);
    throwIfStopped(ctx, limit);
    auto found = selector.select(scope ? *scope : *page.document().root(), false, &limit);
    throwIfStopped(ctx, limit);
    pushIds(ctx, found);
    return 1;
}

// Elements below the scope (the document for 0) that match, in document order; only the first when asked.
duk_ret_t nQuery(duk_context* ctx) {
    auto scope = scopeArg(ctx, 0);
    auto selector = selectorArg(ctx, 1);
    if (idArg(ctx, 0) != 0 && !scope) {
        duk_push_array(ctx);
        return 1;
    }
    DOMWorkLimit limit = entryLimit(ctx);
    auto found = selector.select(scope ? *scope : *pageOf(ctx).document().root(), duk_to_boolean(ctx, 2), &limit);
    throwIfStopped(ctx, limit);
    pushIds(ctx, found);
    return 1;
}

duk_ret_t nRoot(duk_context* ctx) {
    duk_push_uint(ctx, pageOf(ctx).document().root()->id());
    return 1;
}

duk_ret_t nPart(duk_context* ctx) {
    DOMDocument& doc = pageOf(ctx).document();
    int which = duk_to_int(ctx, 0);
    auto of = documentArg(ctx, 1);
    pushNode(ctx, which == 0 ? doc.documentElement(of) : which == 1 ? doc.head(of) : doc.body(of));
    return 1;
}

// The title element's text with its white space collapsed (as DOMDocument::title makes it), collapsed
// where it was built: the title is text made natively as any other, and held once.
duk_ret_t nTitle(duk_context* ctx) {
    DOMWorkLimit limit = entryLimit(ctx);
    const auto titles = pageOf(ctx).document().getElementsByTagName("title", documentArg(ctx, 0), &limit);
    throwIfStopped(ctx, limit);
    if (titles.empty()) {
        duk_push_string(ctx, "");
        return 1;
    }
    const DOMNode& title = *titles.front();
    const std::size_t size = title.serializedSize(DOMNode::Serialization::TextContent, &limit);
    throwIfStopped(ctx, limit);
    pushBuilt(ctx, size, [&] {
        std::string t = title.serialized(DOMNode::Serialization::TextContent, &limit, size);
        throwIfStopped(ctx, limit);
        collapseWhiteSpaceInPlace(t);
        return t;
    });
    return 1;
}

duk_ret_t nReadyState(duk_context* ctx) {
    switch (pageOf(ctx).readyState()) {
    case WebPage::ReadyState::Loading: duk_push_string(ctx, "loading"); break;
    case WebPage::ReadyState::Interactive: duk_push_string(ctx, "interactive"); break;
    case WebPage::ReadyState::Complete: duk_push_string(ctx, "complete"); break;
    }
    return 1;
}

duk_ret_t nHref(duk_context* ctx) {
    const std::string& s = pageOf(ctx).url().absoluteString();
    duk_push_lstring(ctx, s.data(), s.size());
    return 1;
}

duk_ret_t nURLPart(duk_context* ctx) {
    const URL& url = pageOf(ctx).url();
    const std::string_view k = stringViewArg(ctx, 0);
    std::string out;
    std::string scheme = url.scheme();
    std::string port = url.port() ? std::to_string(*url.port()) : std::string();
    if (k == "protocol") out = scheme.empty() ? "" : scheme + ":";
    else if (k == "hostname") out = url.host();
    else if (k == "port") out = port;
    else if (k == "host") out = url.host() + (port.empty() ? "" : ":" + port);
    else if (k == "origin") out = url.origin();
    else if (k == "pathname") out = url.percentEncodedPath().empty() && url.hasAuthority() ? "/" : url.percentEncodedPath();
    else if (k == "search") out = url.query() && !url.query()->empty() ? "?" + *url.query() : "";
    else if (k == "hash") out = url.fragment() && !url.fragment()->empty() ? "#" + *url.fragment() : "";
    duk_push_lstring(ctx, out.data(), out.size());
    return 1;
}

duk_ret_t nNavigate(duk_context* ctx) {
    int type = duk_to_int(ctx, 1);
    auto navType = type == 0 ? WebViewNavigationType::LinkClicked
                   : type == 3 ? WebViewNavigationType::Reload
                               : WebViewNavigationType::Other;
    const std::string url = stringArg(ctx, 0);
    // (Past its longest URL the page refuses a navigation before resolving it.)
    if (url.size() <= SubresourceQueue::MaximumURLLength)
        NativeCall::charge(ctx, resolutionBytes(url.size()), "the navigation's URL");
    if (!pageOf(ctx).queueNavigation(url, navType, 0))
        (void)duk_error(ctx, DUK_ERR_RANGE_ERROR, "the navigation was refused: it passes the page's bounds");
    return 0;
}

// What submitting `form` builds at once, at most: each field's value read, its name and value encoded
// (three bytes for one at most), the fields joined, and that joined to the action (twice: the text and
// the URL's own).
std::size_t submissionBytes(duk_context* ctx, WebPage& page, const std::shared_ptr<DOMNode>& form) {
    DOMWorkLimit limit = entryLimit(ctx);
    std::size_t fields = 0, largest = 0;
    for (const auto& el : page.document().elements(form)) {
        if (!DOMWorkLimit::step(&limit)) break;
        const std::string& tag = el->tagName();
        if (tag != "input" && tag != "textarea" && tag != "select") continue;
        const std::string* raw = rawAttribute(*el, "value");
        const std::string* named = rawAttribute(*el, "name");
        const std::size_t value = tag == "textarea" ? el->serializedSize(DOMNode::Serialization::TextContent, &limit)
                                  : raw != nullptr  ? raw->size()
                                                    : 0;
        const std::size_t name = named != nullptr ? named->size() : 0;
        fields += 3 * (name + value) + 2;
        largest = std::max(largest, 4 * (name + value));
    }
    throwIfStopped(ctx, limit);
    const std::string* action = rawAttribute(*form, "action");
    const std::size_t target = (action != nullptr ? action->size() : 0) + page.url().absoluteString().size();
    return largest + 2 * fields + resolutionBytes(fields + target);
}

duk_ret_t nSubmit(duk_context* ctx) {
    NODE_OR(duk_push_undefined(ctx));
    WebPage& page = pageOf(ctx);
    NativeCall::charge(ctx, submissionBytes(ctx, page, node), "the form's submission");
    // A submission is queued as a navigation: one that was not (past the queue or the budget, an action
    // that is no URL) was refused, and is said to be.
    const std::size_t queued = page.queuedNavigationCount();
    page.queueFormSubmission(node);
    if (page.queuedNavigationCount() == queued)
        (void)duk_error(ctx, DUK_ERR_RANGE_ERROR, "the form's submission was refused");
    return 0;
}

duk_ret_t nStyleGet(duk_context* ctx) {
    NODE_OR(duk_push_string(ctx, ""));
    const std::string& v = node->styleProperty(cssName(ctx, stringViewArg(ctx, 1)));
    duk_push_lstring(ctx, v.data(), v.size());
    return 1;
}

duk_ret_t nStyleSet(duk_context* ctx) {
    NODE_OR(duk_push_undefined(ctx));
    if (node->isElement()) {
        std::string name = cssName(ctx, stringViewArg(ctx, 1));
        const std::string_view value = stringViewArg(ctx, 2);
        admit(ctx, pageOf(ctx), node->bytesToSetStyleProperty(name, value));
        node->setStyleProperty(name, value);
        pageOf(ctx).layoutChanged();
    }
    return 0;
}

duk_ret_t nWrite(duk_context* ctx) {
    WebPage& page = pageOf(ctx);
    page.collectGarbage(ctx);
    if (!page.write(parseWithinBudget(ctx, page, stringViewArg(ctx, 0))))
        (void)duk_error(ctx, DUK_ERR_RANGE_ERROR, "HierarchyRequestError: the markup written has no place to go");
    return 0;
}

// wrap(id): the node's wrapper, or null when there is no such node.
duk_ret_t nWrap(duk_context* ctx) {
    WebPage& page = pageOf(ctx);
    const unsigned id = idArg(ctx, 0);
    pushWrapper(ctx, page, id != 0 ? page.document().nodeById(id) : nullptr);
    return 1;
}

// Timers and animation frames past their caps are refused as every other call is: with an error.
duk_ret_t nSetTimer(duk_context* ctx) {
    double ms = duk_to_number(ctx, 0);
    if (!(ms >= 0) || ms > 1e12) ms = 0;
    const int id = pageOf(ctx).addTimer(ms / 1000.0, duk_to_boolean(ctx, 1));
    if (id == 0)
        (void)duk_error(ctx, DUK_ERR_RANGE_ERROR, "the page has too many timers pending (at most %d)",
                        static_cast<int>(WebPage::MaximumTimers));
    duk_push_int(ctx, id);
    return 1;
}

duk_ret_t nClearTimer(duk_context* ctx) {
    pageOf(ctx).clearTimer(duk_to_int(ctx, 0));
    return 0;
}

duk_ret_t nRequestFrame(duk_context* ctx) {
    const int id = pageOf(ctx).requestFrame();
    if (id == 0)
        (void)duk_error(ctx, DUK_ERR_RANGE_ERROR, "the page has too many animation frame callbacks waiting (at most %d)",
                        static_cast<int>(WebPage::MaximumFrameCallbacks));
    duk_push_int(ctx, id);
    return 1;
}

duk_ret_t nCancelFrame(duk_context* ctx) {
    pageOf(ctx).cancelFrame(duk_to_int(ctx, 0));
    return 0;
}

// 0: the wall clock in milliseconds since 1970; 1: milliseconds since the page was made. Both on the
// app's clock (virtual in tests), as every clock of the process.
duk_ret_t nNow(duk_context* ctx) {
    duk_push_number(ctx, duk_to_int(ctx, 0) == 0 ? Clock::wallTime() * 1000 : pageOf(ctx).timeSinceOrigin());
    return 1;
}

// A console line is for a person reading the log: a message is cut to a few kilobytes before it is
// escaped (escaping may grow it several times), so a page's megabytes never reach the log.
constexpr std::size_t kLoggedMessage = 2000;

duk_ret_t nLog(duk_context* ctx) {
    int level = duk_to_int(ctx, 0);
    std::string_view text = stringViewArg(ctx, 1);
    const std::size_t length = text.size();
    if (length > kLoggedMessage) {
        text = text.substr(0, kLoggedMessage);
        // Not in the middle of a character.
        while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80) text.remove_suffix(1);
        if (!text.empty() && static_cast<unsigned char>(text.back()) >= 0xC0) text.remove_suffix(1);
    }
    std::string msg = "web console: " + escapeLogText(text);
    if (text.size() < length) msg += "... (" + std::to_string(length) + " bytes)";
    log(level <= 0 ? LogLevel::Debug : level == 1 ? LogLevel::Info : level == 2 ? LogLevel::Warning : LogLevel::Error, msg);
    return 0;
}

duk_ret_t nUA(duk_context* ctx) {
    std::string ua = NetworkConfiguration::sharedInstance()->userAgent();
    duk_push_lstring(ctx, ua.data(), ua.size());
    return 1;
}

duk_ret_t nViewport(duk_context* ctx) {
    const auto& o = pageOf(ctx).options();
    int which = duk_to_int(ctx, 0);
    duk_push_number(ctx, which == 0 ? o.viewport.width : which == 1 ? o.viewport.height : o.devicePixelRatio);
    return 1;
}

#undef NODE_OR

// Each entry's function is the trampoline made for its native: no native is reached without its call scope.
struct Native {
    const char* name;
    duk_c_function fn;
    duk_idx_t nargs;
};

const Native kNatives[] = {
    {"type", trampoline<nType>, 1},           {"tag", trampoline<nTag>, 1},
    {"attr", trampoline<nAttr>, 2},           {"hasAttr", trampoline<nHasAttr>, 2},
    {"setAttr", trampoline<nSetAttr>, 3},     {"removeAttr", trampoline<nRemoveAttr>, 2},
    {"resolvedAttr", trampoline<nResolvedAttr>, 2}, {"size", trampoline<nSize>, 2},
    {"box", trampoline<nBox>, 1},             {"owner", trampoline<nOwner>, 1},
    {"newDocument", trampoline<nNewDocument>, 0},
    {"parent", trampoline<nParent>, 1},       {"sibling", trampoline<nSibling>, 2},
    {"path", trampoline<nPath>, 1},
    {"children", trampoline<nChildren>, 2},   {"insert", trampoline<nInsert>, 3},
    {"remove", trampoline<nRemove>, 2},       {"contains", trampoline<nContains>, 2},
    {"text", trampoline<nText>, 1},           {"setText", trampoline<nSetText>, 2},
    {"innerText", trampoline<nInnerText>, 1}, {"html", trampoline<nHTML>, 2},
    {"setHTML", trampoline<nSetHTML>, 2},     {"create", trampoline<nCreate>, 3},
    {"byId", trampoline<nById>, 1},           {"byTag", trampoline<nByTag>, 2},
    {"byClass", trampoline<nByClass>, 2},     {"query", trampoline<nQuery>, 3},
    {"root", trampoline<nRoot>, 0},           {"part", trampoline<nPart>, 2},
    {"title", trampoline<nTitle>, 1},         {"readyState", trampoline<nReadyState>, 0},
    {"href", trampoline<nHref>, 0},           {"urlPart", trampoline<nURLPart>, 1},
    {"navigate", trampoline<nNavigate>, 2},   {"submit", trampoline<nSubmit>, 1},
    {"styleGet", trampoline<nStyleGet>, 2},   {"styleSet", trampoline<nStyleSet>, 3},
    {"write", trampoline<nWrite>, 1},         {"setTimer", trampoline<nSetTimer>, 2},
    {"clearTimer", trampoline<nClearTimer>, 1}, {"log", trampoline<nLog>, 2},
    {"ua", trampoline<nUA>, 0},               {"viewport", trampoline<nViewport>, 1},
    {"clone", trampoline<nClone>, 2},         {"fragment", trampoline<nFragment>, 1},
    {"matches", trampoline<nMatches>, 2},     {"closest", trampoline<nClosest>, 2},
    {"attrs", trampoline<nAttrs>, 1},
    {"requestFrame", trampoline<nRequestFrame>, 0}, {"cancelFrame", trampoline<nCancelFrame>, 1},
    {"now", trampoline<nNow>, 1},
    {"wrap", trampoline<nWrap>, 1},           {"adjacent", trampoline<nAdjacent>, 3},
    {"edgeChild", trampoline<nEdgeChild>, 3},
};

// The prelude compiled once per process; each heap loads the bytecode, which is much cheaper than
// compiling the source again. Never destroyed: heaps are prepared on another thread too, which may still
// be at work while the process exits.
std::mutex& preludeMutex() {
    static std::mutex* mutex = new std::mutex();
    return *mutex;
}
std::vector<unsigned char>& preludeBytecode() {
    static std::vector<unsigned char>* bytes = new std::vector<unsigned char>();
    return *bytes;
}

void putPage(duk_context* ctx, WebPage* page) {
    duk_push_global_stash(ctx);
    duk_push_pointer(ctx, page);
    duk_put_prop_string(ctx, -2, "page");
    duk_pop(ctx);
}

} // namespace

void WebPageBindings::install(duk_context* ctx, WebPage& page) {
    prepare(ctx);
    attach(ctx, page);
}

void WebPageBindings::prepare(duk_context* ctx) {
    putPage(ctx, nullptr);
    {
        std::lock_guard<std::mutex> lock(preludeMutex());
        ScriptContext::pushCompiledOnce(ctx, "prelude", preludeSource(), preludeBytecode());
    }
    duk_call(ctx, 0);  // the program evaluates to the prelude function

    duk_push_object(ctx);
    for (const auto& n : kNatives) {
        duk_push_c_function(ctx, n.fn, n.nargs);
        duk_put_prop_string(ctx, -2, n.name);
    }
    duk_push_global_stash(ctx);
    duk_dup(ctx, -2);
    duk_put_prop_string(ctx, -2, "natives");
    duk_pop(ctx);
    duk_push_global_object(ctx);
    duk_call(ctx, 2);  // prelude(N, global) -> hooks
    duk_push_global_stash(ctx);
    duk_swap_top(ctx, -2);
    duk_put_prop_string(ctx, -2, "hooks");
    duk_pop(ctx);
}

void WebPageBindings::attach(duk_context* ctx, WebPage& page) {
    putPage(ctx, &page);
    WebPage::ScriptObjects objects;
    const std::pair<const char*, void**> slots[] = {
        {"pins", &objects.pins},
        {"document", &objects.document},
        {"elementProto", &objects.elementPrototype},
        {"textProto", &objects.textPrototype},
        {"fragmentProto", &objects.fragmentPrototype},
        {"inertDocProto", &objects.documentPrototype}};
    for (const auto& [name, slot] : slots) {
        pushHook(ctx, name);
        *slot = duk_get_heapptr(ctx, -1);
        duk_pop(ctx);
    }
    page.setScriptObjects(objects);
    pushHook(ctx, "attach");
    duk_call(ctx, 0);
    duk_pop(ctx);
}

bool WebPageBindings::detach(duk_context* ctx) {
    // Protected, but no entry of ScriptContext::run: that would start a time limit and maybe a
    // collection, for a heap about to go.
    duk_int_t rc = duk_safe_call(
        ctx,
        [](duk_context* c, void*) -> duk_ret_t {
            putPage(c, nullptr);
            return 0;
        },
        nullptr, 0, 1);
    duk_pop(ctx);
    return rc == DUK_EXEC_SUCCESS;
}

std::span<const WebPageBindings::NativeInfo> WebPageBindings::natives() {
    static const auto* infos = [] {
        auto* out = new std::vector<NativeInfo>();
        for (const auto& n : kNatives) out->push_back({n.name, static_cast<int>(n.nargs)});
        return out;
    }();
    return *infos;
}

void WebPageBindings::pushHook(duk_context* ctx, const char* name) {
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, "hooks");
    duk_get_prop_string(ctx, -1, name);
    duk_remove(ctx, -2);
    duk_remove(ctx, -2);
}

} // namespace platform
