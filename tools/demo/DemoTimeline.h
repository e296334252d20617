#pragma once
// The demo's timeline: one line per stage, stamped with milliseconds since the demo started. Stages
// seen later but known to have happened earlier (the server's log) are placed by their own time. Any
// thread.
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

namespace demo {

class DemoTimeline {
  public:
    using SteadyClock = std::chrono::steady_clock;

    struct Line {
        double ms = 0;
        std::string text;
    };

    DemoTimeline() : start_(SteadyClock::now()) {}
    explicit DemoTimeline(SteadyClock::time_point start) : start_(start) {}

    SteadyClock::time_point start() const { return start_; }
    double elapsedMs() const;
    double msAt(SteadyClock::time_point when) const;

    // A line stamped now; returns its stamp.
    double mark(std::string text);
    void markAt(double ms, std::string text);

    // In time order; lines with equal stamps keep the order they were marked in.
    std::vector<Line> lines() const;
    // "[  12.3 ms] text" per line, each ending in a newline.
    std::string render() const;
    static std::string formatLine(const Line& line);

  private:
    SteadyClock::time_point start_;
    mutable std::mutex mutex_;
    std::vector<Line> lines_;
};

} // namespace demo
