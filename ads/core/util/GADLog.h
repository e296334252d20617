#pragma once
// The SDK's log: formats on the caller's thread, writes on one serial logging queue so that each
// thread's lines keep their order and no caller waits. Any thread.
#include <memory>

namespace platform {
class DispatchQueue;
}

namespace ruzave {

void GADLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The logging queue, made on first use.
std::shared_ptr<platform::DispatchQueue> GADLoggingQueue();

} // namespace ruzave
