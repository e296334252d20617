#pragma once
// A view that shows part of a larger content area: the content offset is its bounds origin. Main thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "platform/ui/View.h"

namespace platform {

class ScrollView;

// Told when the content offset changes. Main thread.
class ScrollViewDelegate {
public:
    virtual ~ScrollViewDelegate() = default;
    virtual void scrollViewDidScroll(ScrollView& /*scrollView*/) {}
};

class ScrollView : public View {
public:
    static std::shared_ptr<ScrollView> create(Rect frame = Rect::zero());

    // Negative or non-finite dimensions read as 0.
    Size contentSize() const { return contentSize_; }
    void setContentSize(Size size);
    // Observers of the content size, told after each change (a set to the same size tells no one).
    // An observer may add or remove observers while it is told.
    using ContentSizeObserver = std::function<void(ScrollView&)>;
    std::uint64_t addContentSizeObserver(ContentSizeObserver observer);
    void removeContentSizeObserver(std::uint64_t token);
    // The bounds origin. Non-finite values are ignored.
    Point contentOffset() const { return bounds().origin; }
    void setContentOffset(Point offset, bool animated = false);
    EdgeInsets contentInset() const { return contentInset_; }
    void setContentInset(EdgeInsets insets) { contentInset_ = insets; }
    bool isScrollEnabled() const { return scrollEnabled_; }
    void setScrollEnabled(bool enabled) { scrollEnabled_ = enabled; }
    bool bounces() const { return bounces_; }
    void setBounces(bool bounces) { bounces_ = bounces; }
    bool scrollsToTop() const { return scrollsToTop_; }
    void setScrollsToTop(bool v) { scrollsToTop_ = v; }
    bool showsHorizontalScrollIndicator() const { return showsHorizontal_; }
    void setShowsHorizontalScrollIndicator(bool v) { showsHorizontal_ = v; }
    bool showsVerticalScrollIndicator() const { return showsVertical_; }
    void setShowsVerticalScrollIndicator(bool v) { showsVertical_ = v; }
    std::shared_ptr<ScrollViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<ScrollViewDelegate> delegate) { delegate_ = std::move(delegate); }

    void setBounds(Rect bounds) override;

protected:
    explicit ScrollView(Rect frame);

private:
    Size contentSize_;
    EdgeInsets contentInset_;
    bool scrollEnabled_ = true;
    bool bounces_ = true;
    bool scrollsToTop_ = true;
    bool showsHorizontal_ = true;
    bool showsVertical_ = true;
    std::weak_ptr<ScrollViewDelegate> delegate_;
    std::vector<std::pair<std::uint64_t, ContentSizeObserver>> contentSizeObservers_;
    std::uint64_t nextObserverToken_ = 1;
};

} // namespace platform
