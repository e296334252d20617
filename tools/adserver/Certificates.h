#pragma once
// A throw-away certificate authority and a server certificate it signed, made in memory at start.
// Any thread; an instance is immutable once made.
#include <memory>
#include <optional>
#include <string>
#include <vector>

typedef struct x509_st X509;
typedef struct evp_pkey_st EVP_PKEY;

namespace adserver {

class Certificates {
public:
    // A CA and a server certificate valid for `hostNames`, "localhost" and 127.0.0.1, from a day ago
    // to 30 days ahead. nullopt (with `why`) when a host name is unusable or OpenSSL fails.
    static std::optional<Certificates> generate(const std::vector<std::string>& hostNames,
                                                std::string* why = nullptr);

    const std::string& caPEM() const { return caPEM_; }
    const std::string& serverCertificatePEM() const { return serverPEM_; }
    const std::string& serverKeyPEM() const { return serverKeyPEM_; }
    // Borrowed; valid while this object lives.
    X509* serverCertificate() const { return serverCert_.get(); }
    EVP_PKEY* serverKey() const { return serverKey_.get(); }

    // Writes ca.pem, server.pem and server.key (mode 0600) into `folder`, which must exist.
    bool writeTo(const std::string& folder, std::string* why = nullptr) const;

    // A host name the certificate can carry as a DNS entry (letters, digits, '-', '.', a leading "*.").
    static bool isValidHostName(const std::string& host);

private:
    struct X509Free { void operator()(X509* x) const; };
    struct KeyFree { void operator()(EVP_PKEY* k) const; };

    Certificates() = default;

    std::unique_ptr<X509, X509Free> serverCert_;
    std::unique_ptr<EVP_PKEY, KeyFree> serverKey_;
    std::string caPEM_;
    std::string serverPEM_;
    std::string serverKeyPEM_;
};

} // namespace adserver
