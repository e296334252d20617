#pragma once
// One URL downloaded into a file below the caches folder with a conditional GET: a 304 keeps the stored
// body, a 200 replaces it and stamps the file with the server's Last-Modified date. Redirects are
// offered to the delegate hop by hop. A page's ping (setPage with PageLoad::Beacon) is done at each hop's
// head instead: no conditional request, no body stored. Main thread.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ads/core/net/GADCachedFileDelegate.h"
#include "platform/base/Value.h"
#include "platform/net/HTTPHeaderFields.h"
#include "platform/net/URLConnectionDelegate.h"
#include "platform/net/URLRequest.h"
#include "platform/web/PageLoad.h"
#include "platform/web/WebDocumentRef.h"

namespace platform {
class URLConnection;
class WebView;
}

namespace ruzave {

class GADCachedFile : public platform::URLConnectionDelegate, public std::enable_shared_from_this<GADCachedFile> {
  public:
    static std::shared_ptr<GADCachedFile> initWithURL(const platform::URL& url);
    ~GADCachedFile() override;

    // The file for a URL: <caches>/<host folder>/<hash in lower-case hex>; "" without a caches folder.
    // The host folder is always one plain path segment: no host (or an unusable one) gives "@local",
    // characters outside [A-Za-z0-9._-] are percent-coded.
    static std::string filePathForURL(const platform::URL& url);
    static std::string hostFolderName(const std::string& host);
    // The header fields of an HTTP response (every response here is one).
    static platform::HTTPHeaderFields headersForResponse(const platform::HTTPURLResponse& response) {
        return response.allHeaderFields();
    }

    // Start a download unless one is running; the cache buster adds "unique" and reloads.
    void validate() { beginFetchWithCacheBuster(false); }
    void validateWithCacheBuster() { beginFetchWithCacheBuster(true); }
    void cancel() { cleanup(); }
    // Cancels and deletes the stored body.
    void invalidate();

    bool fileExists() const;
    std::optional<std::string> contentAsString() const;
    // The stored file's date as an HTTP date ("Sun, 06 Nov 1994 08:49:37 GMT"); nullopt without a file.
    std::optional<std::string> fileModificationRFC1123DateString() const;
    std::string description() const;

    const std::string& filePath() const { return filePath_; }
    const platform::URL& sourceURL() const { return sourceURL_; }
    const platform::URL& HTTPDestinationURL() const { return HTTPDestinationURL_; }
    long HTTPStatusCode() const { return HTTPStatusCode_; }
    const platform::HTTPHeaderFields& HTTPHeaders() const { return HTTPHeaders_; }
    platform::URLRequest::CachePolicy cachePolicy() const { return cachePolicy_; }
    void setCachePolicy(platform::URLRequest::CachePolicy policy) { cachePolicy_ = policy; }
    bool isDownloading() const { return connection_ != nullptr; }
    const std::optional<std::string>& receivedModificationDate() const { return receivedModificationDate_; }

    // The document that named the URL, when a creative did: the download is then its web content
    // (platform::WebDocumentRef::connectionForPage), its body charged to it, and it fails when the
    // document has gone or refuses it; `kind` says whether it outlives the document's close (a ping's)
    // or ends with it.
    // Without one it is the app's own. Before validate().
    void setPage(platform::WebDocumentRef page, platform::PageLoad kind = platform::PageLoad::EndsWithPage) {
        page_ = std::move(page);
        forPage_ = true;
        pageLoad_ = kind;
    }
    bool isForPage() const { return forPage_; }
    bool isPing() const { return forPage_ && pageLoad_ == platform::PageLoad::Beacon; }

    std::shared_ptr<GADCachedFileDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::weak_ptr<GADCachedFileDelegate>& d) { delegate_ = d; }

    // platform::URLConnectionDelegate.
    std::optional<platform::URLRequest> willSendRequest(const std::shared_ptr<platform::URLConnection>& connection,
                                                        const platform::URLRequest& request,
                                                        const std::optional<platform::HTTPURLResponse>& redirect) override;
    void didReceiveResponse(const std::shared_ptr<platform::URLConnection>& connection,
                            const platform::HTTPURLResponse& response) override;
    void didReceiveData(const std::shared_ptr<platform::URLConnection>& connection, const platform::Bytes& data) override;
    void didFinishLoading(const std::shared_ptr<platform::URLConnection>& connection) override;
    void didFailWithError(const std::shared_ptr<platform::URLConnection>& connection,
                          const platform::Error& error) override;

  private:
    explicit GADCachedFile(const platform::URL& url);
    void beginFetchWithCacheBuster(bool cacheBuster);
    void cleanup();
    void fail(const std::optional<platform::Error>& error);
    bool isCurrent(const std::shared_ptr<platform::URLConnection>& connection) const {
        return connection && connection == connection_;
    }

    std::string receivedData_;
    std::string filePath_;
    std::weak_ptr<GADCachedFileDelegate> delegate_;
    platform::URL sourceURL_;
    platform::URLRequest::CachePolicy cachePolicy_ = platform::URLRequest::CachePolicy::UseProtocolCachePolicy;
    platform::URL HTTPDestinationURL_;
    long HTTPStatusCode_ = 0;
    platform::HTTPHeaderFields HTTPHeaders_;
    std::shared_ptr<platform::URLConnection> connection_;
    platform::WebDocumentRef page_;
    bool forPage_ = false;
    platform::PageLoad pageLoad_ = platform::PageLoad::EndsWithPage;
    std::optional<std::string> receivedModificationDate_;
    // Only a 200 carries a body worth storing; other 2xx answers end without touching the file.
    bool storeBody_ = false;
};

} // namespace ruzave
