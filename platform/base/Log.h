#pragma once
// The process's log sink. Lines go to stderr unless a sink is installed (tests capture them). Any thread.
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class LogLevel { Debug = 0, Info = 1, Warning = 2, Error = 3 };

void log(LogLevel level, std::string_view message);
inline void logDebug(std::string_view m) { log(LogLevel::Debug, m); }
inline void logInfo(std::string_view m) { log(LogLevel::Info, m); }
inline void logWarning(std::string_view m) { log(LogLevel::Warning, m); }
inline void logError(std::string_view m) { log(LogLevel::Error, m); }

using LogSink = std::function<void(LogLevel, const std::string&)>;
// Installs a sink (empty: back to stderr). Returns the previous one.
LogSink setLogSink(LogSink sink);
// Lines below this level are dropped (default: Info; RUZAVE_LOG=debug lowers it).
void setLogLevel(LogLevel level);

// Captures every line while alive, for tests.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    std::vector<std::string> lines() const;
    bool contains(std::string_view fragment) const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    LogSink previous_;
};

} // namespace platform
