#include "ads/core/slot/GADAdURLBuilder.h"

#include <mutex>

namespace ruzave {
namespace {

std::mutex& builderMutex() {
    static std::mutex m;
    return m;
}

GADAdURLBuilder::Builder& installedBuilder() {
    static GADAdURLBuilder::Builder b;
    return b;
}

} // namespace

void GADAdURLBuilder::setBuilder(Builder builder) {
    std::lock_guard lock(builderMutex());
    installedBuilder() = std::move(builder);
}

bool GADAdURLBuilder::buildAdURL(const std::shared_ptr<GADSlot>& slot) {
    Builder builder;
    {
        std::lock_guard lock(builderMutex());
        builder = installedBuilder();
    }
    // Called outside the lock: the builder may call back into the slot.
    if (!builder) return false;
    builder(slot);
    return true;
}

} // namespace ruzave
