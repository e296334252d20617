#include "platform/net/TransferOrigin.h"

#include <atomic>

namespace platform {

std::uint64_t TransferOrigin::newId() {
    static std::atomic<std::uint64_t> next{1};
    return next.fetch_add(1);
}

} // namespace platform
