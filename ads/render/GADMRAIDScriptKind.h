#pragma once
// Which of the three MRAID scripts an ad page gets. Any thread (a plain value).
namespace ruzave {

enum class GADMRAIDScriptKind { Banner, Interstitial, ExpandedBanner };

} // namespace ruzave
