#include "platform/net/URLError.h"

#include <curl/curl.h>

namespace platform {

std::string URLError::descriptionFor(long code) {
    switch (code) {
    case Cancelled: return "cancelled";
    case BadURL: return "unsupported URL";
    case TimedOut: return "The request timed out.";
    case UnsupportedURL: return "unsupported URL";
    case CannotFindHost: return "A server with the specified hostname could not be found.";
    case CannotConnectToHost: return "Could not connect to the server.";
    case NetworkConnectionLost: return "The network connection was lost.";
    case HTTPTooManyRedirects: return "too many HTTP redirects";
    case ResourceUnavailable: return "resource unavailable";
    case NotConnectedToInternet: return "The Internet connection appears to be offline.";
    case BadServerResponse: return "bad server response";
    case CannotDecodeContentData: return "cannot decode raw data";
    case SecureConnectionFailed: return "An SSL error has occurred and a secure connection to the server cannot be made.";
    case ServerCertificateUntrusted: return "The certificate for this server is invalid.";
    default: return "unknown error";
    }
}

Error URLError::make(long code, const std::string& failingURL, const std::string& detail) {
    Value info = Value::object();
    info[FailingURLStringKey] = failingURL;
    if (!detail.empty()) info["detail"] = detail;
    return Error(Domain, code, descriptionFor(code), std::move(info));
}

long URLError::codeForCurl(int curlCode) {
    switch (static_cast<CURLcode>(curlCode)) {
    case CURLE_OK: return 0;
    case CURLE_UNSUPPORTED_PROTOCOL: return UnsupportedURL;
    case CURLE_URL_MALFORMAT: return BadURL;
    case CURLE_OPERATION_TIMEDOUT: return TimedOut;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return CannotFindHost;
    case CURLE_COULDNT_CONNECT: return CannotConnectToHost;
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM: return NetworkConnectionLost;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH: return ServerCertificateUntrusted;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER: return SecureConnectionFailed;
    case CURLE_BAD_CONTENT_ENCODING: return CannotDecodeContentData;
    case CURLE_WEIRD_SERVER_REPLY: return BadServerResponse;
    case CURLE_ABORTED_BY_CALLBACK: return Cancelled;
    default: return Unknown;
    }
}

} // namespace platform
