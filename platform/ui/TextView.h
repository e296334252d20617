#pragma once
// A scrollable, optionally editable text area. Main thread.
#include <memory>
#include <string>

#include "platform/ui/Font.h"
#include "platform/ui/ScrollView.h"

namespace platform {

class TextView : public ScrollView {
public:
    static std::shared_ptr<TextView> create(Rect frame = Rect::zero());

    std::string text() const { return text_; }
    void setText(std::string text);
    Font font() const { return font_; }
    void setFont(Font font);
    bool isEditable() const { return editable_; }
    void setEditable(bool v) { editable_ = v; }
    bool isSelectable() const { return selectable_; }
    void setSelectable(bool v) { selectable_ = v; }
    bool canBecomeFirstResponder() const override { return editable_; }

protected:
    explicit TextView(Rect frame);

private:
    std::string text_;
    Font font_ = Font::systemFontOfSize(12);
    bool editable_ = true;
    bool selectable_ = true;
};

} // namespace platform
