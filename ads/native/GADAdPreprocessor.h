#pragma once
// Runs one native response through the native support page: loads the page into a hidden slot of its
// own, hands the response's JSON text to the page's script and waits for the processed JSON in the
// script message "nativeAdPreProcess". The handler runs exactly once, on the main queue: with the
// processed object and the slot, or with an error (page failed, refused, time-out, invalid answer).
// Main thread.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ads/core/slot/GADSlotAdLoadDelegate.h"
#include "platform/base/Error.h"
#include "platform/base/Value.h"
#include "platform/foundation/NotificationCenter.h"

namespace ruzave {

class GADSlot;

class GADAdPreprocessor : public GADSlotAdLoadDelegate, public std::enable_shared_from_this<GADAdPreprocessor> {
  public:
    using CompletionHandler = std::function<void(const std::optional<platform::Value>& object,
                                                 const std::shared_ptr<GADSlot>& slot,
                                                 const std::optional<platform::Error>& error)>;
    static constexpr const char* kPreProcessMessage = "nativeAdPreProcess";
    // How long the page has to answer once loaded.
    static constexpr double kAnswerTimeoutSeconds = 5.0;
    // How long the whole work may take, page load included: a page that never loads ends too.
    static constexpr double kOverallTimeoutSeconds = 30.0;
    static constexpr long kTimedOutCode = 2;

    static std::shared_ptr<GADAdPreprocessor> initWithAdUnitID(const std::string& adUnitID);
    ~GADAdPreprocessor() override;

    // preprocessNativeAdJSON:completionHandler:
    void preprocessNativeAdJSON(const std::string& json, CompletionHandler handler);
    void slotFinishedLoadingAdContent(GADSlot& slot) override;
    void slotDidFailToLoadAdContentWithError(GADSlot& slot, const platform::Error& error) override;
    void handlePreprocessorNotification(const platform::Notification& notification);
    static std::string environmentJSONString();

    std::shared_ptr<GADSlot> slot() const { return slot_; }
    const std::string& nativeAdJSON() const { return nativeAdJSON_; }

  private:
    GADAdPreprocessor() = default;
    void complete(const std::optional<platform::Value>& object, const std::shared_ptr<GADSlot>& slot,
                  const std::optional<platform::Error>& error);
    void scheduleTimeout(double seconds);

    std::shared_ptr<GADSlot> slot_;
    CompletionHandler completionHandler_;
    std::string nativeAdJSON_;
    std::optional<platform::NotificationCenter::Token> observer_;
};

} // namespace ruzave
