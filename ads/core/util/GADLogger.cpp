#include "ads/core/util/GADLogger.h"

#include "ads/core/util/GADLog.h"
#include "platform/base/Log.h"

namespace ruzave {

std::shared_ptr<GADLogger> GADLogger::sharedInstance() {
    static const std::shared_ptr<GADLogger> instance(new GADLogger());
    return instance;
}

// Public messages often quote what a server or page sent (class names, errors, parameters).
void GADLogger::logPublicMessage(const std::string& message) {
    GADLog("<Ruzave> %s", platform::escapeLogText(message).c_str());
}

} // namespace ruzave
