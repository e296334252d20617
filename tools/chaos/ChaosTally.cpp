#include "tools/chaos/ChaosTally.h"

#include <algorithm>
#include <cstdio>

namespace chaos {

namespace {

constexpr std::size_t kMaxExamples = 10;

std::string failures(const std::map<long, std::size_t>& byCode) {
    std::string out;
    for (const auto& [code, count] : byCode) {
        if (!out.empty()) out += ' ';
        out += std::to_string(count) + "x" + std::to_string(code);
    }
    return out.empty() ? "-" : out;
}

std::string line(const std::string& name, const ChaosTally::Row& row) {
    char buffer[256];
    const double meanMs = row.loads == 0 ? 0 : 1000.0 * row.realSeconds / static_cast<double>(row.loads);
    std::snprintf(buffer, sizeof buffer, "%-24s %6zu %8zu  %-26s %6zu %7zu %5zu %7zu %9zu %8.0f\n", name.c_str(),
                  row.loads, row.received, failures(row.failedByCode).c_str(), row.wedged, row.doubled, row.late,
                  row.grouped, row.refreshed, meanMs);
    return buffer;
}

} // namespace

void LoadRecord::answer(bool didReceive, long code, double secondsSinceLoad, bool refresh) {
    if (refresh) {
        ++refreshed;
        return;
    }
    if (!firstReceived) {
        firstReceived = didReceive;
        firstCode = didReceive ? 0 : code;
        answeredAfter = secondsSinceLoad;
    }
    if (didReceive) ++received;
    else ++failed;
    // A load given up on that answers after all.
    if (wedged) {
        wedged = false;
        late = true;
    }
}

void ChaosTally::count(Row& row, const LoadRecord& record) {
    ++row.loads;
    if (record.grouped) ++row.grouped;
    if (record.wedged) ++row.wedged;
    if (record.late) ++row.late;
    if (record.answers() > 1) ++row.doubled;
    row.refreshed += record.refreshed;
    row.realSeconds += record.realSeconds;
    if (!record.firstReceived) return;
    if (*record.firstReceived) ++row.received;
    else ++row.failedByCode[record.firstCode];
}

void ChaosTally::add(const LoadRecord& record) {
    count(rows_[record.kind], record);
    count(total_, record);
    if (examples_.size() >= kMaxExamples) return;
    std::string why;
    if (record.wedged) why = "no answer";
    else if (record.answers() > 1)
        why = std::to_string(record.received) + " received and " + std::to_string(record.failed) + " failed answers";
    else if (record.late) why = "answered after " + std::to_string(record.answeredAfter) + " s";
    if (!why.empty() && !record.stuck.empty()) why += " (" + record.stuck + ")";
    if (!why.empty()) examples_.push_back(record.kind + " (" + record.adUnitID + "): " + why);
}

ChaosTally::Row ChaosTally::row(const std::string& kind) const {
    auto it = rows_.find(kind);
    return it == rows_.end() ? Row{} : it->second;
}

std::string ChaosTally::render(const std::vector<std::string>& order) const {
    char header[256];
    std::snprintf(header, sizeof header, "%-24s %6s %8s  %-26s %6s %7s %5s %7s %9s %8s\n", "fault", "loads",
                  "received", "failed (count x code)", "wedged", "doubled", "late", "grouped", "refreshes", "real ms");
    std::string out = header;
    for (const auto& name : order) {
        if (auto it = rows_.find(name); it != rows_.end()) out += line(name, it->second);
    }
    for (const auto& [name, row] : rows_) {
        if (std::find(order.begin(), order.end(), name) == order.end()) out += line(name, row);
    }
    out += line("total", total_);
    return out;
}

} // namespace chaos
