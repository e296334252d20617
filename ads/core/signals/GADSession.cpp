#include "ads/core/signals/GADSession.h"

#include <sys/random.h>

#include <cstring>

#include "platform/base/Crypto.h"

namespace ruzave {

std::shared_ptr<GADSession> GADSession::init() {
    std::shared_ptr<GADSession> s(new GADSession());
    std::uint64_t value = 0;
    // The kernel's random source directly: the session is made on the main thread at launch, and the
    // first draw from the library generator pays for seeding it there (over a millisecond).
    if (::getrandom(&value, sizeof value, 0) != static_cast<ssize_t>(sizeof value)) {
        const auto bytes = platform::randomBytes(8);
        std::memcpy(&value, bytes.data(), std::min<std::size_t>(bytes.size(), sizeof value));
    }
    s->uniqueID_ = std::to_string(value);
    return s;
}

} // namespace ruzave
