#include "platform/services/TimeZone.h"

#include <mutex>

namespace platform {
namespace {

std::mutex& zoneMutex() {
    static std::mutex m;
    return m;
}
TimeZone& localZone() {
    static TimeZone z;
    return z;
}

} // namespace

TimeZone TimeZone::local() {
    std::lock_guard lock(zoneMutex());
    return localZone();
}

void TimeZone::setLocal(const TimeZone& zone) {
    std::lock_guard lock(zoneMutex());
    localZone() = zone;
}

} // namespace platform
