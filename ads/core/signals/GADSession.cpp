#include "ads/core/signals/GADSession.h"

#include <cstring>

#include "platform/base/Crypto.h"

namespace ruzave {

std::shared_ptr<GADSession> GADSession::init() {
    std::shared_ptr<GADSession> s(new GADSession());
    const auto bytes = platform::randomBytes(8);
    std::uint64_t value = 0;
    std::memcpy(&value, bytes.data(), std::min<std::size_t>(bytes.size(), sizeof value));
    s->uniqueID_ = std::to_string(value);
    return s;
}

} // namespace ruzave
