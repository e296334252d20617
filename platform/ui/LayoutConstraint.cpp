#include "platform/ui/LayoutConstraint.h"

#include <cctype>
#include <cmath>
#include <optional>
#include <unordered_map>

#include "platform/base/Error.h"
#include "platform/base/Log.h"
#include "platform/ui/View.h"

namespace platform {

namespace {

constexpr float kStandardSpacing = 8.0f;

bool dimension(LayoutAttribute a) {
    return a == LayoutAttribute::Width || a == LayoutAttribute::Height;
}

bool horizontal(LayoutAttribute a) {
    return a == LayoutAttribute::Left || a == LayoutAttribute::Right || a == LayoutAttribute::Leading ||
           a == LayoutAttribute::Trailing || a == LayoutAttribute::Width || a == LayoutAttribute::CenterX;
}

// One axis of one view: edges, size and middle; any two settle the rest.
struct Axis {
    std::optional<float> lo, size, hi, mid;

    bool settle() {
        bool changed = false;
        auto put = [&](std::optional<float>& slot, float v) {
            if (!slot && std::isfinite(v)) {
                slot = v;
                changed = true;
            }
        };
        for (int round = 0; round < 2; ++round) {
            if (lo && size) put(hi, *lo + *size), put(mid, *lo + *size / 2);
            if (lo && hi) put(size, *hi - *lo), put(mid, (*lo + *hi) / 2);
            if (lo && mid) put(size, 2 * (*mid - *lo));
            if (size && hi) put(lo, *hi - *size);
            if (size && mid) put(lo, *mid - *size / 2);
            if (hi && mid) put(size, 2 * (*hi - *mid));
        }
        return changed;
    }
};

struct Layout {
    Axis x, y;
};

std::optional<float>& slot(Layout& l, LayoutAttribute a) {
    switch (a) {
    case LayoutAttribute::Left:
    case LayoutAttribute::Leading: return l.x.lo;
    case LayoutAttribute::Right:
    case LayoutAttribute::Trailing: return l.x.hi;
    case LayoutAttribute::Width: return l.x.size;
    case LayoutAttribute::CenterX: return l.x.mid;
    case LayoutAttribute::Top: return l.y.lo;
    case LayoutAttribute::Bottom: return l.y.hi;
    case LayoutAttribute::Height: return l.y.size;
    default: return l.y.mid;
    }
}

} // namespace

LayoutConstraint::LayoutConstraint(std::weak_ptr<View> item1, LayoutAttribute a1, LayoutRelation relation,
                                   std::weak_ptr<View> item2, LayoutAttribute a2, float multiplier, float constant)
    : first_(std::move(item1)), second_(std::move(item2)), attribute1_(a1), attribute2_(a2), relation_(relation),
      multiplier_(std::isfinite(multiplier) ? multiplier : 1.0f), constant_(std::isfinite(constant) ? constant : 0) {}

std::shared_ptr<LayoutConstraint> LayoutConstraint::constraintWithItem(const std::shared_ptr<View>& item1,
                                                                       LayoutAttribute a1, LayoutRelation relation,
                                                                       const std::shared_ptr<View>& item2,
                                                                       LayoutAttribute a2, float multiplier,
                                                                       float constant) {
    auto refuse = [](const char* why) {
        logWarning(std::string("LayoutConstraint: refused a constraint: ") + why);
        return nullptr;
    };
    if (!item1) return refuse("it has no first item");
    if (a1 == LayoutAttribute::NotAnAttribute) return refuse("it has no first attribute");
    // A size may follow the other axis' size (an aspect ratio); a place only its own axis.
    if (item2 && (a2 == LayoutAttribute::NotAnAttribute ||
                  (horizontal(a1) != horizontal(a2) && !(dimension(a1) && dimension(a2)))))
        return refuse("it relates attributes of different axes");
    if (!item2) a2 = LayoutAttribute::NotAnAttribute;
    return std::make_shared<LayoutConstraint>(item1, a1, relation, item2, a2, multiplier, constant);
}

void LayoutConstraint::setConstant(float constant) {
    if (!std::isfinite(constant)) return;
    constant_ = constant;
    if (auto v = firstItem()) {
        if (auto s = v->superview()) s->setNeedsLayout();
    }
}

void LayoutConstraint::activateConstraints(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints) {
    for (auto& c : constraints) {
        if (!c) continue;
        auto a = c->firstItem(), b = c->secondItem();
        if (!a) continue;
        std::shared_ptr<View> holder;
        if (!b) holder = a->superview() ? a->superview() : a;
        else if (a->superview() && a->superview() == b->superview()) holder = a->superview();
        else if (a->isDescendantOfView(b.get())) holder = b;
        else if (b->isDescendantOfView(a.get())) holder = a;
        else {
            for (auto v = a->superview(); v && !holder; v = v->superview())
                if (b->isDescendantOfView(v.get())) holder = v;
        }
        if (!holder) continue;
        holder->addConstraint(c);
    }
}

void LayoutConstraint::solve(View& container, const std::vector<std::shared_ptr<LayoutConstraint>>& constraints) {
    Rect b = container.bounds();
    Layout box;
    box.x = Axis{b.origin.x, b.size.width, b.origin.x + b.size.width, b.origin.x + b.size.width / 2};
    box.y = Axis{b.origin.y, b.size.height, b.origin.y + b.size.height, b.origin.y + b.size.height / 2};

    std::vector<View*> order;
    std::unordered_map<View*, Layout> layouts;
    auto layoutOf = [&](View* v) -> Layout* {
        if (v == &container) return &box;
        if (v == nullptr || v->superview().get() != &container) return nullptr;
        if (!layouts.count(v)) order.push_back(v);
        return &layouts[v];
    };
    struct Term {
        Layout* l1;
        LayoutAttribute a1;
        Layout* l2;
        LayoutAttribute a2;
        const LayoutConstraint* c;
    };
    std::vector<Term> terms;
    for (auto& c : constraints) {
        auto v1 = c->firstItem();
        auto v2 = c->secondItem();
        Layout* l1 = layoutOf(v1.get());
        Layout* l2 = v2 ? layoutOf(v2.get()) : nullptr;
        if (!l1 || (v2 && !l2)) continue; // a constraint this container cannot lay out
        terms.push_back({l1, c->attribute1_, l2, c->attribute2_, c.get()});
    }
    if (order.empty()) return;

    auto rhs = [](const Term& t) -> std::optional<float> {
        if (!t.l2) return t.c->constant_;
        auto& s = slot(*t.l2, t.a2);
        if (!s) return std::nullopt;
        return t.c->multiplier_ * *s + t.c->constant_;
    };
    auto propagate = [&] {
        for (int guard = 0; guard < 64; ++guard) {
            bool changed = false;
            for (auto& t : terms) {
                if (t.c->relation_ != LayoutRelation::Equal) continue;
                auto& s1 = slot(*t.l1, t.a1);
                auto r = rhs(t);
                if (!s1 && r && t.l1 != &box) {
                    s1 = *r;
                    changed = true;
                } else if (s1 && !r && t.l2 && t.l2 != &box && t.c->multiplier_ != 0) {
                    slot(*t.l2, t.a2) = (*s1 - t.c->constant_) / t.c->multiplier_;
                    changed = true;
                }
            }
            for (auto& [v, l] : layouts) {
                // Both axes settle every round, so no short-circuit here.
                bool settledX = l.x.settle();
                bool settledY = l.y.settle();
                changed = settledX || settledY || changed;
            }
            if (!changed) return;
        }
    };
    propagate();
    // Open sizes take the intrinsic size.
    for (View* v : order) {
        Layout& l = layouts[v];
        Size intrinsic = v->intrinsicContentSize();
        bool set = false;
        if (!l.x.size && intrinsic.width >= 0) l.x.size = intrinsic.width, set = true;
        if (!l.y.size && intrinsic.height >= 0) l.y.size = intrinsic.height, set = true;
        if (set) propagate();
    }
    // Open values bounded by an inequality take the bound.
    for (auto& t : terms) {
        if (t.c->relation_ == LayoutRelation::Equal || t.l1 == &box) continue;
        auto& s1 = slot(*t.l1, t.a1);
        auto r = rhs(t);
        if (!s1 && r) {
            s1 = *r;
            propagate();
        }
    }
    // Whatever is still open keeps the current frame.
    for (View* v : order) {
        Layout& l = layouts[v];
        Rect f = v->frame();
        if (!l.x.size && !l.x.lo && !l.x.hi && !l.x.mid) l.x.lo = f.minX();
        if (!l.x.size) l.x.size = f.width();
        if (!l.y.size && !l.y.lo && !l.y.hi && !l.y.mid) l.y.lo = f.minY();
        if (!l.y.size) l.y.size = f.height();
        l.x.settle();
        l.y.settle();
        if (!l.x.lo) l.x.lo = f.minX(), l.x.settle();
        if (!l.y.lo) l.y.lo = f.minY(), l.y.settle();
    }
    // Size inequalities hold in the end (the leading edge stays).
    for (auto& t : terms) {
        if (t.c->relation_ == LayoutRelation::Equal || t.l1 == &box) continue;
        if (t.a1 != LayoutAttribute::Width && t.a1 != LayoutAttribute::Height) continue;
        auto& s1 = slot(*t.l1, t.a1);
        auto r = rhs(t);
        if (!s1 || !r) continue;
        bool violated = t.c->relation_ == LayoutRelation::GreaterThanOrEqual ? *s1 < *r : *s1 > *r;
        if (violated) {
            s1 = *r;
            Axis& axis = t.a1 == LayoutAttribute::Width ? t.l1->x : t.l1->y;
            axis.hi.reset();
            axis.mid.reset();
            axis.settle();
        }
    }
    for (View* v : order) {
        Layout& l = layouts[v];
        float w = std::max(0.0f, *l.x.size), h = std::max(0.0f, *l.y.size);
        v->setFrame(Rect(*l.x.lo, *l.y.lo, w, h));
    }
}

// --- Visual format

namespace {

struct FormatParser {
    const std::string& text;
    const std::map<std::string, float>& metrics;
    const std::map<std::string, std::shared_ptr<View>>& views;
    std::size_t i = 0;
    std::string error;

