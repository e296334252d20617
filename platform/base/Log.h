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

// Text from pages, servers or any other source we do not control, made safe for one log line: CR, LF,
// tab, ESC and the other C0 controls, DEL, the C1 controls (U+0080-U+009F) and the Unicode line and
// paragraph separators become visible escapes ("\n", "\r", "\t", "\x1b", "\u0085"); ill-formed UTF-8
// becomes U+FFFD. Everything else passes unchanged, so escaping twice changes nothing more.
std::string escapeLogText(std::string_view text);

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
