#pragma once
// Puts work on the main thread: at once when already there, else queued on the main queue.
// Any thread.
#include <functional>

namespace ruzave {

void GADRunOnMainThread(std::function<void()> block);

} // namespace ruzave
