#pragma once
// Describes where the owner sits in the view tree, for the request parameters. Held weakly. The cache
// call comes on the main thread; the read may come from any thread.
#include <optional>

#include "platform/base/Value.h"

namespace ruzave {

class GADSlot;

class GADSlotAdKeyDelegate {
  public:
    virtual ~GADSlotAdKeyDelegate() = default;
    virtual void cacheViewHierarchyInformationForSlot(GADSlot& slot) = 0;
    virtual std::optional<platform::Value> viewHierarchyInformationForSlot(GADSlot& slot) = 0;
};

} // namespace ruzave
