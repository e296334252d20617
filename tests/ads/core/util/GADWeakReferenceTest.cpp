#include <doctest/doctest.h>

#include "ads/core/util/GADWeakReference.h"

using namespace ruzave;

TEST_CASE("GADWeakReference: identity is the address and outlives the object") {
    auto object = std::make_shared<int>(5);
    auto a = GADWeakReference::initWithObject(object);
    auto b = GADWeakReference::initWithObject(object);
    CHECK(a->isEqual(b.get()));
    CHECK(a->hash() == b->hash());
    GADWeakReference::Set set{a, b};
    CHECK(set.size() == 1);
    CHECK(GADWeakReference::setContainsObject(set, object));
    CHECK_FALSE(GADWeakReference::setContainsObject(set, nullptr));
    CHECK(a->weakObjectAs<int>() == object);
    object.reset();
    CHECK(a->weakObject() == nullptr);
    CHECK(a->isEqual(b.get()));
    CHECK(a->description().find("weakObject:(null)") != std::string::npos);
    CHECK(GADWeakReference::initWithObject(nullptr) == nullptr);
}
