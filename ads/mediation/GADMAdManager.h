#pragma once
// A slot's mediation waterfall. Only what the slot drives is here so far: its slot, cancelling the
// waterfall under way and asking the mediated network to take a new size. Main thread.
#include <memory>

namespace ruzave {

class GADAdType;
class GADSlot;

class GADMAdManager {
  public:
    static std::shared_ptr<GADMAdManager> init() {
        return std::shared_ptr<GADMAdManager>(new GADMAdManager());
    }

    std::shared_ptr<GADSlot> slot() const { return slot_.lock(); }
    void setSlot(const std::weak_ptr<GADSlot>& slot) { slot_ = slot; }
    // Stops the waterfall under way; no result reaches the slot afterwards.
    void cancel();
    // True when the mediated network's banner took the new size; no network is mediated yet, so none
    // can.
    bool changeAdTypeTo(const std::shared_ptr<GADAdType>& adType);

  private:
    GADMAdManager() = default;
    std::weak_ptr<GADSlot> slot_;
};

} // namespace ruzave
