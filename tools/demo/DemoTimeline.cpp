#include "tools/demo/DemoTimeline.h"

#include <algorithm>
#include <cstdio>

namespace demo {

double DemoTimeline::elapsedMs() const {
    return msAt(SteadyClock::now());
}

double DemoTimeline::msAt(SteadyClock::time_point when) const {
    return std::chrono::duration<double, std::milli>(when - start_).count();
}

double DemoTimeline::mark(std::string text) {
    double ms = elapsedMs();
    markAt(ms, std::move(text));
    return ms;
}

void DemoTimeline::markAt(double ms, std::string text) {
    std::lock_guard lock(mutex_);
    lines_.push_back({ms, std::move(text)});
}

std::vector<DemoTimeline::Line> DemoTimeline::lines() const {
    std::vector<Line> copy;
    {
        std::lock_guard lock(mutex_);
        copy = lines_;
    }
    std::stable_sort(copy.begin(), copy.end(), [](const Line& a, const Line& b) { return a.ms < b.ms; });
    return copy;
}

std::string DemoTimeline::formatLine(const Line& line) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "[%8.1f ms] ", line.ms);
    return stamp + line.text + "\n";
}

std::string DemoTimeline::render() const {
    std::string out;
    for (const auto& line : lines()) out += formatLine(line);
    return out;
}

} // namespace demo
