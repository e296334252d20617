#include "platform/web/DOMSelector.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "platform/base/Strings.h"

namespace platform {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

bool isHexDigit(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

// An element as the selector sees it: its id and class tokens, looked up when first asked.
class Subject {
public:
    explicit Subject(const DOMNode& node) : node_(node) {}

    const DOMNode& node() const { return node_; }
    // Fragments are elements of a tag no markup can name: no compound matches them.
    bool matchable() const {
        return node_.isElement() && !node_.tagName().empty() && node_.tagName().front() != '#';
    }
    const std::string* id() {
        lookUp();
        return id_;
    }
    // Sorted; counts the work of splitting on `limit`.
    const std::vector<std::string_view>& classes(DOMWorkLimit* limit) {
        lookUp();
        if (!split_) {
            split_ = true;
            if (class_ != nullptr) {
                std::string_view text = *class_;
                std::size_t i = 0;
                while (i < text.size()) {
                    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
                    std::size_t start = i;
                    while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i]))) ++i;
                    if (i > start) classes_.push_back(text.substr(start, i - start));
                }
                std::sort(classes_.begin(), classes_.end());
                DOMWorkLimit::step(limit, 1 + text.size() / 16);
            }
        }
        return classes_;
    }
    // Whether the class attribute names `want`. A long attribute is scanned for each name wanted rather
    // than split: its split would take many times its size (sixteen bytes a name), counted nowhere.
    bool hasClass(std::string_view want, DOMWorkLimit* limit) {
        lookUp();
        if (class_ == nullptr || class_->size() <= kSplitUpTo) {
            const auto& have = classes(limit);
            return std::binary_search(have.begin(), have.end(), want);
        }
        const std::string_view text = *class_;
        DOMWorkLimit::step(limit, 1 + text.size() / 64);
        std::size_t i = 0;
        while (i < text.size()) {
            while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
            const std::size_t start = i;
            while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i]))) ++i;
            if (i > start && text.substr(start, i - start) == want) return true;
        }
        return false;
    }

private:
    static constexpr std::size_t kSplitUpTo = 4096;

    void lookUp() {
        if (lookedUp_) return;
        lookedUp_ = true;
        for (const auto& [name, value] : node_.attributes()) {
            if (name == "id" && id_ == nullptr) id_ = &value;
            else if (name == "class" && class_ == nullptr) class_ = &value;
        }
    }

    const DOMNode& node_;
    bool lookedUp_ = false;
    bool split_ = false;
    const std::string* id_ = nullptr;
    const std::string* class_ = nullptr;
    std::vector<std::string_view> classes_;
};

std::string quoted(std::string_view text) {
    constexpr std::size_t kShown = 80;
    if (text.size() <= kShown) return "'" + std::string(text) + "'";
    return "'" + std::string(text.substr(0, kShown)) + "...'";
}

} // namespace

// Reads the selector grammar of CSS far enough to tell what is CSS from what is not.
class DOMSelectorParser {
public:
    explicit DOMSelectorParser(std::string_view text) : text_(text) {}

    DOMSelector parse() {
        DOMSelector out;
        if (text_.size() > DOMSelector::MaximumLength) {
            out.error_ = "the selector is longer than " + std::to_string(DOMSelector::MaximumLength) + " characters";
            return out;
        }
        std::size_t compounds = 0;
        skipSpace();
        for (;;) {
            DOMSelector::Chain chain;
            bool evaluable = true;
            for (;;) {
                DOMSelector::Compound compound;
                unsupported_ = false;
                if (!readCompound(compound)) return invalid(out);
                if (++compounds > DOMSelector::MaximumCompounds) {
                    out.error_ = "the selector has more than " + std::to_string(DOMSelector::MaximumCompounds) +
                                 " compound selectors";
                    return out;
                }
                evaluable = evaluable && !unsupported_;
                chain.push_back(std::move(compound));
                const bool space = skipSpace();
                if (atEnd() || peek() == ',') break;
                if (peek() == '>' || peek() == '+' || peek() == '~') {
                    evaluable = false;
                    ++i_;
                    skipSpace();
                } else if (!space) {
                    return invalid(out);
                }
            }
            if (evaluable) out.chains_.push_back(std::move(chain));
            if (atEnd()) break;
            ++i_;  // the comma
            skipSpace();
        }
        return out;
    }

private:
    bool atEnd() const { return i_ >= text_.size(); }
    char peek() const { return text_[i_]; }

