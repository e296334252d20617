#include "platform/net/SystemCertificates.h"

#include <curl/curl.h>
#include <dirent.h>
#include <openssl/err.h>

#include <cctype>
#include <cstring>
#include <memory>

namespace platform {

namespace {

// "xxxxxxxx.N": eight hex digits of a subject's hash, a dot, the number among certificates of that hash.
// CRLs ("xxxxxxxx.rN") do not count.
bool isHashLinkName(const char* name) {
    std::size_t length = std::strlen(name);
    if (length < 10 || name[8] != '.') return false;
    for (std::size_t i = 0; i < 8; ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(name[i]))) return false;
    }
    for (std::size_t i = 9; i < length; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
    }
    return true;
}

} // namespace

SystemCertificates::Locations SystemCertificates::ofNetworkLibrary() {
    Locations where;
    where.bundle = "/etc/ssl/certs/ca-certificates.crt";
    if (CURL* probe = curl_easy_init()) {
        char* builtIn = nullptr;
        if (curl_easy_getinfo(probe, CURLINFO_CAPATH, &builtIn) == CURLE_OK && builtIn != nullptr) where.folder = builtIn;
        builtIn = nullptr;
        if (curl_easy_getinfo(probe, CURLINFO_CAINFO, &builtIn) == CURLE_OK && builtIn != nullptr) where.bundle = builtIn;
        curl_easy_cleanup(probe);
    }
    return where;
}

bool SystemCertificates::isHashedFolder(const std::string& folder) {
    if (folder.empty()) return false;
    std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(folder.c_str()), &::closedir);
    if (listing == nullptr) return false;
    // Stops at the first: a system folder holds hundreds of entries.
    while (const dirent* entry = ::readdir(listing.get())) {
        if (isHashLinkName(entry->d_name)) return true;
    }
    return false;
}

bool SystemCertificates::loadInto(X509_STORE* store, const Locations& where) {
    bool loaded = (isHashedFolder(where.folder) && X509_STORE_load_path(store, where.folder.c_str()) == 1) ||
                  (!where.bundle.empty() && X509_STORE_load_file(store, where.bundle.c_str()) == 1);
    ERR_clear_error();
    return loaded;
}

} // namespace platform
