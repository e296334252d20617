#pragma once
// Selectors of the DOM subset: a comma-separated list of chains of compound selectors (a tag or "*",
// #id and .class, combined as in "div.ad#top") joined by descendant combinators. A chain that is CSS
// but asks for what the subset does not evaluate (attribute selectors, pseudo-classes and elements,
// the >, + and ~ combinators, escaped names) matches nothing; text that is no CSS selector at all, or
// one past the size limits, is invalid (script sees a SyntaxError).
//
// A selector is parsed once per call and its matching costs, per element considered, one compound
// test per chain (ancestors are matched top-down, carrying for each chain how many of its leading
// compounds they have matched: for descendant combinators the earliest match is always the best), and
// each element's class attribute is split once. Main thread only; the tree must not change meanwhile.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/web/DOMNode.h"

namespace platform {

class DOMSelector {
public:
    // Far beyond any real page's selectors.
    static constexpr std::size_t MaximumLength = 32 * 1024;
    static constexpr std::size_t MaximumCompounds = 2048;

    static DOMSelector parse(std::string_view text);
    // The elements having every class `list` names, separated by white space (none when it names none).
    // The split counts its steps on `limit`; once that stops, the selector holds the classes split so far.
    static DOMSelector withClassList(std::string_view list, DOMWorkLimit* limit = nullptr);
    // What withClassList(list) allocates, in bytes (a name for each class named, repeats too), found in
    // a walk over `list` counted on `limit`, so that a caller can admit it first.
    static std::size_t classListBytes(std::string_view list, DOMWorkLimit* limit = nullptr);

    bool valid() const { return error_.empty(); }
    // Why the text is no selector ("" when it is one).
    const std::string& error() const { return error_; }

    // Ancestors count as far up as there are elements. With a `limit`, the answers are meaningless
    // once it has stopped.
    bool matches(const DOMNode& element, DOMWorkLimit* limit = nullptr) const;
    // The element itself or its nearest ancestor element that matches; null when none does.
    const DOMNode* closest(const DOMNode& element, DOMWorkLimit* limit = nullptr) const;
    // The elements below `scope` that match, in document order (ancestors of `scope`, and `scope` itself,
    // count for descendant combinators); only the first when `first`.
    std::vector<std::shared_ptr<DOMNode>> select(const DOMNode& scope, bool first = false,
                                                 DOMWorkLimit* limit = nullptr) const;

private:
    struct Compound {
        std::string tag;  // lower case; empty for any
        std::vector<std::string> ids;
        std::vector<std::string> classes;
    };
    // Compounds, each a descendant of the one before.
    using Chain = std::vector<Compound>;
    friend class DOMSelectorParser;
    friend class DOMSelectorProgress;

    std::vector<Chain> chains_;  // the chains that can match
    std::string error_;
};

} // namespace platform
