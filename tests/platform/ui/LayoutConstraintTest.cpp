#include <map>

#include "platform/base/Error.h"
#include "platform/base/Log.h"
#include "platform/ui/Label.h"
#include "platform/ui/LayoutConstraint.h"
#include "platform/ui/View.h"

using namespace platform;

namespace {
std::shared_ptr<View> child(const std::shared_ptr<View>& parent, Rect frame = Rect::zero()) {
    auto v = View::create(frame);
    v->setTranslatesAutoresizingMaskIntoConstraints(false);
    parent->addSubview(v);
    return v;
}
} // namespace

TEST_CASE("LayoutConstraint: H:|[v]| and V:|[v]| pin a view to its superview's edges") {
    auto parent = View::create(Rect(0, 0, 320, 50));
    auto v = child(parent, Rect(3, 3, 3, 3));
    std::map<std::string, std::shared_ptr<View>> views{{"v", v}};
    parent->addConstraints(LayoutConstraint::constraintsWithVisualFormat("H:|[v]|", {}, views));
    parent->addConstraints(LayoutConstraint::constraintsWithVisualFormat("V:|[v]|", {}, views));
    parent->layoutIfNeeded();
    CHECK(v->frame() == Rect(0, 0, 320, 50));
    parent->setFrame(Rect(0, 0, 300, 250));
    parent->layoutIfNeeded();
    CHECK(v->frame() == Rect(0, 0, 300, 250));
}

TEST_CASE("LayoutConstraint: chains with spacing, sizes, metrics and >= relations") {
    auto parent = View::create(Rect(0, 0, 300, 44));
    auto a = child(parent), b = child(parent), c = child(parent);
    std::map<std::string, std::shared_ptr<View>> views{{"a", a}, {"b", b}, {"c", c}};
    std::map<std::string, float> metrics{{"side", 40}};
    Error error;
    auto list = LayoutConstraint::constraintsWithVisualFormat("H:|-10-[a(side)]-[b(==60)][c(>=50)]|", metrics, views,
                                                              &error);
    REQUIRE_FALSE(list.empty());
    parent->addConstraints(list);
    parent->addConstraints(LayoutConstraint::constraintsWithVisualFormat("V:|[a]|", {}, views));
    parent->addConstraints(LayoutConstraint::constraintsWithVisualFormat("V:|-(4)-[b(20)]", {}, views));
    parent->layoutIfNeeded();
    CHECK(a->frame() == Rect(10, 0, 40, 44));
    CHECK(b->frame().minX() == 58);
    CHECK(b->frame().width() == 60);
    CHECK(b->frame().minY() == 4);
    CHECK(b->frame().height() == 20);
    CHECK(c->frame().minX() == 118);
    CHECK(c->frame().maxX() == 300);

    // The >= size holds when the superview gets too narrow.
    parent->setFrame(Rect(0, 0, 150, 44));
    parent->layoutIfNeeded();
    CHECK(c->frame().width() == 50);

    // A trailing >= gap leaves a view at its fixed size, from the leading edge.
    auto p2 = View::create(Rect(0, 0, 200, 10));
    auto d = child(p2);
    std::map<std::string, std::shared_ptr<View>> v2{{"d", d}};
    p2->addConstraints(LayoutConstraint::constraintsWithVisualFormat("H:|-(>=5)-[d(100)]-(>=0)-|", {}, v2));
    p2->layoutIfNeeded();
    CHECK(d->frame().minX() == 5);
    CHECK(d->frame().width() == 100);
}

