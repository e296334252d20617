#include "platform/base/Log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/base/Unicode.h"

namespace platform {
namespace {
std::mutex& sinkMutex() {
    static std::mutex m;
    return m;
}
LogSink& sink() {
    static LogSink s;
    return s;
}
LogLevel& minLevel() {
    static LogLevel l = [] {
        const char* env = std::getenv("RUZAVE_LOG");
        return env != nullptr && std::strcmp(env, "debug") == 0 ? LogLevel::Debug : LogLevel::Info;
    }();
    return l;
}
const char* levelName(LogLevel l) {
    switch (l) {
    case LogLevel::Debug: return "debug";
    case LogLevel::Info: return "info";
    case LogLevel::Warning: return "warning";
    case LogLevel::Error: return "error";
    }
    return "?";
}
bool needsEscape(std::string_view text) {
    for (unsigned char c : text)
        if (c < 0x20 || c >= 0x7F) return true;
    return false;
}

} // namespace

std::string escapeLogText(std::string_view text) {
    if (!needsEscape(text)) return std::string(text);
    std::string out;
    out.reserve(text.size() + 16);
    char buffer[16];
    for (char32_t cp : decodeUTF8(text)) {
        if (cp == '\n') {
            out += "\\n";
        } else if (cp == '\r') {
            out += "\\r";
        } else if (cp == '\t') {
            out += "\\t";
        } else if (cp < 0x20 || cp == 0x7F) {
            std::snprintf(buffer, sizeof buffer, "\\x%02x", static_cast<unsigned>(cp));
            out += buffer;
        } else if ((cp >= 0x80 && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029) {
            std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(cp));
            out += buffer;
        } else {
            appendUTF8(out, cp);
        }
    }
    return out;
}

void log(LogLevel level, std::string_view message) {
    std::lock_guard<std::mutex> lock(sinkMutex());
    if (sink()) {
        // A capturing sink sees every line, whatever the level.
        sink()(level, std::string(message));
        return;
    }
    if (level < minLevel()) return;
    // One message is one terminal line, whatever it carries.
    const std::string line = escapeLogText(message);
    std::fprintf(stderr, "[%s] %s\n", levelName(level), line.c_str());
}

LogSink setLogSink(LogSink s) {
    std::lock_guard<std::mutex> lock(sinkMutex());
    LogSink previous = std::move(sink());
    sink() = std::move(s);
    return previous;
}

void setLogLevel(LogLevel level) {
    std::lock_guard<std::mutex> lock(sinkMutex());
    minLevel() = level;
}

LogCapture::LogCapture() {
    previous_ = setLogSink([this](LogLevel, const std::string& line) {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(line);
    });
}

LogCapture::~LogCapture() { setLogSink(std::move(previous_)); }

std::vector<std::string> LogCapture::lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

bool LogCapture::contains(std::string_view fragment) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& l : lines_)
        if (l.find(fragment) != std::string::npos) return true;
    return false;
}

void LogCapture::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
}

} // namespace platform
