#pragma once
// A modal alert: title, message, buttons (the cancel button first when given), a delegate told of the
// tapped button and the dismissal. Shown alerts are listed so tests can find and tap them. Main thread.
#include <memory>
#include <string>
#include <vector>

namespace platform {

class AlertView;

class AlertViewDelegate {
public:
    virtual ~AlertViewDelegate() = default;
    virtual void alertViewClickedButtonAtIndex(AlertView& /*alert*/, long /*index*/) {}
    virtual void alertViewWillDismissWithButtonIndex(AlertView& /*alert*/, long /*index*/) {}
    virtual void alertViewDidDismissWithButtonIndex(AlertView& /*alert*/, long /*index*/) {}
};

class AlertView : public std::enable_shared_from_this<AlertView> {
public:
    static std::shared_ptr<AlertView> create(std::string title, std::string message,
                                             std::weak_ptr<AlertViewDelegate> delegate,
                                             const std::string& cancelButtonTitle = {},
                                             const std::vector<std::string>& otherButtonTitles = {});

    std::string title() const { return title_; }
    std::string message() const { return message_; }
    long addButtonWithTitle(std::string title);
    long numberOfButtons() const { return long(buttons_.size()); }
    // "" for an index out of range.
    std::string buttonTitleAtIndex(long index) const;
    long cancelButtonIndex() const { return cancelIndex_; }
    void setCancelButtonIndex(long index);
    std::shared_ptr<AlertViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<AlertViewDelegate> d) { delegate_ = std::move(d); }

    void show();
    bool isVisible() const { return visible_; }
    // Hides it, telling the delegate will- and did-dismiss (not clicked).
    void dismissWithClickedButtonIndex(long index, bool animated);

    // Test controls: the alerts on screen, oldest first, and tapping a button (clicked, then dismissed).
    static std::vector<std::shared_ptr<AlertView>> visibleAlerts();
    bool tapButtonAtIndex(long index);

    AlertView() = default;

private:
    std::string title_;
    std::string message_;
    std::vector<std::string> buttons_;
    long cancelIndex_ = -1;
    bool visible_ = false;
    std::weak_ptr<AlertViewDelegate> delegate_;
};

} // namespace platform
