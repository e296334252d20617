#include "ads/render/GADAdView.h"
#include "ads/render/GADSendAdReport.h"
#include "platform/runloop/MainLoop.h"
#include "platform/services/Pasteboard.h"

namespace ruzave {

void GADAdView::handleGesture() {
    if (!showDebug_) return;
    bool hasText = adDebugDialog_.has_value();
    std::vector<std::string> buttons;
    if (hasText) buttons = {"Copy", "Report"};
    auto self = std::static_pointer_cast<GADAdView>(weak_from_this().lock());
    std::weak_ptr<platform::AlertViewDelegate> delegate;
    if (self) delegate = std::static_pointer_cast<platform::AlertViewDelegate>(self);
    // One dialog at a time: a new gesture replaces the one shown.
    if (alertView_) {
        alertView_->setDelegate({});
        if (alertView_->isVisible()) alertView_->dismissWithClickedButtonIndex(alertView_->cancelButtonIndex(), false);
    }
    alertView_ = platform::AlertView::create(kDebugDialogTitle, hasText ? *adDebugDialog_ : kNoDebugInformation,
                                             delegate, "OK", buttons);
    alertView_->show();
}

void GADAdView::alertViewClickedButtonAtIndex(platform::AlertView&, long index) {
    if (!adDebugDialog_ || adDebugDialog_->empty()) return;
    if (index == 1) {
        platform::Pasteboard::general()->setString(*adDebugDialog_);
    } else if (index == 2) {
        GADSendAdReport(adDebugDialog_);
    }
}

void GADAdView::alertViewDidDismissWithButtonIndex(platform::AlertView& alert, long) {
    // Let go on a later turn: the alert is still inside its own call.
    if (&alert != alertView_.get()) return;
    auto shown = alertView_;
    alertView_.reset();
    platform::MainLoop::main().post([shown] {});
}

} // namespace ruzave
