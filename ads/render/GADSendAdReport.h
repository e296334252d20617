#pragma once
// Sends a bad-ad report: {"debugHeader": text} as JSON, POSTed to "/ruzave/ads/bad_ad_report_path"
// (or the built-in report endpoint when that is empty or absent). Nothing is sent when the target is
// no http(s) URL. Fire and forget. Main thread.
#include <optional>
#include <string>

namespace ruzave {

inline constexpr const char* kGADBadAdReportPathKey = "/ruzave/ads/bad_ad_report_path";

// The endpoint a report goes to now; nullopt when the configured one is unusable.
std::optional<std::string> GADAdReportURLString();
// Returns whether a request was sent.
bool GADSendAdReport(const std::optional<std::string>& debugDialog);

} // namespace ruzave
