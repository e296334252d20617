#include "ads/core/net/GADAdFetcher.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "ads/core/net/GADCachedURLResponse.h"
#include "ads/core/net/GADURLConnection.h"
#include "ads/core/net/GADURLRequestAdditions.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/signals/GADApplication.h"
#include "ads/core/signals/GADTokenDispenser.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADResponseType.h"
#include "ads/core/telemetry/GADCSI.h"
#include "ads/core/telemetry/GADTiming.h"
#include "ads/core/util/GADJSONAdditions.h"
#include "ads/core/util/GADLogger.h"
#include "ads/native/GADAdLoaderAdTypes.h"
#include "ads/render/GADInterfaceOrientationMask.h"
#include "ads/render/GADSwipeToViewControllerConfigurations.h"
#include "platform/base/Strings.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/URLRequest.h"
#include "platform/runloop/OperationQueue.h"

namespace ruzave {

namespace {

constexpr const char* kWhitelistKey = "/ruzave/ads/whitelisted_ad_request_domains";
constexpr const char* kAdServerDomainsKey = "/ruzave/ads/as_domains";
constexpr const char* kUseHTTPSKey = "/ruzave/ads/use_https";
constexpr const char* kContentURLEnabledKey = "/ruzave/ads/content_url_enabled";

std::string asciiLower(std::string text) {
    for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string trimmed(std::string_view text) {
    std::size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
    return std::string(text.substr(b, e - b));
}

// A header read as a string: only a string value counts.
std::optional<std::string> stringHeader(const platform::Value& headers, const char* name) {
    if (const std::string* s = platform::findString(headers, name)) return *s;
    return std::nullopt;
}

// The URLs of a header that lists them separated by white space; none without the header.
std::vector<platform::URL> urlsFromHeader(const std::optional<std::string>& text) {
    if (!text) return {};
    return GADURLsFromWhitespaceSeparatedString(*text).value_or(std::vector<platform::URL>{});
}

// The refresh rate counts only when the whole text is a finite number of 0 or more.
std::optional<double> refreshRate(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    const std::string t = trimmed(*text);
    if (t.empty()) return std::nullopt;
    for (char c : t) {
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-')) {
            return std::nullopt;  // no hex, inf or nan spellings
        }
    }
    char* end = nullptr;
    const double value = std::strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size() || !std::isfinite(value) || value < 0) return std::nullopt;
    return value;
}

platform::Value headerDictionary(const platform::HTTPURLResponse& response) {
    platform::Value headers = platform::Value::object();
    for (const auto& [name, value] : response.allHeaderFields().fields()) {
        if (headers.contains(name)) continue;
        headers[name] = response.valueForHTTPHeaderField(name).value_or(value);
    }
    return headers;
}

} // namespace

GADAdFetcher::GADAdFetcher() = default;

GADAdFetcher::~GADAdFetcher() {
    delegate_.reset();
    if (adConnection_) adConnection_->cancel();
}

std::shared_ptr<GADAdFetcher> GADAdFetcher::init() { return initWithConnection(GADURLConnection::init()); }

std::shared_ptr<GADAdFetcher> GADAdFetcher::initWithConnection(std::shared_ptr<GADURLConnection> connection) {
    if (!connection) return nullptr;
    std::shared_ptr<GADAdFetcher> fetcher(new GADAdFetcher());
    fetcher->adConnection_ = std::move(connection);
    fetcher->timer_ =
        GADTiming::initWithCategory(platform::format("GADAdFetcher (%p)", static_cast<const void*>(fetcher.get())));
    return fetcher;
}

const std::set<std::string>& GADAdFetcher::whitelistedDomains() {
    static const std::set<std::string> domains = [] {
        std::set<std::string> hosts;
        auto stored = platform::UserDefaults::standard()->array(kWhitelistKey);
        if (stored && stored->is_array()) {
            for (const auto& host : *stored) {
                if (host.is_string()) hosts.insert(asciiLower(host.get<std::string>()));
            }
        } else {
            for (const auto& host : GADHosts::defaultWhitelistedAdRequestDomains()) hosts.insert(asciiLower(host));
        }
        return hosts;
    }();
    return domains;
}

std::optional<platform::Value> GADAdFetcher::requestHeadersForURL(const std::optional<platform::URL>& url) {
    if (!url || url->scheme() != "https" || whitelistedDomains().count(url->host()) == 0) return std::nullopt;
    auto token = GADTokenDispenser::sharedInstance()->token();
    if (!token) return std::nullopt;
    signedInAdsToken_ = token;
    platform::Value headers = platform::Value::object();
    headers["Authorization"] = "Bearer " + *token;
    return headers;
}

