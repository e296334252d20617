#include "ads/native/GADNativeAdAttributionView.h"

#include <algorithm>

#include "ads/native/GADNativeAdAttribution.h"
#include "ads/native/GADNativeAdImage.h"
#include "ads/render/GADPushTransitionView.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Image.h"
#include "platform/ui/Label.h"
#include "platform/ui/Layer.h"
#include "platform/ui/LayoutConstraint.h"

namespace ruzave {

using platform::LayoutAttribute;
using platform::LayoutConstraint;
using platform::LayoutRelation;

std::shared_ptr<GADNativeAdAttributionView> GADNativeAdAttributionView::initWithFrame(platform::Rect frame) {
    std::shared_ptr<GADNativeAdAttributionView> view(new GADNativeAdAttributionView(frame));
    view->commonInit();
    return view;
}

std::shared_ptr<platform::View> GADNativeAdAttributionView::iconView() const { return iconView_; }
std::shared_ptr<platform::View> GADNativeAdAttributionView::textView() const { return textView_; }

void GADNativeAdAttributionView::commonInit() {
    setClipsToBounds(true);
    iconView_ = GADPushTransitionView::initWithFrame(platform::Rect::zero());
    textView_ = platform::Label::create();
    textPaddingLeft_ = platform::View::create();
    textPaddingRight_ = platform::View::create();
    std::shared_ptr<platform::View> all[] = {iconView_, textView_, textPaddingLeft_, textPaddingRight_};
    for (const auto& v : all) {
        v->setTranslatesAutoresizingMaskIntoConstraints(false);
        addSubview(v);
    }
    std::map<std::string, std::shared_ptr<platform::View>> views = {
        {"_iconView", iconView_}, {"_textView", textView_}, {"_textPaddingLeft", textPaddingLeft_},
        {"_textPaddingRight", textPaddingRight_}};
    addConstraints(LayoutConstraint::constraintsWithVisualFormat(
        "H:|[_textPaddingLeft][_textView][_textPaddingRight][_iconView]|", {}, views));
    for (const auto& v : all)
        if (v != textPaddingLeft_)
            addConstraint(LayoutConstraint::constraintWithItem(v, LayoutAttribute::CenterY, LayoutRelation::Equal,
                                                               textPaddingLeft_, LayoutAttribute::CenterY, 1, 0));
    addConstraints(LayoutConstraint::constraintsWithVisualFormat("V:|[_textPaddingLeft]|", {}, views));
    // "V:[_textPaddingLeft(>=_textView,>=_iconView)]", spelled out.
    for (const auto& v : {std::shared_ptr<platform::View>(textView_), std::shared_ptr<platform::View>(iconView_)})
        addConstraint(LayoutConstraint::constraintWithItem(textPaddingLeft_, LayoutAttribute::Height,
                                                           LayoutRelation::GreaterThanOrEqual, v, LayoutAttribute::Height, 1, 0));
    for (const auto& padding : {textPaddingLeft_, textPaddingRight_})
        addConstraint(LayoutConstraint::constraintWithItem(padding, LayoutAttribute::Width, LayoutRelation::Equal,
                                                           textView_, LayoutAttribute::Height, 0.37f, 0));
}

void GADNativeAdAttributionView::setAttribution(const std::shared_ptr<GADNativeAdAttribution>& attribution) {
    if (!attribution) return;
    textView_->setText(attribution->text().value_or(""));
    textView_->setFont(attribution->font());
    textView_->setTextColor(attribution->textColor());
    setBackgroundColor(attribution->backgroundColor());
    std::vector<std::shared_ptr<platform::View>> imageViews;
    float width = 0, height = 0;
    if (const auto& icons = attribution->icons()) {
        for (const auto& icon : *icons) {
            auto image = icon ? icon->image() : nullptr;
            if (!image) continue;
            imageViews.push_back(platform::ImageView::createWithImage(std::const_pointer_cast<platform::Image>(image)));
            width = std::max(width, image->size().width);
            height = std::max(height, image->size().height);
        }
    }
    iconView_->setAnimationDuration(attribution->iconAnimationDuration());
    iconView_->setPresentationDuration(attribution->iconPresentationDuration());
    iconView_->setViews(imageViews);
    // A second attribution replaces the icon area's size instead of piling up clashing constraints.
    if (iconWidth_) removeConstraint(iconWidth_);
    if (iconHeight_) removeConstraint(iconHeight_);
    iconSize_ = {width, height};
    iconWidth_ = LayoutConstraint::constraintWithItem(iconView_, LayoutAttribute::Width, LayoutRelation::Equal, nullptr,
                                                      LayoutAttribute::NotAnAttribute, 1, width);
    iconHeight_ = LayoutConstraint::constraintWithItem(iconView_, LayoutAttribute::Height, LayoutRelation::Equal, nullptr,
                                                       LayoutAttribute::NotAnAttribute, 1, height);
    addConstraint(iconWidth_);
    addConstraint(iconHeight_);
    invalidateIntrinsicContentSize();
}

platform::Size GADNativeAdAttributionView::intrinsicContentSize() const {
    platform::Size text = textView_->intrinsicContentSize();
    float textWidth = std::max(0.0f, text.width), textHeight = std::max(0.0f, text.height);
    return {textWidth + 2 * 0.37f * textHeight + iconSize_.width, std::max(textHeight, iconSize_.height)};
}

void GADNativeAdAttributionView::layoutSubviews() {
    platform::View::layoutSubviews();
    layer()->setMasksToBounds(true);
    layer()->setCornerRadius(3);
}

} // namespace ruzave
