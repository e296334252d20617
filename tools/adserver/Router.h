#pragma once
// The server's route tables: exact, per-host, prefix and folder routes. Any thread; handlers are
// handed out as copies, so none runs under the table's lock.
#include "tools/adserver/AdServer.h"

#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace adserver {

class Router {
public:
    void route(const std::string& path, Handler handler);
    void routeHost(const std::string& host, const std::string& path, Handler handler);
    void routePrefix(const std::string& prefix, Handler handler);
    // Removes the exact route, every host's route and the prefix route keyed by `path`.
    void unroute(const std::string& path);
    void serveFolder(const std::string& urlPrefix, const std::string& folder);

    // The handler for a request: the host's route for the path, else the path's route, else the longest
    // matching prefix route, else a file from the folders (longest prefix first). Empty when none.
    Handler resolve(const std::string& host, const std::string& path) const;

    // The file below `folder` that `relativePath` names, or "" when it is outside the folder or
    // missing. A directory answers with its index.html.
    static std::string fileBelow(const std::string& folder, const std::string& relativePath);
    static std::string contentTypeFor(const std::string& filePath);

private:
    mutable std::mutex mutex_;
    std::map<std::string, Handler> exact_;
    std::map<std::pair<std::string, std::string>, Handler> hosts_;
    std::map<std::string, Handler> prefixes_;
    std::map<std::string, std::string> folders_;
};

} // namespace adserver