bool GADAdFetcher::fetchRemainingContentForAd(const std::shared_ptr<GADAd>& ad,
                                              const std::optional<platform::Value>& headers,
                                              const std::weak_ptr<GADAdFetcherDelegate>& delegate,
                                              const std::shared_ptr<GADRequest>& request, platform::Error* error) {
    if (hasStartedFetch_) return fetchRequestURL(std::nullopt, delegate, headers, ad, error);
    request_ = request;
    isAdRequest_ = true;
    auto target = ad ? ad : GADAd::init();
    if (target->adHTML() && !target->adHTML()->empty()) {
        return fetchRequestURL(std::nullopt, delegate, headers, target, error);
    }
    auto urlRequest = gad_requestForURL(target->adURL(), std::nullopt, requestHeadersForURL(target->adURL()), std::nullopt);
    return fetchRequestURL(urlRequest, delegate, headers, target, error);
}

bool GADAdFetcher::fetchRequestURL(const std::optional<platform::URLRequest>& request,
                                   const std::weak_ptr<GADAdFetcherDelegate>& delegate, platform::Error* error) {
    return fetchRequestURL(request, delegate, std::nullopt, nullptr, error);
}

bool GADAdFetcher::fetchRequestURL(const std::optional<platform::URLRequest>& request,
                                   const std::weak_ptr<GADAdFetcherDelegate>& delegate,
                                   const std::optional<platform::Value>& responseHeaders,
                                   const std::shared_ptr<GADAd>& responseAd, platform::Error* error) {
    if (hasStartedFetch_) {
        platform::setError(error, GADRequestError::errorWithCode(
                                      GADRequestErrorNetworkError,
                                      std::string("Could not start fetch. This object has already been used to fetch.")));
        return false;
    }
    auto self = shared_from_this();
    hasStartedFetch_ = true;
    timer_->start();
    delegate_ = delegate;
    ad_ = responseAd ? responseAd : GADAd::init();

    // The type and the given headers come before the load, so that an answer the connection serves
    // from memory inside its start is read over them, not overwritten by them.
    ad_->setResponseType(GADResponseTypeStandard);
    if (responseHeaders) processHTTPHeaders(*responseHeaders, false);
    if (hasNotifiedDelegate_) return true;  // the given headers already ended the fetch

    std::optional<platform::Error> startError;
    starting_ = true;
    if (request) {
        if (!adConnection_->startWithRequestURL(*request, weak_from_this(), nullptr)) {
            startError = GADRequestError::errorWithCode(GADRequestErrorNetworkError, request_, 0,
                                                        std::string("Failed to start ad connection."));
            adConnectionHasCompleted_ = true;
        }
    } else {
        adConnectionHasCompleted_ = true;
    }
    starting_ = false;

    if (startError) {
        // One report: to the caller when it asks, else to the delegate. The load the connection is
        // busy with is not this fetch's: let go of the connection so that no cancel reaches it.
        adConnection_.reset();
        hasNotifiedDelegate_ = true;
        timer_->end();
        auto delegate = delegate_.lock();
        delegate_.reset();
        if (error != nullptr) *error = *startError;
        else if (delegate) delegate->adFetcher(*this, ad_, *startError, 0);
        return false;
    }
    if (adConnectionHasCompleted_ && !hasNotifiedDelegate_) {
        std::weak_ptr<GADAdFetcher> weak = self;
        platform::OperationQueue::mainQueue()->addOperation([weak] {
            if (auto fetcher = weak.lock()) fetcher->completedURLConnection();
        });
    }
    return true;
}

void GADAdFetcher::cancel() {
    delegate_.reset();
    if (adConnection_) adConnection_->cancel();
    adConnectionHasCompleted_ = true;
}

void GADAdFetcher::completedURLConnection() {
    if (!adConnectionHasCompleted_ || hasNotifiedDelegate_) return;
    auto self = shared_from_this();
    hasNotifiedDelegate_ = true;
    timer_->end();
    auto delegate = delegate_.lock();
    if (!delegate) return;
    const bool hasHTML = ad_->adHTML() && !ad_->adHTML()->empty();
    if (ad_->responseType() != GADResponseTypeNone && hasHTML) {
        delegate->adFetcher(*this, ad_);
    } else if (ad_->responseType() != GADResponseTypeNone) {
        delegate->adFetcher(*this, ad_, GADRequestError::errorWithCode(GADRequestErrorNoFill, request_), 0);
    } else {
        delegate->adFetcher(*this, ad_, GADRequestError::errorWithCode(GADRequestErrorInternalError, request_), 0);
    }
}

void GADAdFetcher::resourceFailedToLoadWithError(const platform::Error& error, long responseCode) {
    if (hasNotifiedDelegate_) return;
    auto self = shared_from_this();
    hasNotifiedDelegate_ = true;
    timer_->end();
    auto delegate = delegate_.lock();
    cancel();
    if (delegate) delegate->adFetcher(*this, ad_, error, responseCode);
}

