#include "tools/adserver/Certificates.h"

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace adserver {

void Certificates::X509Free::operator()(X509* x) const { X509_free(x); }
void Certificates::KeyFree::operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }

namespace {

using CertPtr = std::unique_ptr<X509, decltype(&X509_free)>;
using KeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

void fail(std::string* why, const std::string& text) {
    if (why) *why = text;
}

KeyPtr makeKey() {
    // P-256 keeps generation well under a millisecond; tests start many servers.
    return KeyPtr(EVP_EC_gen("P-256"), EVP_PKEY_free);
}

bool setRandomSerial(X509* cert) {
    unsigned char bytes[16];
    if (RAND_bytes(bytes, sizeof bytes) != 1) return false;
    bytes[0] &= 0x7f;  // a positive serial
    bytes[0] |= 0x01;  // and never zero
    BIGNUM* bn = BN_bin2bn(bytes, sizeof bytes, nullptr);
    if (!bn) return false;
    ASN1_INTEGER* serial = BN_to_ASN1_INTEGER(bn, nullptr);
    BN_free(bn);
    if (!serial) return false;
    bool ok = X509_set_serialNumber(cert, serial) == 1;
    ASN1_INTEGER_free(serial);
    return ok;
}

bool setName(X509_NAME* name, const std::string& commonName) {
    return X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                                      reinterpret_cast<const unsigned char*>("Ruzave Test"), -1, -1, 0) == 1 &&
           X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                      reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1,
                                      0) == 1;
}

bool addExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext) return false;
    bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}

// Subject alternative names are built as structures, not as a config string, so no host name can
// inject further entries.
bool addSubjectAltNames(X509* cert, const std::vector<std::string>& dnsNames) {
    GENERAL_NAMES* names = sk_GENERAL_NAME_new_null();
    if (!names) return false;
    bool ok = true;
    for (const auto& dns : dnsNames) {
        GENERAL_NAME* gn = GENERAL_NAME_new();
        ASN1_IA5STRING* str = ASN1_IA5STRING_new();
        if (!gn || !str || ASN1_STRING_set(str, dns.data(), static_cast<int>(dns.size())) != 1) {
            GENERAL_NAME_free(gn);
            ASN1_IA5STRING_free(str);
            ok = false;
            break;
        }
        GENERAL_NAME_set0_value(gn, GEN_DNS, str);
        sk_GENERAL_NAME_push(names, gn);
    }
    if (ok) {
        unsigned char ip[4];
        inet_pton(AF_INET, "127.0.0.1", ip);
        GENERAL_NAME* gn = GENERAL_NAME_new();
        ASN1_OCTET_STRING* str = ASN1_OCTET_STRING_new();
        if (!gn || !str || ASN1_OCTET_STRING_set(str, ip, sizeof ip) != 1) {
            GENERAL_NAME_free(gn);
            ASN1_OCTET_STRING_free(str);
            ok = false;
        } else {
            GENERAL_NAME_set0_value(gn, GEN_IPADD, str);
            sk_GENERAL_NAME_push(names, gn);
        }
    }
    if (ok) ok = X509_add1_ext_i2d(cert, NID_subject_alt_name, names, 0, X509V3_ADD_DEFAULT) == 1;
    GENERAL_NAMES_free(names);
    return ok;
}

CertPtr makeCertificate(EVP_PKEY* key, const std::string& commonName) {
    CertPtr cert(X509_new(), X509_free);
    if (!cert) return cert;
    constexpr long day = 24 * 60 * 60;
    if (X509_set_version(cert.get(), 2) != 1 || !setRandomSerial(cert.get()) ||
        !X509_gmtime_adj(X509_getm_notBefore(cert.get()), -day) ||
        !X509_gmtime_adj(X509_getm_notAfter(cert.get()), 30 * day) ||
        !setName(X509_get_subject_name(cert.get()), commonName) || X509_set_pubkey(cert.get(), key) != 1) {
        cert.reset();
    }
    return cert;
}

std::string toPEM(X509* cert) {
    std::string out;
    BIO* bio = BIO_new(BIO_s_mem());
    if (!bio) return out;
    if (PEM_write_bio_X509(bio, cert) == 1) {
        char* data = nullptr;
        long n = BIO_get_mem_data(bio, &data);
        if (n > 0) out.assign(data, static_cast<std::size_t>(n));
    }
    BIO_free(bio);
    return out;
}

std::string toPEM(EVP_PKEY* key) {
    std::string out;
    BIO* bio = BIO_new(BIO_s_mem());
    if (!bio) return out;
    if (PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr) == 1) {
        char* data = nullptr;
        long n = BIO_get_mem_data(bio, &data);
        if (n > 0) out.assign(data, static_cast<std::size_t>(n));
    }
    BIO_free(bio);
    return out;
}

