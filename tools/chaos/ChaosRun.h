#pragma once
// The chaos run: loads banners as an app does, one at a time and now and then several at once, against
// the local ad server in this process, each load meeting the fault its plan draws; keeps every banner
// a while after its answer to catch second answers, and measures the heap and the open descriptors
// from after a warm-up to the end. Virtual time: the run moves the clock itself. Main thread.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tools/chaos/ChaosTally.h"

namespace chaos {

struct ChaosOptions {
    std::size_t loads = 10000;
    std::uint64_t seed = 1;
    double groupShare = 0.1;        // share of rounds that load several banners at once
    std::size_t largestGroup = 6;
    std::vector<std::string> kinds;  // only these fault kinds, equally often (empty: all, by weight)
    double virtualBound = 100;      // seconds on the SDK's clock before a load counts as wedged
    double realBound = 20;          // and seconds of real time (plus a little per runaway load)
    std::size_t keptBanners = 24;   // answered banners kept (and time moved on) before they are let go
    double keepSeconds = 45;        // how far the clock moves while they are kept (below the
                                    // banners' 60-second reload, so that answers to reloads stay rare)
    // Told of progress now and then ("1000/10000 loads"); may be empty.
    std::function<void(const std::string&)> progress;
};

struct ChaosReport {
    ChaosTally tally;
    std::size_t loads = 0;
    std::size_t groups = 0;          // rounds of several banners
    std::size_t groupedLoads = 0;
    std::int64_t heapBefore = 0;     // bytes in use after the warm-up
    std::int64_t heapAfter = 0;      // and at the end, with every banner let go
    std::int64_t descriptorsBefore = 0;
    std::int64_t descriptorsAfter = 0;
    std::size_t warmUpLoads = 0;
    double realSeconds = 0;
    double virtualSeconds = 0;
    std::map<std::string, std::size_t> logLines;  // by level
    // Banners (or their slots or ad views) still held by something `keepSeconds` after the app let them
    // go, by fault kind.
    std::map<std::string, std::size_t> survivors;
    std::string failure;             // why the run could not run ("" when it ran)

    // A load answered only after the bound was wedged for that long: it fails the run too.
    bool clean() const {
        return failure.empty() && tally.wedged() == 0 && tally.doubled() == 0 && tally.total().late == 0;
    }
    std::string render() const;
};

class ChaosRun {
  public:
    static ChaosReport run(const ChaosOptions& options);

    // Bytes the allocator has handed out and not taken back.
    static std::int64_t heapInUse();
    // Descriptors open in this process.
    static std::int64_t openDescriptors();
};

} // namespace chaos