bool GADAdFetcher::isAdServerHost(const platform::URL& url) const {
    const std::string host = url.host();
    if (host.empty()) return false;
    if (whitelistedDomains().count(host) != 0) return true;
    std::string domains = platform::UserDefaults::standard()->string(kAdServerDomainsKey).value_or("");
    if (domains.empty()) domains = GADHosts::defaultAdServerDomains();
    std::size_t start = 0;
    while (start <= domains.size()) {
        auto comma = domains.find(',', start);
        if (comma == std::string::npos) comma = domains.size();
        std::string suffix = asciiLower(trimmed(std::string_view(domains).substr(start, comma - start)));
        start = comma + 1;
        if (suffix.empty()) continue;
        if (suffix[0] != '.') {
            if (host == suffix) return true;
            suffix = "." + suffix;
        }
        if (host.size() > suffix.size() && host.compare(host.size() - suffix.size(), suffix.size(), suffix) == 0) {
            return true;
        }
    }
    return false;
}

std::uint32_t GADAdFetcher::adResponseTypeFromHeaders(const platform::Value& headers, platform::Error* error) const {
    const bool isJSON =
        asciiLower(stringHeader(headers, "content-type").value_or("")).rfind("application/json", 0) == 0;
    const platform::Value* mediation = platform::find(headers, "x-zudo-mediation");
    if (mediation != nullptr && platform::boolValue(*mediation)) {
        if (isJSON) return GADResponseTypeMediation;
        platform::setError(error, GADRequestError::errorWithCode(GADRequestErrorServerError, request_));
        return GADResponseTypeNone;
    }
    if (asciiLower(stringHeader(headers, "x-zudo-ad-format").value_or("")) == "native") return GADResponseTypeNative;
    const platform::Value* custom = platform::find(headers, "x-zudo-custom-rendering-allowed");
    if (custom != nullptr && platform::boolValue(*custom)) return GADResponseTypeCustomRendering;
    return GADResponseTypeStandard;
}

void GADAdFetcher::processHTTPHeaders(const platform::Value& headers, bool processWide) {
    if (!headers.is_object() || !ad_) return;
    auto self = shared_from_this();

    platform::Value lower = platform::Value::object();
    for (auto it = headers.begin(); it != headers.end(); ++it) lower[asciiLower(it.key())] = it.value();

    platform::Value merged = ad_->responseHeaders() && ad_->responseHeaders()->is_object() ? *ad_->responseHeaders()
                                                                                            : platform::Value::object();
    for (auto it = lower.begin(); it != lower.end(); ++it) merged[it.key()] = it.value();
    ad_->setResponseHeaders(merged);

    platform::Error typeError;
    const std::uint32_t type = adResponseTypeFromHeaders(lower, &typeError);
    ad_->setResponseType(type);
    if (type == GADResponseTypeNone) resourceFailedToLoadWithError(typeError, 0);

    ad_->addClickURLsFromArray(urlsFromHeader(stringHeader(lower, "x-zudo-click-tracking-urls")));
    ad_->addImpressionURLsFromArray(urlsFromHeader(stringHeader(lower, "x-zudo-tracking-urls")));
    ad_->addManualImpressionURLsFromArray(urlsFromHeader(stringHeader(lower, "x-zudo-manual-tracking-urls")));

    if (processWide) {
        auto defaults = platform::UserDefaults::standard();
        if (stringHeader(lower, "x-zudo-content-url-opted-out") == std::optional<std::string>("false")) {
            GADApplication::sharedInstance()->startContentHashing();
            defaults->set(kContentURLEnabledKey, true);
        } else {
            GADApplication::sharedInstance()->stopContentHashing();
            defaults->remove(kContentURLEnabledKey);
        }
    }

    std::optional<platform::Value> activeView;
    if (auto text = stringHeader(lower, "x-zudo-activeview")) {
        auto decoded = gad_decodedJSONObjectError(*text);
        if (decoded && decoded->is_object()) activeView = std::move(decoded);
    }
    ad_->setActiveViewConfigurations(activeView);

    if (const std::uint32_t mask = GADInterfaceOrientationMaskFromString(stringHeader(lower, "x-zudo-orientation"))) {
        ad_->setSupportedOrientations(mask);
    }

    if (auto rate = refreshRate(stringHeader(lower, "x-zudo-refresh-rate"))) ad_->setReloadInterval(*rate);

    ad_->setDebugDialog(stringHeader(lower, "x-zudo-debug-dialog"));
    ad_->setCustomAdSizeString(stringHeader(lower, "x-zudo-ad-size"));

    const platform::Value* disableScroll = platform::find(lower, "x-zudo-disable-activation-and-scroll");
    ad_->setScrollEnabled(disableScroll == nullptr || !platform::boolValue(*disableScroll));

    if (processWide) {
        auto defaults = platform::UserDefaults::standard();
        if (const platform::Value* useHTTPS = platform::find(lower, "x-zudo-use-https")) {
            defaults->set(kUseHTTPSKey, platform::boolValue(*useHTTPS));
        } else if (!defaults->object(kUseHTTPSKey)) {
            defaults->set(kUseHTTPSKey, false);
        }
        if (auto status = stringHeader(lower, "x-zudo-oauth-token-status"); status && asciiLower(*status) == "clear") {
            GADTokenDispenser::sharedInstance()->refreshToken(signedInAdsToken_);
            signedInAdsToken_.reset();
        }
    }

    if (auto fluid = stringHeader(lower, "x-zudo-fluid"); fluid && asciiLower(*fluid) == "height") ad_->setFluid(true);

    if (const platform::Value* queryID = platform::find(lower, "x-zudo-gws-query-id")) {
        GADCSI::sharedInstance()->setGWSQueryID(platform::stringValue(*queryID));
    }

    if (auto text = stringHeader(lower, "x-zudo-swipe-to-view-controller")) {
        auto decoded = gad_decodedJSONObjectError(*text);
        if (decoded && decoded->is_object() && !decoded->empty())
            ad_->setSwipeToViewControllerConfigurations(
                GADSwipeToViewControllerConfigurations::initWithSwipeConfigurations(*decoded));
    }
}