bool writeFile(const std::string& path, const std::string& content, mode_t mode, std::string* why) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) {
        fail(why, "cannot write " + path + ": " + std::strerror(errno));
        return false;
    }
    ::fchmod(fd, mode);  // an existing file keeps its old mode otherwise
    std::size_t done = 0;
    while (done < content.size()) {
        ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            fail(why, "cannot write " + path + ": " + std::strerror(errno));
            ::close(fd);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) {
        fail(why, "cannot write " + path + ": " + std::strerror(errno));
        return false;
    }
    return true;
}

} // namespace

bool Certificates::isValidHostName(const std::string& host) {
    if (host.empty() || host.size() > 253) return false;
    std::size_t start = host.rfind("*.", 0) == 0 ? 2 : 0;
    if (start == host.size()) return false;
    char previous = '.';
    for (std::size_t i = start; i < host.size(); ++i) {
        char c = host[i];
        bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (c == '.') {
            if (previous == '.' || previous == '-') return false;
        } else if (c == '-') {
            if (previous == '.') return false;
        } else if (!alnum) {
            return false;
        }
        previous = c;
    }
    return previous != '.' && previous != '-';
}

std::optional<Certificates> Certificates::generate(const std::vector<std::string>& hostNames, std::string* why) {
    std::vector<std::string> dnsNames;
    for (const auto& host : hostNames) {
        if (!isValidHostName(host)) {
            fail(why, "not a usable host name: \"" + host + "\"");
            return std::nullopt;
        }
        bool seen = false;
        for (const auto& d : dnsNames) seen = seen || d == host;
        if (!seen) dnsNames.push_back(host);
    }
    bool hasLocalhost = false;
    for (const auto& d : dnsNames) hasLocalhost = hasLocalhost || d == "localhost";
    if (!hasLocalhost) dnsNames.push_back("localhost");

    KeyPtr caKey = makeKey();
    KeyPtr serverKey = makeKey();
    if (!caKey || !serverKey) {
        fail(why, "cannot generate keys");
        return std::nullopt;
    }

    CertPtr ca = makeCertificate(caKey.get(), "Ruzave Test CA");
    bool ok = ca && X509_set_issuer_name(ca.get(), X509_get_subject_name(ca.get())) == 1 &&
              addExtension(ca.get(), ca.get(), NID_basic_constraints, "critical,CA:TRUE") &&
              addExtension(ca.get(), ca.get(), NID_key_usage, "critical,keyCertSign,cRLSign") &&
              addExtension(ca.get(), ca.get(), NID_subject_key_identifier, "hash") &&
              X509_sign(ca.get(), caKey.get(), EVP_sha256()) > 0;
    if (!ok) {
        fail(why, "cannot make the CA certificate");
        return std::nullopt;
    }

    CertPtr server = makeCertificate(serverKey.get(), dnsNames.front());
    ok = server && X509_set_issuer_name(server.get(), X509_get_subject_name(ca.get())) == 1 &&
         addExtension(server.get(), ca.get(), NID_basic_constraints, "critical,CA:FALSE") &&
         addExtension(server.get(), ca.get(), NID_key_usage, "critical,digitalSignature") &&
         addExtension(server.get(), ca.get(), NID_ext_key_usage, "serverAuth") &&
         addExtension(server.get(), ca.get(), NID_subject_key_identifier, "hash") &&
         addExtension(server.get(), ca.get(), NID_authority_key_identifier, "keyid:always") &&
         addSubjectAltNames(server.get(), dnsNames) && X509_sign(server.get(), caKey.get(), EVP_sha256()) > 0;
    if (!ok) {
        fail(why, "cannot make the server certificate");
        return std::nullopt;
    }

    Certificates result;
    result.caPEM_ = toPEM(ca.get());
    result.serverPEM_ = toPEM(server.get());
    result.serverKeyPEM_ = toPEM(serverKey.get());
    if (result.caPEM_.empty() || result.serverPEM_.empty() || result.serverKeyPEM_.empty()) {
        fail(why, "cannot encode the certificates");
        return std::nullopt;
    }
    result.serverCert_.reset(server.release());
    result.serverKey_.reset(serverKey.release());
    return result;
}

bool Certificates::writeTo(const std::string& folder, std::string* why) const {
    return writeFile(folder + "/ca.pem", caPEM_, 0644, why) &&
           writeFile(folder + "/server.pem", serverPEM_, 0644, why) &&
           writeFile(folder + "/server.key", serverKeyPEM_, 0600, why);
}

} // namespace adserver
