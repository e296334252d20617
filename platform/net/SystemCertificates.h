#pragma once
// The system's trusted CAs, as the network library finds them: a hashed folder, read certificate by
// certificate as verification asks for them, and a bundle file, read whole. A folder without the hash
// links such a lookup goes by (a system where they were never made) would find nothing, and every public
// host would fail: the bundle is loaded then. Any thread.
#include <openssl/x509.h>

#include <string>

namespace platform {

class SystemCertificates {
public:
    struct Locations {
        std::string folder;  // empty: none
        std::string bundle;
    };

    // The network library's own.
    static Locations ofNetworkLibrary();
    // True when `folder` can be listed and holds a certificate's hash link ("xxxxxxxx.N").
    static bool isHashedFolder(const std::string& folder);
    // Loads `where` into `store`: the folder when it is hashed, else the bundle. False when neither loads.
    static bool loadInto(X509_STORE* store, const Locations& where);
};

} // namespace platform
