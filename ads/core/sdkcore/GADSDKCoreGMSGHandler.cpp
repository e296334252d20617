#include "ads/core/sdkcore/GADSDKCoreGMSGHandler.h"

#include "ads/render/GADNotification.h"

#include "ads/core/net/GADURLRequestAdditions.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/sdkcore/GADSDKCoreGMSGHandlerDelegate.h"
#include "ads/core/sdkcore/GADSDKCoreWebView.h"
#include "ads/core/util/GADJSONAdditions.h"
#include "platform/base/Log.h"
#include "platform/base/Strings.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/MainLoop.h"

namespace ruzave {

namespace {

bool isHTTPScheme(const platform::URL& url) {
    std::string scheme = url.scheme();
    return scheme == "http" || scheme == "https";
}

bool hasLineBreak(const std::string& s) {
    return s.find('\r') != std::string::npos || s.find('\n') != std::string::npos;
}

std::string stringParameter(const platform::Value& parameters, const char* key) {
    const std::string* s = platform::findString(parameters, key);
    return s != nullptr ? *s : std::string();
}

} // namespace

std::shared_ptr<GADSDKCoreGMSGHandler> GADSDKCoreGMSGHandler::init() {
    return std::shared_ptr<GADSDKCoreGMSGHandler>(new GADSDKCoreGMSGHandler());
}

std::shared_ptr<GADSDKCoreGMSGHandlerDelegate> GADSDKCoreGMSGHandler::delegate() const {
    std::lock_guard lock(mutex_);
    return delegate_.lock();
}

void GADSDKCoreGMSGHandler::setDelegate(std::weak_ptr<GADSDKCoreGMSGHandlerDelegate> delegate) {
    std::lock_guard lock(mutex_);
    delegate_ = std::move(delegate);
}

bool GADSDKCoreGMSGHandler::isNotificationURL(const platform::URL& url) {
    return GADNotification::isNotificationURL(url);
}

std::optional<std::pair<std::string, platform::Value>> GADSDKCoreGMSGHandler::parseNotificationURL(const platform::URL& url) {
    // One parser for every page's messages.
    auto note = GADNotification::initWithNotificationURL(url);
    if (!note) return std::nullopt;
    return std::make_pair(note->name(), note->parameters());
}

bool GADSDKCoreGMSGHandler::handleRequest(const platform::URLRequest& request) {
    auto message = parseNotificationURL(request.url());
    if (!message) return false;
    return handleNotification(message->first, message->second);
}

bool GADSDKCoreGMSGHandler::handleNotification(const std::string& name, const platform::Value& parameters) {
    std::weak_ptr<GADSDKCoreGMSGHandler> weak = weak_from_this();
    // Answers go to the delegate after the navigation callback has returned; it is looked up then.
    auto later = [weak](std::function<void(GADSDKCoreGMSGHandler&, GADSDKCoreGMSGHandlerDelegate&)> call) {
        platform::MainLoop::main().post([weak, call = std::move(call)] {
            auto self = weak.lock();
            if (!self) return;
            if (auto d = self->delegate()) call(*self, *d);
        });
    };
    if (name == "loadAdURL") {
        std::string requestID = stringParameter(parameters, "request_id");
        later([requestID, parameters](GADSDKCoreGMSGHandler& h, GADSDKCoreGMSGHandlerDelegate& d) {
            d.SDKCoreGMSGHandlerLoadAdURLWithRequestIDParameters(h, requestID, parameters);
        });
        return true;
    }
    if (name == "loadAd") {
        std::string requestID = stringParameter(parameters, "request_id");
        const std::string* text = platform::findString(parameters, "fetched_ad");
        std::optional<platform::Value> ad = text != nullptr ? gad_decodedJSONObjectError(*text) : std::nullopt;
        if (ad && ad->is_object()) {
            later([requestID, ad = std::move(*ad)](GADSDKCoreGMSGHandler& h, GADSDKCoreGMSGHandlerDelegate& d) {
                d.SDKCoreGMSGHandlerLoadAdWithRequestIDParameters(h, requestID, ad);
            });
        } else {
            // A broken ad is a refused request: its requester must still hear an answer.
            later([requestID, parameters](GADSDKCoreGMSGHandler& h, GADSDKCoreGMSGHandlerDelegate& d) {
                d.SDKCoreGMSGHandlerDidReceiveInvalidAdWithRequestIDParameters(h, requestID, parameters);
            });
        }
        return true;
    }
    if (name == "invalidRequest") {
        std::string requestID = stringParameter(parameters, "request_id");
        later([requestID, parameters](GADSDKCoreGMSGHandler& h, GADSDKCoreGMSGHandlerDelegate& d) {
            d.SDKCoreGMSGHandlerDidReceiveInvalidAdWithRequestIDParameters(h, requestID, parameters);
        });
        return true;
    }
    if (name == "loadSdkConstants") {
        later([parameters](GADSDKCoreGMSGHandler& h, GADSDKCoreGMSGHandlerDelegate& d) {
            d.SDKCoreGMSGHandlerDidLoadSDKConstants(h, parameters);
        });
        return true;
    }
    if (name == "fetchHttpRequest") {
        didReceiveFetchAdAction(parameters);
        return true;
    }
    if (name == "requestReload") {
        later([](GADSDKCoreGMSGHandler& h, GADSDKCoreGMSGHandlerDelegate& d) {
            d.SDKCoreGMSGHandlerDidReceiveSDKCoreUpdateNotification(h);
        });
        return true;
    }
    return false;
}

bool GADSDKCoreGMSGHandler::isFetchInProgressForFetchRequestID(const platform::Value& fetchRequestID) const {
    std::lock_guard lock(mutex_);
    return fetches_.count(platform::toJSON(fetchRequestID)) != 0;
}

void GADSDKCoreGMSGHandler::didReceiveFetchAdAction(const platform::Value& parameters) {
    platform::Error decodeError;
    const std::string* text = platform::findString(parameters, "http_request");
    std::optional<platform::Value> fetch =
        text != nullptr ? gad_decodedJSONObjectError(*text, &decodeError) : std::nullopt;
    if (!fetch || !fetch->is_object()) {
        if (decodeError.empty()) decodeError = gad_errorWithCode(GADInternalErrorInvalidArgument, "Invalid JSON object.");
        answerFetch(false, decodeError.description, 0, "", platform::Value(), platform::Value::array());
        return;
    }
    platform::Value fetchRequestID;  // null: none given
    if (const platform::Value* id = platform::find(*fetch, "http_request_id")) fetchRequestID = *id;
    const bool tracked = !fetchRequestID.is_null();
    const std::string key = platform::toJSON(fetchRequestID);
    if (tracked && isFetchInProgressForFetchRequestID(fetchRequestID)) return;

    const std::string* urlText = platform::findString(*fetch, "url");
    std::optional<platform::URL> url;
    if (urlText != nullptr && !urlText->empty()) url = platform::URL::parse(*urlText);
    auto refuseURL = [&] {
        std::string shown = urlText != nullptr ? *urlText : std::string();
        GADRequestError error = GADRequestError::errorWithCode(
            GADRequestErrorInternalError, "Invalid URL (" + shown + ") requested for fetching");
        answerFetch(false, error.description, 0, "", fetchRequestID, platform::Value::array());
    };
    if (!url || !isHTTPScheme(*url)) {
        refuseURL();
        return;
    }

    // Header fields as a dictionary: later duplicates win.
    platform::Value fields = platform::Value::object();
    if (const platform::Value* headers = platform::find(*fetch, "headers"); headers != nullptr && headers->is_array()) {
        for (const auto& entry : *headers) {
            if (!entry.is_object()) continue;
            const std::string* k = platform::findString(entry, "key");
            const std::string* v = platform::findString(entry, "value");
            // A header that could end the line would let the page write its own request.
            if (k == nullptr || v == nullptr || k->empty() || hasLineBreak(*k) || hasLineBreak(*v)) continue;
            fields[*k] = *v;
        }
    }
    const std::string* body = platform::findString(*fetch, "post_body");
    const std::string* contentType = platform::findString(*fetch, "content_type");
    std::optional<platform::Bytes> data;
    std::optional<std::string> type;
    if (body != nullptr && contentType != nullptr && !hasLineBreak(*contentType)) {
        data = platform::Bytes(body->begin(), body->end());
        type = *contentType;
    }
    // The SDK's own request builder, so the fetch carries the SDK's user agent and defaults.
    std::optional<platform::URLRequest> built = gad_requestForURL(url, data, fields, type);
    if (!built) {
        refuseURL();
        return;
    }
    const platform::URLRequest& request = *built;

    std::uint64_t token = 0;
    if (tracked) {
        std::lock_guard lock(mutex_);
        token = nextToken_++;
        fetches_[key] = token;
    }
    std::weak_ptr<GADSDKCoreGMSGHandler> weak = weak_from_this();
    platform::URLConnection::sendAsynchronousRequest(
        request, platform::TransferOrigin::app(), nullptr,
        [weak, key, token, fetchRequestID](std::optional<platform::HTTPURLResponse> response, platform::Bytes data,
                                           std::optional<platform::Error> error) {
            auto self = weak.lock();
            if (!self) return;
            platform::Value headers = platform::Value::array();
            int status = response ? response->statusCode() : 0;
            if (response) {
                for (const auto& [name, value] : response->allHeaderFields().fields())
                    headers.push_back(platform::Value{{"key", name}, {"value", value}});
            }
            std::string text(data.begin(), data.end());
            std::string reason;
            bool success = false;
            if (error) {
                reason = error->description;
            } else if (!response || !isHTTPScheme(response->url())) {
                reason = "Only http and https can be fetched.";
            } else if (status < 200 || status >= 300) {
                reason = "HTTP " + std::to_string(status) + " " + platform::HTTPURLResponse::localizedStringForStatusCode(status);
            } else {
                success = true;
            }
            self->fetchFinished(key, token, fetchRequestID, success, reason, status, text, headers);
        });
}

void GADSDKCoreGMSGHandler::fetchFinished(const std::string& key, std::uint64_t token, const platform::Value& fetchRequestID,
                                          bool success, const std::string& reason, int responseCode,
                                          const std::string& body, const platform::Value& headers) {
    if (token != 0) {
        std::lock_guard lock(mutex_);
        auto it = fetches_.find(key);
        if (it == fetches_.end() || it->second != token) return;
        fetches_.erase(it);
    }
    answerFetch(success, reason, responseCode, body, fetchRequestID, headers);
}

void GADSDKCoreGMSGHandler::answerFetch(bool success, const std::string& reason, int responseCode, const std::string& body,
                                        const platform::Value& fetchRequestID, const platform::Value& headers) {
    platform::Value response = platform::Value::object();
    response["response_code"] = responseCode;
    response["body"] = body;
    response["http_request_id"] = fetchRequestID.is_null() ? platform::Value("") : fetchRequestID;
    response["headers"] = headers;
    platform::Value answer = platform::Value::object();
    answer["success"] = success ? "true" : "false";
    if (!success) answer["reason"] = reason;
    answer["response"] = std::move(response);
    auto webView = webView_.lock();
    if (!webView) return;
    webView->enqueueJavaScriptCommand("ZUDO_ReceiveMessage('fetchHttpRequestCompleted', " + platform::toScriptJSON(answer) + ")");
}

} // namespace ruzave
