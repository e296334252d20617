#include "platform/foundation/Sandbox.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/base/Error.h"
#include "platform/base/Log.h"

namespace platform {

namespace {

namespace fs = std::filesystem;

// Both live until the process ends: a background queue (a ping retried at exit) may still ask for the
// home after static destruction has begun.
std::mutex& homeMutex() {
    static auto* m = new std::mutex;
    return *m;
}

std::string& homeStorage() {
    static auto* home = new std::string;
    return *home;
}

Error posixError(int code, const std::string& what, const std::string& path) {
    return Error("NSPOSIXErrorDomain", code, what + " " + path + ": " + std::strerror(code),
                 Value{{"path", path}});
}

std::string makeTemporaryHome() {
    const char* tmp = std::getenv("TMPDIR");
    std::string base = (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
    std::string pattern = base + "/ruzave-home-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) != nullptr) return std::string(buffer.data());
    // Without a private folder we still need somewhere to live; a per-process name keeps runs apart.
    std::string fallback = "/tmp/ruzave-home-" + std::to_string(::getpid());
    logError("Sandbox: cannot make a temporary home in " + base + ": " + std::strerror(errno) + "; using " +
             fallback);
    return fallback;
}

std::string ensureSubdirectory(const std::string& relative) {
    std::string path = Sandbox::homeDirectory() + "/" + relative;
    Error error;
    if (!Sandbox::createDirectory(path, true, &error)) logError("Sandbox: " + error.description);
    return path;
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void syncDirectory(const std::string& dir) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd); // Makes the rename durable; failure here loses nothing already visible.
    ::close(fd);
}

} // namespace

std::string Sandbox::homeDirectory() {
    std::string home;
    {
        std::lock_guard<std::mutex> lock(homeMutex());
        std::string& stored = homeStorage();
        if (stored.empty()) {
            const char* env = std::getenv("RUZAVE_APP_HOME");
            stored = (env != nullptr && *env != '\0') ? std::string(env) : makeTemporaryHome();
            while (stored.size() > 1 && stored.back() == '/')
                stored.pop_back();
        }
        home = stored;
    }
    Error error;
    if (!createDirectory(home, true, &error)) logError("Sandbox: " + error.description);
    return home;
}

std::string Sandbox::documentsDirectory() {
    return ensureSubdirectory("Documents");
}
std::string Sandbox::cachesDirectory() {
    return ensureSubdirectory("Library/Caches");
}
std::string Sandbox::preferencesDirectory() {
    return ensureSubdirectory("Library/Preferences");
}
std::string Sandbox::temporaryDirectory() {
    return ensureSubdirectory("tmp");
}

void Sandbox::resetForTesting(const std::string& newHome) {
    std::lock_guard<std::mutex> lock(homeMutex());
    homeStorage() = newHome;
}

bool Sandbox::createDirectory(const std::string& path, bool withParents, Error* error) {
    if (path.empty()) {
        setError(error, posixError(ENOENT, "cannot create folder", path));
        return false;
    }
    if (withParents) {
        std::error_code ec;
        fs::create_directories(path, ec);
        if (ec && ec != std::errc::file_exists) {
            setError(error, posixError(ec.value(), "cannot create folder", path));
            return false;
        }
    } else if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
        setError(error, posixError(errno, "cannot create folder", path));
        return false;
    }
    // Something that is not a folder may already sit at the path.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        setError(error, posixError(ENOTDIR, "cannot create folder", path));
        return false;
    }
    return true;
}

bool Sandbox::writeFileAtomically(const std::string& path, std::string_view bytes, Error* error,
                                  unsigned permissions) {
    if (path.empty() || path.back() == '/') {
        setError(error, posixError(EISDIR, "cannot write", path));
        return false;
    }
    std::string dir = fs::path(path).parent_path().string();
    if (dir.empty()) dir = ".";

    std::string pattern = path + ".tmp-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        setError(error, posixError(errno, "cannot create a temporary file for", path));
        return false;
    }
    std::string tempPath(name.data());

    auto fail = [&](const char* what) {
        int code = errno;
        if (fd >= 0) ::close(fd);
        ::unlink(tempPath.c_str());
        setError(error, posixError(code, what, path));
        return false;
    };
    if (!writeAll(fd, bytes.data(), bytes.size())) return fail("cannot write");
    if (::fchmod(fd, static_cast<mode_t>(permissions & 07777)) != 0) return fail("cannot set permissions of");
    if (::fsync(fd) != 0) return fail("cannot flush");
    int closed = ::close(fd);
    fd = -1;
    if (closed != 0) return fail("cannot close");
    if (::rename(tempPath.c_str(), path.c_str()) != 0) return fail("cannot rename into");
    syncDirectory(dir);
    return true;
}

bool Sandbox::writeFileAtomically(const std::string& path, const Bytes& bytes, Error* error,
                                  unsigned permissions) {
    return writeFileAtomically(path,
                               std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                               error, permissions);
}

std::optional<std::string> Sandbox::readFile(const std::string& path, Error* error) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        setError(error, posixError(errno, "cannot open", path));
        return std::nullopt;
    }
    std::string content;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        content.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[64 * 1024];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            int code = errno;
            ::close(fd);
            setError(error, posixError(code, "cannot read", path));
            return std::nullopt;
        }
        if (n == 0) break;
        content.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return content;
}

bool Sandbox::removeItem(const std::string& path, Error* error) {
    std::error_code ec;
    auto status = fs::symlink_status(path, ec);
    if (ec || !fs::exists(status)) {
        setError(error, posixError(ENOENT, "cannot remove", path));
        return false;
    }
    fs::remove_all(path, ec);
    if (ec) {
        setError(error, posixError(ec.value(), "cannot remove", path));
        return false;
    }
    return true;
}

bool Sandbox::fileExists(const std::string& path, bool* isDirectory) {
    struct stat st {};
    bool exists = !path.empty() && ::stat(path.c_str(), &st) == 0;
    if (isDirectory != nullptr) *isDirectory = exists && S_ISDIR(st.st_mode);
    return exists;
}

std::vector<std::string> Sandbox::contentsOfDirectory(const std::string& path, Error* error) {
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(path, ec);
    if (ec) {
        setError(error, posixError(ec.value(), "cannot list", path));
        return names;
    }
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    if (ec) {
        setError(error, posixError(ec.value(), "cannot list", path));
        return {};
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<double> Sandbox::modificationDate(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
    return static_cast<double>(st.st_mtim.tv_sec) + static_cast<double>(st.st_mtim.tv_nsec) / 1e9;
}

bool Sandbox::setModificationDate(const std::string& path, double secondsSince1970, Error* error) {
    // Outside what time_t holds (or not a number) there is no such date.
    if (!std::isfinite(secondsSince1970) || std::fabs(secondsSince1970) > 1e15) {
        setError(error, posixError(EINVAL, "invalid date for", path));
        return false;
    }
    double whole = std::floor(secondsSince1970);
    long nanos = static_cast<long>(std::llround((secondsSince1970 - whole) * 1e9));
    if (nanos >= 1000000000L) {
        whole += 1;
        nanos -= 1000000000L;
    }
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(whole);
    times[1].tv_nsec = nanos;
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
        setError(error, posixError(errno, "cannot set the modification date of", path));
        return false;
    }
    return true;
}

} // namespace platform
