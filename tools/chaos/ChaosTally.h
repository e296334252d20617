#pragma once
// What each chaos load came to, counted per fault kind: received, failed by error code, wedged (no
// answer within the bound), answered more than once, or answered only after the bound. Main thread.
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace chaos {

// One load as its banner's delegate saw it.
struct LoadRecord {
    std::string kind;
    std::string adUnitID;
    bool grouped = false;      // loaded beside other banners
    std::size_t received = 0;  // adViewDidReceiveAd calls
    std::size_t failed = 0;    // adViewDidFailToReceiveAdWithError calls
    std::size_t refreshed = 0; // answers to the banner's own later reloads (not counted above)
    std::optional<bool> firstReceived;
    long firstCode = 0;        // the first failure's code
    double answeredAfter = 0;  // virtual seconds from the load to its first answer
    bool wedged = false;       // no answer within the bound
    bool late = false;         // answered, but only after the bound
    double realSeconds = 0;    // real time of the round the load was in
    std::string stuck;         // where a wedged load stood when it was given up on

    std::size_t answers() const { return received + failed; }
    // One answer, from the banner's delegate; `refresh`: to a reload the banner started itself.
    void answer(bool didReceive, long code, double secondsSinceLoad, bool refresh = false);
};

class ChaosTally {
  public:
    struct Row {
        std::size_t loads = 0;
        std::size_t received = 0;
        std::map<long, std::size_t> failedByCode;
        std::size_t wedged = 0;
        std::size_t doubled = 0;
        std::size_t late = 0;
        std::size_t grouped = 0;
        std::size_t refreshed = 0;
        double realSeconds = 0;
    };

    void add(const LoadRecord& record);
    // The row of a kind (an empty row for a kind not seen).
    Row row(const std::string& kind) const;
    Row total() const { return total_; }
    // Loads answered more than once or never within the bound: the run fails on any.
    std::size_t wedged() const { return total_.wedged; }
    std::size_t doubled() const { return total_.doubled; }
    // The first few faulty loads, "kind unit: why", for the report.
    const std::vector<std::string>& examples() const { return examples_; }

    // The table: one line per kind in `order` (then any other kind seen), then the total.
    std::string render(const std::vector<std::string>& order) const;

  private:
    static void count(Row& row, const LoadRecord& record);

    std::map<std::string, Row> rows_;
    Row total_;
    std::vector<std::string> examples_;
};

} // namespace chaos