    bool skipSpace() {
        std::size_t start = i_;
        while (!atEnd() && isSpace(peek())) ++i_;
        return i_ > start;
    }

    DOMSelector& invalid(DOMSelector& out) {
        out.chains_.clear();
        out.error_ = quoted(text_) + " is not a valid selector";
        return out;
    }

    // A name, or false when there is none here. Escapes are read over but not decoded: the compound
    // holding one is unsupported.
    bool readName(std::string& out) {
        std::size_t start = i_;
        while (!atEnd()) {
            char c = peek();
            if (isNameChar(c)) {
                out += c;
                ++i_;
            } else if (c == '\\') {
                ++i_;
                if (atEnd() || peek() == '\n' || peek() == '\r' || peek() == '\f') return false;
                unsupported_ = true;
                if (isHexDigit(peek())) {
                    for (int k = 0; k < 6 && !atEnd() && isHexDigit(peek()); ++k) ++i_;
                    if (!atEnd() && isSpace(peek())) ++i_;
                } else {
                    ++i_;
                }
            } else {
                break;
            }
        }
        return i_ > start;
    }

    bool readString() {
        char quote = text_[i_++];
        while (!atEnd()) {
            char c = text_[i_++];
            if (c == quote) return true;
            if (c == '\\' && !atEnd()) ++i_;
            else if (c == '\n') return false;
        }
        return false;
    }

    // [name], [name=value] and the other operators, with an optional i or s flag.
    bool readAttribute() {
        ++i_;
        skipSpace();
        std::string name;
        if (!readName(name)) return false;
        skipSpace();
        if (atEnd()) return false;
        if (peek() != ']') {
            if (std::string_view("~|^$*").find(peek()) != std::string_view::npos) ++i_;
            if (atEnd() || peek() != '=') return false;
            ++i_;
            skipSpace();
            if (atEnd()) return false;
            std::string value;
            if (peek() == '"' || peek() == '\'') {
                if (!readString()) return false;
            } else if (!readName(value)) {
                return false;
            }
            skipSpace();
            if (!atEnd() && peek() != ']') {
                std::string flag;
                if (!readName(flag) || (flag != "i" && flag != "I" && flag != "s" && flag != "S")) return false;
                skipSpace();
            }
            if (atEnd() || peek() != ']') return false;
        }
        ++i_;
        return true;
    }

    // :name, ::name, and either with an argument in parentheses (read over, strings and nesting kept).
    bool readPseudo() {
        ++i_;
        if (!atEnd() && peek() == ':') ++i_;
        std::string name;
        if (!readName(name)) return false;
        if (atEnd() || peek() != '(') return true;
        int open = 0;
        while (!atEnd()) {
            char c = peek();
            if (c == '"' || c == '\'') {
                if (!readString()) return false;
                continue;
            }
            ++i_;
            if (c == '\\' && !atEnd()) ++i_;
            else if (c == '(') ++open;
            else if (c == ')' && --open == 0) return true;
        }
        return false;
    }

    bool readCompound(DOMSelector::Compound& c) {
        const std::size_t start = i_;
        if (!atEnd() && peek() == '*') {
            ++i_;
        } else if (!atEnd() && (isNameChar(peek()) || peek() == '\\')) {
            if (!readName(c.tag)) return false;
            c.tag = toLowerASCII(c.tag);
        }
        while (!atEnd()) {
            char k = peek();
            if (k == '#' || k == '.') {
                ++i_;
                std::string name;
                if (!readName(name)) return false;
                (k == '#' ? c.ids : c.classes).push_back(std::move(name));
            } else if (k == '[') {
                if (!readAttribute()) return false;
                unsupported_ = true;
            } else if (k == ':') {
                if (!readPseudo()) return false;
                unsupported_ = true;
            } else {
                break;
            }
        }
        return i_ > start;
    }

