#pragma once
// The conversion library's public log: one line per message, "<Ruzave> " first. Any thread.
#include <string_view>

namespace ruzave {

class ACTLog {
public:
    // "<Ruzave> message"
    static void logPublicMessage(std::string_view message);
    // "<Ruzave> ClassName: message"
    static void logPublicMessage(std::string_view message, std::string_view prefixingClass);
};

} // namespace ruzave
