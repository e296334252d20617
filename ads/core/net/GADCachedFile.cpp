#include "ads/core/net/GADCachedFile.h"

#include <cinttypes>
#include <cstdio>

#include "ads/core/signals/GADDevice.h"
#include "ads/core/util/GADNSURLUtilities.h"
#include "platform/base/HTTPDate.h"
#include "platform/base/Unicode.h"
#include "platform/foundation/Sandbox.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/Clock.h"
#include "platform/web/WebView.h"

namespace ruzave {
namespace {

// Seconds between 1970 and 2001, the epoch of the cache buster's time.
constexpr double kSecondsFrom1970To2001 = 978307200.0;

// FNV-1a: stable across runs and builds, so one URL always lands in the same file.
std::uint32_t stringHash(const std::string& text) {
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 16777619u;
    }
    return hash;
}

std::string trimmed(const std::string& text) {
    const char* blanks = " \t\r\n";
    auto first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// The server's Last-Modified text, cut before "GMT" as stored; read with or without the zone.
std::optional<double> parseModificationDate(const std::string& text) {
    std::string date = trimmed(text);
    if (date.empty()) return std::nullopt;
    if (auto parsed = platform::parseHTTPDate(date + " GMT")) return parsed;
    return platform::parseHTTPDate(date);
}

} // namespace

GADCachedFile::GADCachedFile(const platform::URL& url)
    : filePath_(filePathForURL(url)), sourceURL_(url), HTTPDestinationURL_(url) {}

std::shared_ptr<GADCachedFile> GADCachedFile::initWithURL(const platform::URL& url) {
    return std::shared_ptr<GADCachedFile>(new GADCachedFile(url));
}

GADCachedFile::~GADCachedFile() {
    if (connection_) connection_->cancel();
}

std::string GADCachedFile::hostFolderName(const std::string& host) {
    std::string name;
    for (unsigned char c : host) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                     c == '-' || c == '_';
        if (plain) {
            name += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            name += escaped;
        }
    }
    // "." and ".." would name the caches folder itself or its parent.
    if (name.empty() || name.find_first_not_of('.') == std::string::npos) return "@local";
    return name;
}

std::string GADCachedFile::filePathForURL(const platform::URL& url) {
    std::string caches = platform::Sandbox::cachesDirectory();
    if (caches.empty()) return {};
    char hash[16];
    std::snprintf(hash, sizeof hash, "%" PRIx32, stringHash(url.absoluteString()));
    return caches + "/" + hostFolderName(url.host()) + "/" + hash;
}

void GADCachedFile::invalidate() {
    cleanup();
    if (!filePath_.empty()) platform::Sandbox::removeItem(filePath_);
}

bool GADCachedFile::fileExists() const {
    bool directory = false;
    return !filePath_.empty() && platform::Sandbox::fileExists(filePath_, &directory) && !directory;
}

std::optional<std::string> GADCachedFile::contentAsString() const {
    if (filePath_.empty()) return std::nullopt;
    auto bytes = platform::Sandbox::readFile(filePath_);
    // A body that is not UTF-8 text has no string form.
    if (!bytes || !platform::isValidUTF8(*bytes)) return std::nullopt;
    return bytes;
}

std::optional<std::string> GADCachedFile::fileModificationRFC1123DateString() const {
    if (!fileExists()) return std::nullopt;
    auto date = platform::Sandbox::modificationDate(filePath_);
    if (!date) return std::nullopt;
    return platform::formatHTTPDate(*date);
}

std::string GADCachedFile::description() const {
    char head[96];
    std::snprintf(head, sizeof head, "<GADCachedFile: %p> HTTP code: %ld\n\turl: ", static_cast<const void*>(this),
                  HTTPStatusCode_);
    return head + sourceURL_.absoluteString() + "\n\tfile: " + filePath_;
}

void GADCachedFile::beginFetchWithCacheBuster(bool cacheBuster) {
    if (connection_) return;
    platform::URL url = sourceURL_;
    if (cacheBuster) {
        char unique[32];
        std::snprintf(unique, sizeof unique, "%.0f", platform::Clock::wallTime() - kSecondsFrom1970To2001);
        if (auto busted = gad_appendQueryValue(url, std::string(unique), "unique")) url = *busted;
        cachePolicy_ = platform::URLRequest::CachePolicy::ReloadIgnoringLocalCacheData;
    }
    platform::URLRequest request(url, cachePolicy_);
    request.setHTTPShouldHandleCookies(true);
    if (auto agent = GADDevice::sharedInstance()->userAgentString(); agent && !agent->empty())
        request.setValue(*agent, "User-Agent");
    // A page's ping is done at its answer's head: it asks for no stored copy, and keeps none.
    if (!isPing()) {
        if (auto date = fileModificationRFC1123DateString()) request.setValue(*date, "If-Modified-Since");
    }

    std::shared_ptr<platform::URLConnection> connection;
    std::optional<platform::Error> refusal;
    if (forPage_) {
        platform::Error error("", 0);
        connection = page_.connectionForPage(request, weak_from_this(), &error, pageLoad_);
        if (!connection) refusal = error;
    } else {
        connection = platform::URLConnection::create(request, weak_from_this(), platform::TransferOrigin::app(), false);
    }
    if (!connection) {
        if (auto d = delegate()) d->cachedFileDownloadDidFail(*this, refusal);
        return;
    }
    receivedData_.clear();
    storeBody_ = false;
    connection_ = connection;
    connection->start();
}

