#include "ads/core/util/GADWeakReference.h"

#include "platform/base/Strings.h"

namespace ruzave {

std::shared_ptr<GADWeakReference> GADWeakReference::initWithObject(const std::shared_ptr<void>& object) {
    if (!object) return nullptr;
    std::shared_ptr<GADWeakReference> r(new GADWeakReference());
    r->object_ = object;
    r->uniqueID_ = reinterpret_cast<std::uintptr_t>(object.get());
    return r;
}

std::string GADWeakReference::description() const {
    auto object = object_.lock();
    const std::string objectText =
        object ? platform::format("%p", object.get()) : std::string("(null)");
    return platform::format("<GADWeakReference: %p weakObject:%s uniqueID:%p>", static_cast<const void*>(this),
                            objectText.c_str(), reinterpret_cast<const void*>(uniqueID_));
}

bool GADWeakReference::setContainsObject(const Set& set, const std::shared_ptr<void>& object) {
    auto probe = initWithObject(object);
    return probe && set.count(probe) > 0;
}

} // namespace ruzave
