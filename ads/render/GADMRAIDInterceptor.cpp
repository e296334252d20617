#include "ads/render/GADMRAIDInterceptor.h"

#include <mutex>

namespace ruzave {
namespace {

struct InterceptorState {
    std::mutex mutex;
    bool allowed = false;
    bool canInit = false;
    std::size_t enables = 0;
    std::size_t disables = 0;
};

InterceptorState& state() {
    static InterceptorState s;
    return s;
}

} // namespace

void GADMRAIDInterceptor::allow() {
    std::lock_guard lock(state().mutex);
    state().allowed = true;
}

void GADMRAIDInterceptor::disallow() {
    std::lock_guard lock(state().mutex);
    state().allowed = false;
}

bool GADMRAIDInterceptor::isAllowed() {
    std::lock_guard lock(state().mutex);
    return state().allowed;
}

void GADMRAIDInterceptor::enableCanInitWithRequest() {
    std::lock_guard lock(state().mutex);
    state().canInit = true;
    ++state().enables;
}

void GADMRAIDInterceptor::disableCanInitWithRequest() {
    std::lock_guard lock(state().mutex);
    state().canInit = false;
    ++state().disables;
}

bool GADMRAIDInterceptor::canInitWithRequestEnabled() {
    std::lock_guard lock(state().mutex);
    return state().canInit;
}

std::size_t GADMRAIDInterceptor::enableCanInitWithRequestCount() {
    std::lock_guard lock(state().mutex);
    return state().enables;
}

std::size_t GADMRAIDInterceptor::disableCanInitWithRequestCount() {
    std::lock_guard lock(state().mutex);
    return state().disables;
}

} // namespace ruzave
