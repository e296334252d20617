#include "conversion/ACTLog.h"

#include <string>

#include "platform/base/Log.h"

namespace ruzave {

void ACTLog::logPublicMessage(std::string_view message) {
    // One message is one line: identifiers from referrer URLs and server bodies can carry line breaks.
    platform::logInfo("<Ruzave> " + platform::escapeLogText(message));
}

void ACTLog::logPublicMessage(std::string_view message, std::string_view prefixingClass) {
    platform::logInfo("<Ruzave> " + std::string(prefixingClass) + ": " + platform::escapeLogText(message));
}

} // namespace ruzave
