#include "ads/native/GADAdLoaderAdTypes.h"

#include <cxxabi.h>

#include <cstdlib>
#include <map>
#include <memory>

#include "ads/core/public/GADInternalErrorAdditions.h"
#include "ads/core/public/GADRequestError.h"

namespace ruzave {

std::optional<std::string> GADClassForAdLoaderAdType(const std::string& adType, platform::Error* error) {
    static const std::map<std::string, std::string> classes = {
        {kGADNativeContentAdLoaderType, kGADNativeContentAdClassName},
        {kGADNativeAppInstallAdLoaderType, kGADNativeAppInstallAdClassName},
        {kGADNativeCustomTemplateAdLoaderType, kGADNativeCustomTemplateAdClassName},
    };
    auto it = classes.find(adType);
    if (it != classes.end()) return it->second;
    if (error) *error = GADRequestError::errorWithCode(12, "Invalid ad format requested: \"" + adType + "\".");
    return std::nullopt;
}

std::optional<std::string> GADNativeAdClassForFormat(const std::string& format, long long templateID,
                                                     platform::Error* error) {
    static const std::map<std::string, std::map<std::string, std::string>> classes = {
        {"native",
         {{"1", kGADNativeContentAdClassName},
          {"2", kGADNativeAppInstallAdClassName},
          {"3", kGADNativeCustomTemplateAdClassName}}},
    };
    std::string idText = std::to_string(templateID);
    auto byFormat = classes.find(format);
    if (byFormat != classes.end()) {
        auto it = byFormat->second.find(idText);
        if (it != byFormat->second.end()) return it->second;
    }
    if (error)
        *error = gad_errorWithCode(GADInternalErrorInvalidArgument,
                                   "Invalid ad format: \"" + format + "\", " + idText + ".");
    return std::nullopt;
}

std::string GADClassName(const std::type_info& type) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> name(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
    return status == 0 && name ? std::string(name.get()) : std::string(type.name());
}

std::optional<std::vector<platform::URL>> GADURLsFromWhitespaceSeparatedString(const std::string& text) {
    std::vector<platform::URL> urls;
    std::size_t i = 0;
    while (i <= text.size()) {
        std::size_t end = text.find_first_of(" \t", i);
        if (end == std::string::npos) end = text.size();
        if (end > i) {
            auto url = platform::URL::parse(std::string_view(text).substr(i, end - i));
            if (url && !url->absoluteString().empty()) urls.push_back(*url);
        }
        i = end + 1;
    }
    if (urls.empty()) return std::nullopt;
    return urls;
}

} // namespace ruzave