    bool more() const { return i < text.size(); }
    char peek() const { return more() ? text[i] : '\0'; }
    bool eat(char c) {
        if (peek() != c) return false;
        ++i;
        return true;
    }

    std::string name() {
        std::size_t start = i;
        while (more() && (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '_')) ++i;
        return text.substr(start, i - start);
    }

    std::optional<float> number() {
        if (std::isalpha(static_cast<unsigned char>(peek())) || peek() == '_') {
            std::string n = name();
            auto it = metrics.find(n);
            if (it == metrics.end()) {
                error = "unknown metric '" + n + "'";
                return std::nullopt;
            }
            return it->second;
        }
        std::size_t start = i;
        if (peek() == '-' || peek() == '+') ++i;
        while (more() && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.')) ++i;
        if (start == i) {
            error = "expected a number";
            return std::nullopt;
        }
        try {
            return std::stof(text.substr(start, i - start));
        } catch (...) {
            error = "bad number";
            return std::nullopt;
        }
    }

    // "==50", ">=40", "<=10", "50", optionally "@priority".
    std::optional<std::pair<LayoutRelation, float>> predicate() {
        LayoutRelation rel = LayoutRelation::Equal;
        if (text.compare(i, 2, "==") == 0) i += 2;
        else if (text.compare(i, 2, ">=") == 0) rel = LayoutRelation::GreaterThanOrEqual, i += 2;
        else if (text.compare(i, 2, "<=") == 0) rel = LayoutRelation::LessThanOrEqual, i += 2;
        auto n = number();
        if (!n) return std::nullopt;
        if (eat('@')) {
            if (!number()) return std::nullopt;
        }
        return std::make_pair(rel, *n);
    }
};

} // namespace

std::vector<std::shared_ptr<LayoutConstraint>> LayoutConstraint::constraintsWithVisualFormat(
    const std::string& format, const std::map<std::string, float>& metrics,
    const std::map<std::string, std::shared_ptr<View>>& views, Error* error) {
    std::string compact;
    for (char ch : format)
        if (!std::isspace(static_cast<unsigned char>(ch))) compact += ch;
    FormatParser p{compact, metrics, views, 0, {}};
    bool vertical = false;
    if (compact.rfind("H:", 0) == 0) p.i = 2;
    else if (compact.rfind("V:", 0) == 0) vertical = true, p.i = 2;
    LayoutAttribute lead = vertical ? LayoutAttribute::Top : LayoutAttribute::Leading;
    LayoutAttribute trail = vertical ? LayoutAttribute::Bottom : LayoutAttribute::Trailing;
    LayoutAttribute size = vertical ? LayoutAttribute::Height : LayoutAttribute::Width;

    std::vector<std::shared_ptr<LayoutConstraint>> out;
    // The previous element: a view, or the superview's leading edge (`edge`), or nothing yet.
    std::shared_ptr<View> previous;
    bool previousIsEdge = false;
    std::shared_ptr<View> superview;
    bool pendingConnection = false;
    std::pair<LayoutRelation, float> gap{LayoutRelation::Equal, 0};
    bool any = false;

    auto fail = [&](std::string why) {
        std::string message = "LayoutConstraint: bad visual format \"" + format + "\": " + why;
        logWarning(message);
        setError(error, Error("LayoutConstraint", 1, message));
        return std::vector<std::shared_ptr<LayoutConstraint>>{};
    };
    auto connect = [&](const std::shared_ptr<View>& to, bool toEdge) {
        // A connection from `previous` (or the leading edge) to `to` (or the trailing edge).
        if (!previous && !previousIsEdge) return;
        float constant = gap.second;
        LayoutRelation rel = gap.first;
        std::shared_ptr<LayoutConstraint> c;
        if (previousIsEdge && toEdge) return;
        if (previousIsEdge) {
            // to.leading  rel  super.leading + gap
            c = std::make_shared<LayoutConstraint>(to, lead, rel, std::weak_ptr<View>(), lead, 1, constant);
            c->second_ = superview ? superview : std::shared_ptr<View>();
            c->pendingSuper_ = !superview;
        } else if (toEdge) {
            // super.trailing  rel  previous.trailing + gap
            c = std::make_shared<LayoutConstraint>(std::weak_ptr<View>(), trail, rel, previous, trail, 1, constant);
            c->pendingSuper_ = true;
        } else {
            c = std::make_shared<LayoutConstraint>(to, lead, rel, previous, trail, 1, constant);
        }
        out.push_back(c);
    };

    while (p.more()) {
        if (p.eat('|')) {
            if (!any) {
                previousIsEdge = true;
            } else {
                if (!previous) return fail("an edge must follow a view");
                connect(nullptr, true);
                previous.reset();
            }
            pendingConnection = false;
            gap = {LayoutRelation::Equal, 0};
            any = true;
            continue;
        }
        if (p.eat('-')) {
            if (p.eat('(')) {
                auto pred = p.predicate();
                if (!pred || !p.eat(')') || !p.eat('-')) return fail(p.error.empty() ? "bad spacing" : p.error);
                gap = *pred;
            } else if (p.peek() == '[' || p.peek() == '|') {
                gap = {LayoutRelation::Equal, kStandardSpacing};
            } else {
                auto pred = p.predicate();
                if (!pred || !p.eat('-')) return fail(p.error.empty() ? "bad spacing" : p.error);
                gap = *pred;
            }
            pendingConnection = true;
            continue;
        }
        if (p.eat('[')) {
            std::string n = p.name();
            auto it = views.find(n);
            if (n.empty() || it == views.end() || !it->second) return fail("unknown view '" + n + "'");
            auto view = it->second;
            if (p.eat('(')) {
                do {
                    auto pred = p.predicate();
                    if (!pred) return fail(p.error);
                    out.push_back(std::make_shared<LayoutConstraint>(view, size, pred->first, std::weak_ptr<View>(),
                                                                     LayoutAttribute::NotAnAttribute, 1, pred->second));
                } while (p.eat(','));
                if (!p.eat(')')) return fail("expected ')'");
            }
            if (!p.eat(']')) return fail("expected ']'");
            if (!superview) superview = view->superview();
            connect(view, false);
            previous = view;
            previousIsEdge = false;
            pendingConnection = false;
            gap = {LayoutRelation::Equal, 0};
            any = true;
            continue;
        }
        return fail(std::string("unexpected '") + p.peek() + "'");
    }
    if (pendingConnection) return fail("a connection must end at a view or an edge");
    if ((!superview) && !out.empty()) {
        for (auto& c : out)
            if (c->pendingSuper_) return fail("the views have no superview");
    }
    for (auto& c : out) {
        if (!c->pendingSuper_) continue;
        if (c->first_.expired() && c->attribute1_ == trail) {
            // super.trailing rel prev.trailing + gap  ==  prev.trailing (flipped rel) super.trailing - gap
            LayoutRelation flipped = c->relation_ == LayoutRelation::Equal ? LayoutRelation::Equal
                                     : c->relation_ == LayoutRelation::GreaterThanOrEqual
                                         ? LayoutRelation::LessThanOrEqual
                                         : LayoutRelation::GreaterThanOrEqual;
            c->first_ = c->second_;
            c->second_ = superview;
            c->relation_ = flipped;
            c->constant_ = -c->constant_;
        } else {
            c->second_ = superview;
        }
        c->pendingSuper_ = false;
    }
    return out;
}

} // namespace platform
