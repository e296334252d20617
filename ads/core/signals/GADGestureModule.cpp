#include "ads/core/signals/GADGestureModule.h"

#include <cstdio>

#include "ads/core/signals/GADGestureIdUtil.h"
#include "ads/core/signals/GAD_GTMStringEncoding.h"

namespace ruzave {

namespace {

constexpr std::size_t kMaximumTouches = 64;
constexpr std::size_t kClickTouches = 8;

std::string& sdkVersion() {
    static std::string version;
    return version;
}
std::vector<GADGestureModuleTouch>& touches() {
    static std::vector<GADGestureModuleTouch> list;
    return list;
}

// Field values never carry the separators of the list.
std::string fieldValue(std::string text) {
    for (char& c : text) {
        if (c == ';' || c == ':') c = '_';
    }
    return text;
}

void addField(std::string& fields, const char* name, const std::string& value) {
    if (!fields.empty()) fields += ';';
    fields += name;
    fields += ':';
    fields += fieldValue(value);
}

std::string deviceFields() {
    auto util = GADGestureIdUtil::sharedInstance();
    const bool optedOut = util->deviceOptedOut();
    std::int32_t screen[2] = {0, 0};
    GADMainScreenModeSize(screen);
    std::uint32_t flags = 0;
    if (!GADReachabilityFlagsProbe(&flags)) flags = 0;
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", flags);

    std::string fields;
    addField(fields, "v", "1");
    addField(fields, "sdk", sdkVersion());
    addField(fields, "idt", std::to_string(util->deviceIdentifierType()));
    addField(fields, "id", optedOut ? std::string() : util->deviceIdentifier());
    addField(fields, "lat", optedOut ? "1" : "0");
    addField(fields, "scr", std::to_string(screen[0]) + "x" + std::to_string(screen[1]));
    addField(fields, "tz", std::to_string(GADTimeZoneOffsetMinutes()));
    addField(fields, "net", hex);
    addField(fields, "tc", std::to_string(touches().size()));
    return fields;
}

std::string signalText(const std::string& fields) {
    std::string value = GAD_GTMStringEncoding::rfc4648Base64WebsafeStringEncoding()->encodeString(fields);
    while (!value.empty() && value.back() == '=') value.pop_back();
    return "ms=" + value;
}

} // namespace

void GADGestureModuleRecordTouch(int x, int y, int durationMilliseconds) {
    auto& list = touches();
    if (list.size() >= kMaximumTouches) list.erase(list.begin());
    list.push_back({x, y, durationMilliseconds});
}

std::vector<GADGestureModuleTouch> GADGestureModuleRecordedTouches() { return touches(); }

void GADGestureModuleSetSDKVersion(const std::string& version) { sdkVersion() = version; }

int GADGestureModuleRequestParameter(std::string& signal) {
    signal = signalText(deviceFields());
    return 1;
}

int GADGestureModuleClickSignal(const std::string& ai, std::string& signal) {
    signal.clear();
    if (ai.empty()) return 0;
    std::string fields = deviceFields();
    addField(fields, "ai", ai);
    const auto& list = touches();
    std::string last;
    for (std::size_t i = list.size() > kClickTouches ? list.size() - kClickTouches : 0; i < list.size(); ++i) {
        if (!last.empty()) last += '|';
        last += std::to_string(list[i].x) + "," + std::to_string(list[i].y) + "," + std::to_string(list[i].durationMilliseconds);
    }
    addField(fields, "tl", last);
    signal = signalText(fields);
    return 1;
}

} // namespace ruzave
