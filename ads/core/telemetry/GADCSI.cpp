#include "ads/core/telemetry/GADCSI.h"

namespace ruzave {

std::shared_ptr<GADCSI> GADCSI::sharedInstance() {
    static const std::shared_ptr<GADCSI> instance(new GADCSI());
    return instance;
}

std::optional<std::string> GADCSI::GWSQueryID() const {
    std::lock_guard lock(mutex_);
    return gwsQueryID_;
}

void GADCSI::setGWSQueryID(const std::optional<std::string>& queryID) {
    std::lock_guard lock(mutex_);
    gwsQueryID_ = queryID;
}

} // namespace ruzave