    std::string_view text_;
    std::size_t i_ = 0;
    bool unsupported_ = false;  // of the compound being read
};

// How far each chain has got along a path of ancestors, entered top-down and left in reverse.
class DOMSelectorProgress {
public:
    DOMSelectorProgress(const std::vector<DOMSelector::Chain>& chains, std::vector<std::uint32_t> active,
                        DOMWorkLimit* limit)
        : chains_(chains), active_(std::move(active)), matched_(chains.size(), 0), limit_(limit) {}

    static std::vector<std::uint32_t> all(const std::vector<DOMSelector::Chain>& chains) {
        std::vector<std::uint32_t> out(chains.size());
        for (std::uint32_t i = 0; i < out.size(); ++i) out[i] = i;
        return out;
    }

    static bool test(Subject& s, const DOMSelector::Compound& c, DOMWorkLimit* limit) {
        if (!DOMWorkLimit::step(limit, 1 + c.ids.size() + c.classes.size()) || !s.matchable()) return false;
        if (!c.tag.empty() && s.node().tagName() != c.tag) return false;
        for (const auto& id : c.ids) {
            const std::string* have = s.id();
            if (have == nullptr || *have != id) return false;
        }
        for (const auto& want : c.classes)
            if (!s.hasClass(want, limit)) return false;
        return true;
    }

    // Whether `s` matches some chain whose leading compounds the ancestors entered have matched.
    bool completes(Subject& s) {
        for (std::uint32_t i : active_) {
            const auto& chain = chains_[i];
            if (matched_[i] + 1 == chain.size() && test(s, chain.back(), limit_)) return true;
        }
        return false;
    }

    // Takes `s` as an ancestor of what comes next. True when some chain now has all its leading
    // compounds matched.
    bool enter(Subject& s) {
        bool ready = false;
        for (std::uint32_t i : active_) {
            const auto& chain = chains_[i];
            if (matched_[i] + 1 < chain.size() && test(s, chain[matched_[i]], limit_)) {
                undo_.push_back(i);
                ready = ready || ++matched_[i] + 1 == chain.size();
            }
        }
        return ready;
    }

    std::size_t mark() const { return undo_.size(); }
    // Forgets what was entered since `mark`.
    void rewind(std::size_t mark) {
        while (undo_.size() > mark) {
            --matched_[undo_.back()];
            undo_.pop_back();
        }
    }

private:
    const std::vector<DOMSelector::Chain>& chains_;
    std::vector<std::uint32_t> active_;
    std::vector<std::size_t> matched_;  // by chain: how many of its leading compounds are matched
    std::vector<std::uint32_t> undo_;   // the chains advanced, in order
    DOMWorkLimit* limit_;
};

namespace {

// `node` and its ancestors, as long as they are elements, top-down.
std::vector<const DOMNode*> elementPath(const DOMNode& node) {
    std::vector<const DOMNode*> path;
    std::shared_ptr<DOMNode> up;
    for (const DOMNode* n = &node; n != nullptr && n->isElement(); n = up.get()) {
        path.push_back(n);
        up = n->parent();
    }
    std::reverse(path.begin(), path.end());
    return path;
}

} // namespace

DOMSelector DOMSelector::parse(std::string_view text) {
    return DOMSelectorParser(text).parse();
}