platform::Error GADAdFetcher::errorForStatus(long status, const std::optional<platform::Error>& underlying) const {
    const int httpStatus = static_cast<int>(status);
    if (status == 400) {
        GADLogger::sharedInstance()->logPublicMessage(
            "Server rejected ad parameters. Typically this is because the ad unit ID is incorrect.");
        return GADRequestError::errorWithCode(GADRequestErrorInvalidRequest, request_, httpStatus, std::nullopt,
                                              underlying);
    }
    if (status > 400) {
        return GADRequestError::errorWithCode(GADRequestErrorServerError, request_, httpStatus, std::nullopt,
                                              underlying);
    }
    if (status == -1) {
        return GADRequestError::errorWithCode(GADRequestErrorInvalidResponse, request_, httpStatus, std::nullopt,
                                              underlying);
    }
    return GADRequestError::errorWithCode(GADRequestErrorNetworkError, request_, httpStatus, std::nullopt, underlying);
}

// GADURLConnectionDelegate

std::optional<platform::Error> GADAdFetcher::connectionShouldRedirectToURL(GADURLConnection&, const platform::URL&) {
    return std::nullopt;
}

void GADAdFetcher::connectionLoadDidReceiveRedirectResponse(GADURLConnection&,
                                                            const platform::HTTPURLResponse& response) {
    processHTTPHeaders(headerDictionary(response), false);
}

bool GADAdFetcher::connectionLoadShouldUseCachedResponse(GADURLConnection&, const platform::HTTPURLResponse& response) {
    finalStatus_ = response.statusCode();
    processHTTPHeaders(headerDictionary(response), isAdRequest_ && isAdServerHost(response.url()));
    // Error pages are never kept or served, whatever they say of caching.
    return ad_ && ad_->responseType() == GADResponseTypeMediation && response.statusCode() < 400;
}

void GADAdFetcher::connectionLoadDidReceiveCachedResponse(GADURLConnection&,
                                                          const std::shared_ptr<GADCachedURLResponse>& response) {
    if (!response) return;
    finalStatus_ = response->response().statusCode();
    processHTTPHeaders(headerDictionary(response->response()), false);
}

void GADAdFetcher::connectionLoadDidFinish(GADURLConnection&, const std::optional<std::string>& body,
                                           const std::optional<platform::URL>& baseURL) {
    if (hasNotifiedDelegate_ || !ad_) return;
    auto self = shared_from_this();
    // An HTTP error page is no ad.
    if (finalStatus_ && *finalStatus_ >= 400) {
        ad_->setAdHTML(std::nullopt);
        ad_->setAdBaseURL(std::nullopt);
        resourceFailedToLoadWithError(errorForStatus(*finalStatus_, std::nullopt), *finalStatus_);
        return;
    }
    ad_->setAdHTML(body);
    ad_->setAdBaseURL(baseURL);
    adConnectionHasCompleted_ = true;
    if (!starting_) completedURLConnection();
}

void GADAdFetcher::connectionLoadDidFail(GADURLConnection&, const std::optional<platform::Error>& error,
                                         long httpStatusCode) {
    if (hasNotifiedDelegate_ || !ad_) return;
    auto self = shared_from_this();
    ad_->setAdHTML(std::nullopt);
    ad_->setAdBaseURL(std::nullopt);
    adConnectionHasCompleted_ = true;
    resourceFailedToLoadWithError(errorForStatus(httpStatusCode, error), httpStatusCode);
}

} // namespace ruzave
