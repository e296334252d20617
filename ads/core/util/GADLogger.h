#pragma once
// The SDK's public logger: messages meant for the app developer. Any thread.
#include <memory>
#include <string>

namespace ruzave {

class GADLogger {
public:
    static std::shared_ptr<GADLogger> sharedInstance();
    // Logs "<Ruzave> " followed by the message.
    void logPublicMessage(const std::string& message);

private:
    GADLogger() = default;
};

} // namespace ruzave
