#include "ads/native/GADAdLoaderAdTypes.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>

#include "ads/core/public/GADInternalErrorAdditions.h"
#include "ads/core/public/GADRequestError.h"
#include "platform/base/Unicode.h"

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
    auto keep = [&](std::string_view piece) {
        if (piece.empty()) return;
        auto url = platform::URL::parse(piece);
        if (url && url->isValid() && !url->absoluteString().empty()) urls.push_back(*url);
    };
    // Every white space and line separator splits, also the non-ASCII ones (a URL holds none of them).
    std::size_t start = 0, i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        length = std::min(length, text.size() - i);
        bool separator = lead < 0x80 && platform::isWhiteSpaceOrNewline(lead);
        if (length > 1) {
            const auto codePoints = platform::decodeUTF8(std::string_view(text).substr(i, length));
            // An ill-formed sequence moves on by one byte only, so it never hides a blank after it.
            if (codePoints.size() != 1 || codePoints[0] == platform::kReplacementCharacter)
                length = 1;
            else
                separator = platform::isWhiteSpaceOrNewline(codePoints[0]);
        }
        if (separator) {
            keep(std::string_view(text).substr(start, i - start));
            start = i + length;
        }
        i += length;
    }
    keep(std::string_view(text).substr(start));
    if (urls.empty()) return std::nullopt;
    return urls;
}

} // namespace ruzave
