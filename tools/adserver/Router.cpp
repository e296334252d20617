#include "tools/adserver/Router.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <vector>

namespace adserver {

namespace {

std::string lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A folder prefix matches whole segments: "/static" serves "/static/a.js", not "/staticfoo".
bool folderMatches(const std::string& urlPrefix, const std::string& path) {
    if (path.compare(0, urlPrefix.size(), urlPrefix) != 0) return false;
    return path.size() == urlPrefix.size() || urlPrefix.empty() || urlPrefix.back() == '/' ||
           path[urlPrefix.size()] == '/';
}

} // namespace

void Router::route(const std::string& path, Handler handler) {
    std::lock_guard lock(mutex_);
    exact_[path] = std::move(handler);
}

void Router::routeHost(const std::string& host, const std::string& path, Handler handler) {
    std::lock_guard lock(mutex_);
    hosts_[{lower(host), path}] = std::move(handler);
}

void Router::routePrefix(const std::string& prefix, Handler handler) {
    std::lock_guard lock(mutex_);
    prefixes_[prefix] = std::move(handler);
}

void Router::unroute(const std::string& path) {
    std::lock_guard lock(mutex_);
    exact_.erase(path);
    prefixes_.erase(path);
    for (auto it = hosts_.begin(); it != hosts_.end();) {
        it = it->first.second == path ? hosts_.erase(it) : std::next(it);
    }
}

void Router::serveFolder(const std::string& urlPrefix, const std::string& folder) {
    std::lock_guard lock(mutex_);
    folders_[urlPrefix] = folder;
}

Handler Router::resolve(const std::string& host, const std::string& path) const {
    std::vector<std::pair<std::string, std::string>> folders;
    {
        std::lock_guard lock(mutex_);
        if (auto it = hosts_.find({lower(host), path}); it != hosts_.end() && it->second) return it->second;
        if (auto it = exact_.find(path); it != exact_.end() && it->second) return it->second;
        const Handler* best = nullptr;
        std::size_t bestLength = 0;
        for (const auto& [prefix, handler] : prefixes_) {
            if (!handler || path.compare(0, prefix.size(), prefix) != 0) continue;
            if (!best || prefix.size() > bestLength) {
                best = &handler;
                bestLength = prefix.size();
            }
        }
        if (best) return *best;
        for (const auto& entry : folders_) {
            if (folderMatches(entry.first, path)) folders.push_back(entry);
        }
    }
    // Files are looked up outside the lock.
    std::sort(folders.begin(), folders.end(),
              [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
    for (const auto& [urlPrefix, folder] : folders) {
        std::string file = fileBelow(folder, path.substr(urlPrefix.size()));
        if (file.empty()) continue;
        return [file](const Request&) {
            std::ifstream in(file, std::ios::binary);
            if (!in) return Response::text("not found\n", "text/plain", 404);
            std::ostringstream content;
            content << in.rdbuf();
            return Response::text(content.str(), contentTypeFor(file));
        };
    }
    return {};
}

std::string Router::fileBelow(const std::string& folder, const std::string& relativePath) {
    std::string path = folder;
    std::size_t start = 0;
    while (start <= relativePath.size()) {
        std::size_t end = relativePath.find('/', start);
        if (end == std::string::npos) end = relativePath.size();
        std::string segment = relativePath.substr(start, end - start);
        start = end + 1;
        if (segment.empty() || segment == ".") continue;
        // No way out of the folder, and no bytes the file system would read differently.
        if (segment == ".." || segment.find('\0') != std::string::npos || segment.find('\\') != std::string::npos)
            return {};
        path += '/';
        path += segment;
    }
    if (isDirectory(path)) path += "/index.html";
    return isRegularFile(path) ? path : std::string();
}

std::string Router::contentTypeFor(const std::string& filePath) {
    static const std::map<std::string, std::string> types = {
        {"html", "text/html; charset=utf-8"},
        {"htm", "text/html; charset=utf-8"},
        {"js", "application/javascript; charset=utf-8"},
        {"json", "application/json"},
        {"css", "text/css; charset=utf-8"},
        {"txt", "text/plain; charset=utf-8"},
        {"xml", "application/xml"},
        {"png", "image/png"},
        {"jpg", "image/jpeg"},
        {"jpeg", "image/jpeg"},
        {"gif", "image/gif"},
        {"svg", "image/svg+xml"},
        {"mp4", "video/mp4"},
        {"plist", "application/x-plist"},
    };
    std::size_t slash = filePath.rfind('/');
    std::size_t dot = filePath.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "application/octet-stream";
    auto it = types.find(lower(filePath.substr(dot + 1)));
    return it == types.end() ? "application/octet-stream" : it->second;
}

} // namespace adserver