std::optional<platform::URLRequest>
GADCachedFile::willSendRequest(const std::shared_ptr<platform::URLConnection>& connection,
                               const platform::URLRequest& request,
                               const std::optional<platform::HTTPURLResponse>& redirect) {
    if (!isCurrent(connection)) return std::nullopt;
    auto self = shared_from_this();
    HTTPDestinationURL_ = request.url();
    if (!redirect) return request;
    HTTPHeaders_ = headersForResponse(*redirect);
    std::optional<platform::Error> refusal;
    if (auto d = delegate()) refusal = d->cachedFileShouldRedirectToURL(*this, request.url());
    if (refusal) {
        cleanup();
        if (auto d = delegate()) d->cachedFileDownloadDidFail(*this, refusal);
        return std::nullopt;
    }
    return request;
}

void GADCachedFile::didReceiveResponse(const std::shared_ptr<platform::URLConnection>& connection,
                                       const platform::HTTPURLResponse& response) {
    if (!isCurrent(connection)) return;
    auto self = shared_from_this();
    HTTPStatusCode_ = response.statusCode();
    HTTPHeaders_ = headersForResponse(response);
    receivedData_.clear();
    if (HTTPStatusCode_ == 304) {
        cleanup();
        if (auto d = delegate()) d->cachedFileDownloadDidEnd(*this);
        return;
    }
    if (HTTPStatusCode_ < 200 || HTTPStatusCode_ > 299) {
        fail(std::nullopt);
        return;
    }
    storeBody_ = HTTPStatusCode_ == 200 && !isPing();
    if (storeBody_) {
        receivedModificationDate_.reset();
        if (auto modified = response.allHeaderFields().value("Last-Modified")) {
            std::string text = *modified;
            if (auto gmt = text.find("GMT"); gmt != std::string::npos) text.erase(gmt);
            receivedModificationDate_ = text;
        }
    }
}

void GADCachedFile::didReceiveData(const std::shared_ptr<platform::URLConnection>& connection,
                                   const platform::Bytes& data) {
    if (!isCurrent(connection) || !storeBody_) return;
    // A page's download keeps its body within the page's memory.
    if (!connection->charge(data.size())) {
        fail(platform::Error(platform::WebView::ErrorDomain, 102, "the body does not fit in the page's memory budget"));
        return;
    }
    receivedData_.append(data.begin(), data.end());
}

void GADCachedFile::didFinishLoading(const std::shared_ptr<platform::URLConnection>& connection) {
    if (!isCurrent(connection)) return;
    auto self = shared_from_this();
    std::string body = std::move(receivedData_);
    std::optional<std::string> modified = receivedModificationDate_;
    bool store = storeBody_;
    cleanup();
    if (!store) {
        if (auto d = delegate()) d->cachedFileDownloadDidEnd(*this);
        return;
    }
    platform::Error error("", 0);
    bool saved = false;
    if (!filePath_.empty()) {
        std::string folder = filePath_.substr(0, filePath_.rfind('/'));
        saved = platform::Sandbox::createDirectory(folder, true, &error) &&
                platform::Sandbox::writeFileAtomically(filePath_, std::string_view(body), &error);
    } else {
        error = platform::Error("platform.file", 4, "No caches folder.");
    }
    if (!saved) {
        if (auto d = delegate()) d->cachedFileDownloadDidFail(*this, error);
        return;
    }
    if (auto d = delegate()) d->cachedFileDownloadDidEnd(*this);
    if (modified) {
        if (auto date = parseModificationDate(*modified)) platform::Sandbox::setModificationDate(filePath_, *date);
    }
}

void GADCachedFile::didFailWithError(const std::shared_ptr<platform::URLConnection>& connection,
                                     const platform::Error& error) {
    if (!isCurrent(connection)) return;
    fail(error);
}

void GADCachedFile::fail(const std::optional<platform::Error>& error) {
    auto self = shared_from_this();
    cleanup();
    if (auto d = delegate()) d->cachedFileDownloadDidFail(*this, error);
}

void GADCachedFile::cleanup() {
    if (connection_) {
        connection_->cancel();
        connection_.reset();
    }
    receivedData_.clear();
    receivedModificationDate_.reset();
    storeBody_ = false;
}

} // namespace ruzave
