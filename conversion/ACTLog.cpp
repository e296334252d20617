#include "conversion/ACTLog.h"

#include <string>

#include "platform/base/Log.h"

namespace ruzave {

void ACTLog::logPublicMessage(std::string_view message) {
    platform::logInfo("<Ruzave> " + std::string(message));
}

void ACTLog::logPublicMessage(std::string_view message, std::string_view prefixingClass) {
    platform::logInfo("<Ruzave> " + std::string(prefixingClass) + ": " + std::string(message));
}

} // namespace ruzave
