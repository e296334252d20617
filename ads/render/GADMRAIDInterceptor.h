#pragma once
// Serves the MRAID script to ad pages in place of the network. Only the switches that the slot and the
// early start flip are here: whether it may serve at all, and whether it claims requests. Any thread
// (all under one lock).
#include <cstddef>

namespace ruzave {

class GADMRAIDInterceptor {
  public:
    static void allow();
    static void disallow();
    static bool isAllowed();
    static void enableCanInitWithRequest();
    static void disableCanInitWithRequest();
    static bool canInitWithRequestEnabled();
    // How often each switch was thrown in this process; the slot's state machine is judged by them.
    static std::size_t enableCanInitWithRequestCount();
    static std::size_t disableCanInitWithRequestCount();

  private:
    GADMRAIDInterceptor() = delete;
};

} // namespace ruzave