namespace {

// Calls `token` with each white-space-separated part of `list`, counting steps by bytes.
template <typename Token>
bool forEachClass(std::string_view list, DOMWorkLimit* limit, Token&& token) {
    std::size_t i = 0;
    while (i < list.size()) {
        while (i < list.size() && std::isspace(static_cast<unsigned char>(list[i]))) ++i;
        const std::size_t start = i;
        while (i < list.size() && !std::isspace(static_cast<unsigned char>(list[i]))) ++i;
        if (!DOMWorkLimit::step(limit, 1 + (i - start) / 64)) return false;
        if (i > start) token(list.substr(start, i - start));
    }
    return true;
}

} // namespace

std::size_t DOMSelector::classListBytes(std::string_view list, DOMWorkLimit* limit) {
    std::size_t bytes = 0;
    forEachClass(list, limit, [&bytes](std::string_view name) { bytes += sizeof(std::string) + DOMNode::stringBytes(name.size()); });
    return bytes;
}

// Repeats are kept: a compound's classes need no order, and finding them out would cost more than
// testing them twice.
DOMSelector DOMSelector::withClassList(std::string_view list, DOMWorkLimit* limit) {
    DOMSelector out;
    std::size_t count = 0;
    if (!forEachClass(list, limit, [&count](std::string_view) { ++count; }) || count == 0) return out;
    Compound c;
    c.classes.reserve(count);
    forEachClass(list, limit, [&c](std::string_view name) { c.classes.emplace_back(name); });
    out.chains_.push_back(Chain{std::move(c)});
    return out;
}

bool DOMSelector::matches(const DOMNode& element, DOMWorkLimit* limit) const {
    Subject self(element);
    std::vector<std::uint32_t> candidates;
    for (std::uint32_t i = 0; i < chains_.size(); ++i) {
        if (!DOMSelectorProgress::test(self, chains_[i].back(), limit)) continue;
        if (chains_[i].size() == 1) return true;
        candidates.push_back(i);
    }
    if (candidates.empty()) return false;
    auto path = elementPath(element);
    path.pop_back();
    DOMSelectorProgress progress(chains_, std::move(candidates), limit);
    for (const DOMNode* ancestor : path) {
        Subject s(*ancestor);
        if (progress.enter(s)) return true;
        if (limit != nullptr && limit->stopped()) return false;
    }
    return false;
}

const DOMNode* DOMSelector::closest(const DOMNode& element, DOMWorkLimit* limit) const {
    if (chains_.empty()) return nullptr;
    DOMSelectorProgress progress(chains_, DOMSelectorProgress::all(chains_), limit);
    const DOMNode* found = nullptr;
    for (const DOMNode* n : elementPath(element)) {
        Subject s(*n);
        if (progress.completes(s)) found = n;
        progress.enter(s);
        if (limit != nullptr && limit->stopped()) return nullptr;
    }
    return found;
}

std::vector<std::shared_ptr<DOMNode>> DOMSelector::select(const DOMNode& scope, bool first, DOMWorkLimit* limit) const {
    std::vector<std::shared_ptr<DOMNode>> out;
    if (chains_.empty()) return out;
    DOMSelectorProgress progress(chains_, DOMSelectorProgress::all(chains_), limit);
    for (const DOMNode* n : elementPath(scope)) {
        Subject s(*n);
        progress.enter(s);
    }
    // Depth first, without recursion: each element entered, with the index of its next child and the
    // progress to go back to when it is left.
    struct Open {
        const DOMNode* node;
        std::size_t next;
        std::size_t mark;
    };
    std::vector<Open> open{{&scope, 0, progress.mark()}};
    while (!open.empty()) {
        if (limit != nullptr && limit->stopped()) return {};
        Open& top = open.back();
        const auto& children = top.node->children();
        if (top.next == children.size()) {
            progress.rewind(top.mark);
            open.pop_back();
            continue;
        }
        const auto& child = children[top.next++];
        if (!child->isElement()) continue;
        Subject s(*child);
        if (progress.completes(s)) {
            out.push_back(child);
            if (first) return out;
        }
        std::size_t mark = progress.mark();
        progress.enter(s);
        open.push_back(Open{child.get(), 0, mark});
    }
    return out;
}

} // namespace platform