TEST_CASE("LayoutConstraint: explicit constraints: centre, multiplier, equal edges and intrinsic size") {
    auto parent = View::create(Rect(0, 0, 200, 100));
    auto label = Label::create();
    label->setTranslatesAutoresizingMaskIntoConstraints(false);
    label->setText("abcd");
    label->setFont(Font::systemFontOfSize(10)); // 4 glyphs of 6 points, 12 high
    parent->addSubview(label);
    auto half = child(parent);
    using A = LayoutAttribute;
    using R = LayoutRelation;
    parent->addConstraint(LayoutConstraint::constraintWithItem(label, A::CenterX, R::Equal, parent, A::CenterX, 1, 0));
    parent->addConstraint(LayoutConstraint::constraintWithItem(label, A::CenterY, R::Equal, parent, A::CenterY, 1, 0));
    parent->addConstraint(LayoutConstraint::constraintWithItem(half, A::Width, R::Equal, parent, A::Width, 0.5f, 0));
    parent->addConstraint(LayoutConstraint::constraintWithItem(half, A::Height, R::Equal, nullptr,
                                                               A::NotAnAttribute, 1, 30));
    parent->addConstraint(LayoutConstraint::constraintWithItem(half, A::Right, R::Equal, parent, A::Right, 1, 0));
    parent->addConstraint(LayoutConstraint::constraintWithItem(half, A::Top, R::Equal, label, A::Bottom, 1, 2));
    parent->layoutIfNeeded();
    CHECK(label->frame() == Rect(88, 44, 24, 12));
    CHECK(half->frame() == Rect(100, 58, 100, 30));

    // Mixed axes make no constraint.
    CHECK(LayoutConstraint::constraintWithItem(half, A::Width, R::Equal, parent, A::Top, 1, 0) == nullptr);
    // Removing a view drops the constraints naming it.
    half->removeFromSuperview();
    CHECK(parent->constraints().size() == 2);
}

TEST_CASE("LayoutConstraint: a size may follow the other axis' size, and a refused constraint is logged") {
    LogCapture log;
    auto parent = View::create(Rect(0, 0, 200, 100));
    auto tall = child(parent), wide = child(parent);
    using A = LayoutAttribute;
    using R = LayoutRelation;
    parent->addConstraint(
        LayoutConstraint::constraintWithItem(tall, A::Height, R::Equal, nullptr, A::NotAnAttribute, 1, 20));
    // An aspect ratio on one view, and a height that follows another view's width.
    parent->addConstraint(
        LayoutConstraint::constraintWithItem(tall, A::Width, R::Equal, tall, A::Height, 0.5f, 2));
    parent->addConstraint(
        LayoutConstraint::constraintWithItem(wide, A::Height, R::Equal, tall, A::Width, 2, 0));
    parent->addConstraint(
        LayoutConstraint::constraintWithItem(wide, A::Width, R::Equal, nullptr, A::NotAnAttribute, 1, 30));
    parent->layoutIfNeeded();
    CHECK(tall->frame().size == Size(12, 20));
    CHECK(wide->frame().size == Size(30, 24));
    CHECK(parent->constraints().size() == 4);
    CHECK_FALSE(log.contains("LayoutConstraint"));

    // A place never follows the other axis: refused, and said so, as is adding what was refused.
    auto refused = LayoutConstraint::constraintWithItem(tall, A::Left, R::Equal, wide, A::Top, 1, 0);
    CHECK(refused == nullptr);
    CHECK(log.contains("LayoutConstraint: refused a constraint: it relates attributes of different axes"));
    parent->addConstraint(refused);
    CHECK(log.contains("View: a missing constraint was not added"));
    CHECK(parent->constraints().size() == 4);
}

TEST_CASE("LayoutConstraint: malformed visual formats give no constraints and an error") {
    auto parent = View::create(Rect(0, 0, 100, 100));
    auto v = child(parent);
    std::map<std::string, std::shared_ptr<View>> views{{"v", v}};
    for (const char* bad : {"H:|[w]|", "H:|[v", "H:|-[v]-", "H:|[v(abc)]|", "H:|-(>=x)-[v]|", "H:|?[v]|"}) {
        Error error;
        CHECK(LayoutConstraint::constraintsWithVisualFormat(bad, {}, views, &error).empty());
        CHECK_FALSE(error.empty());
    }
}
