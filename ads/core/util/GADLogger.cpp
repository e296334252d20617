#include "ads/core/util/GADLogger.h"

#include "ads/core/util/GADLog.h"

namespace ruzave {

std::shared_ptr<GADLogger> GADLogger::sharedInstance() {
    static const std::shared_ptr<GADLogger> instance(new GADLogger());
    return instance;
}

void GADLogger::logPublicMessage(const std::string& message) { GADLog("<Ruzave> %s", message.c_str()); }

} // namespace ruzave
