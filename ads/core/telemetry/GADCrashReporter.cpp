#include "ads/core/telemetry/GADCrashReporter.h"

#include <cxxabi.h>
#include <errno.h>
#include <execinfo.h>

#include <atomic>
#include <cstdlib>
#include <typeinfo>

#include "ads/core/net/GADPinger.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/signals/GADApplication.h"
#include "ads/core/signals/GADDevice.h"
#include "ads/core/util/GADNSURLUtilities.h"
#include "platform/foundation/UserDefaults.h"

namespace ruzave {

namespace {

// The handler that was installed before ours; null until ours is installed.
std::atomic<std::terminate_handler> previousHandler{nullptr};

bool mentionsSDK(const std::string& text) {
    return text.find("GAD") != std::string::npos || text.find("VOD") != std::string::npos;
}

bool isSeparator(char c) {
    switch (c) {
    case ' ': case '\t': case '\n': case '\v': case '\f': case '\r':
    case '-': case '+': case '[': case ']': case ':':
        return true;
    default:
        return false;
    }
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    if (from.empty()) return;
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

// The first `characters` UTF-8 characters of `text`; a byte that starts no character counts as one.
std::string prefixCharacters(const std::string& text, std::size_t characters) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const bool continuation = (byte & 0xC0) == 0x80;
        if (!continuation || i == 0) {
            if (count == characters) return text.substr(0, i);
            ++count;
        }
    }
    return text;
}

std::string demangled(const char* name) {
    int status = 0;
    char* readable = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    std::string result = status == 0 && readable != nullptr ? readable : name;
    std::free(readable);
    return result;
}

// The stack of the thread that failed, from the frame that called into the terminate machinery: the
// handler's own frames (which name the SDK) are left out.
std::vector<std::string> callStackSymbols() {
    void* frames[64];
    const int count = ::backtrace(frames, 64);
    std::vector<std::string> lines;
    if (count <= 0) return lines;
    char** symbols = ::backtrace_symbols(frames, count);
    if (symbols == nullptr) return lines;
    for (int i = 0; i < count; ++i) lines.emplace_back(symbols[i] != nullptr ? symbols[i] : "");
    std::free(symbols);
    for (std::size_t i = lines.size(); i-- > 0;) {
        if (lines[i].find("GADCrashReporter16terminateHandler") != std::string::npos) {
            lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(i) + 1);
            break;
        }
    }
    return lines;
}

} // namespace

std::shared_ptr<GADCrashReporter> GADCrashReporter::sharedInstance() {
    // Never destroyed: the handler may run during exit, after static destructors have started.
    static const std::shared_ptr<GADCrashReporter>* instance =
        new std::shared_ptr<GADCrashReporter>(new GADCrashReporter());
    return *instance;
}

void GADCrashReporter::enableReporting() {
    std::lock_guard lock(mutex_);
    if (!enabled_ || installed_) return;
    auto device = GADDevice::sharedInstance();
    auto application = GADApplication::sharedInstance();
    fixedParameters_ = platform::Value{
        {"id", "diri-apps-report-exception"},
        {"os", device->systemVersion()},
        {"appid", application->mainBundleIdentifier()},
        {"api", application->version()},
        {"js", GADRequest::sdkVersion()},
        {"device", device->deviceModel()},
    };
    processName_ = program_invocation_short_name != nullptr ? program_invocation_short_name : "";
    pinger_ = GADPinger::sharedInstance();
    installed_ = true;
    const std::terminate_handler current = std::get_terminate();
    if (current != &terminateHandler) {
        previousHandler = current;
        std::set_terminate(&terminateHandler);
    }
}

void GADCrashReporter::disableReporting() {
    std::lock_guard lock(mutex_);
    enabled_ = false;
    if (std::get_terminate() == &terminateHandler) std::set_terminate(previousHandler.load());
}

bool GADCrashReporter::isReportingEnabled() const {
    std::lock_guard lock(mutex_);
    return enabled_ && installed_ && std::get_terminate() == &terminateHandler;
}

std::string GADCrashReporter::sanitize(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    bool inRun = false;
    for (char c : text) {
        if (isSeparator(c)) {
            if (!inRun) result.push_back('_');
            inRun = true;
        } else {
            result.push_back(c);
            inRun = false;
        }
    }
    return result;
}

std::optional<std::string> GADCrashReporter::stackTextForException(const Exception& exception,
                                                                   const std::string& processName) {
    bool involvesSDK = false;
    std::string text = exception.name;
    const std::string reason = sanitize(exception.reason.value_or(""));
    if (mentionsSDK(reason)) involvesSDK = true;
    text += "-";
    text += involvesSDK ? reason : "filtered";
    for (std::string line : exception.callStackSymbols) {
        replaceAll(line, processName, "filtered");
        if (mentionsSDK(line)) involvesSDK = true;
        text += "-";
        text += sanitize(line);
    }
    if (!involvesSDK) return std::nullopt;
    return prefixCharacters(text, kMaximumStackTextLength);
}

std::optional<platform::URL> GADCrashReporter::reportURL(const platform::Value& fixedParameters,
                                                         const std::string& stackText,
                                                         const std::optional<std::string>& experimentID) {
    auto endpoint = platform::URL::parse(std::string("https://") + GADHosts::kPingHost + kReportPath);
    if (!endpoint) return std::nullopt;
    platform::Value parameters = platform::Value::object();
    if (fixedParameters.is_object()) {
        for (const auto& [key, value] : fixedParameters.items()) {
            if (value.is_string() && !value.get_ref<const std::string&>().empty()) parameters[key] = value;
        }
    }
    parameters["stacktrace"] = stackText;
    auto url = gad_appendQueryParameters(*endpoint, parameters);
    if (url && experimentID && !experimentID->empty()) url = gad_appendQueryValue(*url, *experimentID, "eids");
    return url;
}

bool GADCrashReporter::reportException(const Exception& exception) {
    if (!pinger_) return false;
    auto stackText = stackTextForException(exception, processName_);
    if (!stackText) return false;
    auto defaults = platform::UserDefaults::standard();
    auto url = reportURL(fixedParameters_, *stackText, defaults->string(kExperimentIDKey));
    if (!url) return false;
    const std::string urlString = url->absoluteString();
    pinger_->storeRetryURLString(urlString, kRetryGroupKey);
    // The process is about to end: the stored report must be on disk before the send is even tried.
    defaults->synchronize();
    pinger_->pingWithRetryGroupKey(std::string(kRetryGroupKey), url, urlString);
    return true;
}

void GADCrashReporter::terminateHandler() {
    const std::terminate_handler previous = previousHandler.load();
    try {
        if (std::exception_ptr current = std::current_exception()) {
            Exception exception;
            try {
                std::rethrow_exception(current);
            } catch (const std::exception& e) {
                exception.name = demangled(typeid(e).name());
                exception.reason = e.what();
            } catch (...) {
                const std::type_info* type = abi::__cxa_current_exception_type();
                exception.name = type != nullptr ? demangled(type->name()) : "unknown";
            }
            exception.callStackSymbols = callStackSymbols();
            auto reporter = sharedInstance();
            // No lock here: the exception may have left the reporter's own lock held.
            if (reporter->enabled_ && reporter->installed_) reporter->reportException(exception);
        }
    } catch (...) {
        // Reporting never stands in the way of the app's own handling.
    }
    // The app's handling goes on whatever happened above.
    if (previous != nullptr && previous != &terminateHandler) previous();
    std::abort();
}

} // namespace ruzave
