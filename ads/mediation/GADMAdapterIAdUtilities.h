#pragma once
// What the platform ad network adapter asks of the device: the OS version, split and compared, and the
// main screen's scale (read once, on the main thread). Any thread.
#include <functional>
#include <mutex>
#include <optional>

namespace ruzave {

class GADIAdMacros {
  public:
    // Runs `block` at once on the main thread, else on the main queue, waiting for it.
    static void runSynchronouslyOnMainThreadWithBlock(const std::function<void()>& block);
};

class GADMAdapterIAdUtilities {
  public:
    static GADMAdapterIAdUtilities& sharedInstance();

    // The device's system version split at "."; a missing piece is 0; null out-parameters are skipped.
    static void getOSMajor(int* major, int* minor, int* bugFix);
    static bool isOSAtLeast(int major, int minor, int bug);

    // The main screen's scale, 1 when it reports none; read once and kept.
    float screenScale();
    // Tests: forget the kept scale.
    void resetForTesting();

  private:
    std::mutex mutex_;
    std::optional<float> scale_;
};

} // namespace ruzave
