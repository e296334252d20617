#pragma once
// A second page that an MRAID ad opens with expand-to-URL, on its own ad view; the page and the ad
// that opened it hear "expanded" while it is up and "default" when it goes. Main thread.
#include <memory>

#include "ads/render/GADAdAppViewController.h"

namespace ruzave {

class GADSupplementalAdAppViewController : public GADAdAppViewController {
  public:
    static std::shared_ptr<GADSupplementalAdAppViewController> init();

    void finishAppearing() override;
    void viewDidAppear(bool animated) override;
    void viewDidDisappear(bool animated) override;

  protected:
    void didFinishDismissal() override;

  private:
    GADSupplementalAdAppViewController() = default;
};

} // namespace ruzave
