#pragma once
// A small bounded pool of interchangeable objects: put any in, take any one out. New objects are
// dropped while the pool is full, and a memory warning empties it. Objects are told apart by identity.
// Any thread (adding is queued, taking and emptying wait on the pool's queue).
#include <cstdint>
#include <memory>
#include <set>

#include "platform/foundation/NotificationCenter.h"

namespace platform {
class DispatchQueue;
}

namespace ruzave {

class GADCacheSet : public std::enable_shared_from_this<GADCacheSet> {
  public:
    static std::shared_ptr<GADCacheSet> initWithMaxCapacity(std::uint32_t maxCapacity);
    virtual ~GADCacheSet();

    // A null object is never stored.
    void addObject(const std::shared_ptr<void>& object);
    // Takes one object out of the pool; nullptr when it is empty.
    std::shared_ptr<void> anyObject();
    template <class T> std::shared_ptr<T> anyObjectAs() { return std::static_pointer_cast<T>(anyObject()); }
    void removeAllObjects();
    std::size_t count() const;
    std::uint32_t maxCapacity() const { return maxCapacity_; }

  protected:
    explicit GADCacheSet(std::uint32_t maxCapacity);
    void observeMemoryWarnings();

  private:
    const std::uint32_t maxCapacity_;
    std::shared_ptr<platform::DispatchQueue> lockQueue_;
    std::set<std::shared_ptr<void>> set_;  // queue only
    std::shared_ptr<platform::NotificationCenter> center_;
    platform::NotificationCenter::Token observer_{};
};

} // namespace ruzave
