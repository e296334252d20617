#include "ads/core/util/GADLog.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/base/Log.h"
#include "platform/runloop/DispatchQueue.h"

namespace ruzave {

std::shared_ptr<platform::DispatchQueue> GADLoggingQueue() {
    static const std::shared_ptr<platform::DispatchQueue> queue =
        platform::DispatchQueue::createSerial("com.ruzave.ads.logging");
    return queue;
}

void GADLog(const char* format, ...) {
    if (format == nullptr) return;
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (n > 0) {
        text.resize(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<std::size_t>(n));
    }
    va_end(args);
    GADLoggingQueue()->async([text = std::move(text)] { platform::logInfo(text); });
}

} // namespace ruzave
