#pragma once
// The ad loader's ad types and the native ad classes they stand for, the response formats, and the
// URL-list splitter of the response headers. Native ad classes are named by their class names. Any thread.
#include <optional>
#include <string>
#include <typeinfo>
#include <vector>

#include "platform/base/Error.h"
#include "platform/base/URL.h"

namespace ruzave {

inline constexpr const char* kGADNativeContentAdLoaderType = "1";
inline constexpr const char* kGADNativeAppInstallAdLoaderType = "2";
inline constexpr const char* kGADNativeCustomTemplateAdLoaderType = "3";

inline constexpr const char* kGADNativeContentAdClassName = "GADNativeContentAd";
inline constexpr const char* kGADNativeAppInstallAdClassName = "GADNativeAppInstallAd";
inline constexpr const char* kGADNativeCustomTemplateAdClassName = "GADNativeCustomTemplateAd";

// The class of an ad type; nullopt with GADRequestError 12 "Invalid ad format requested: \"%@\".".
std::optional<std::string> GADClassForAdLoaderAdType(const std::string& adType, platform::Error* error = nullptr);
// The class of a response format and template id; nullopt with the internal error 3
// "Invalid ad format: \"%@\", %@.".
std::optional<std::string> GADNativeAdClassForFormat(const std::string& format, long long templateID,
                                                     platform::Error* error = nullptr);
// The readable name of a class ("ruzave::GADNativeAdImageAdLoaderOptions"), for log and error texts.
std::string GADClassName(const std::type_info& type);
// Splits at every white space and line separator; keeps the pieces that make a URL, in order; nullopt
// when none does.
std::optional<std::vector<platform::URL>> GADURLsFromWhitespaceSeparatedString(const std::string& text);

} // namespace ruzave
