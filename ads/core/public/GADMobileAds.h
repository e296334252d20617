#pragma once
// The app's switches for two background services of the SDK. Each holds for the rest of the process:
// there is no way to switch either service on again. Main thread.

namespace ruzave {

class GADMobileAds {
  public:
    GADMobileAds() = delete;
    // Purchases made in the app are no longer reported as conversions.
    static void disableAutomatedInAppPurchaseReporting();
    // The SDK no longer records its own crashes; the app's earlier crash handler is put back.
    static void disableSDKCrashReporting();
};

} // namespace ruzave
