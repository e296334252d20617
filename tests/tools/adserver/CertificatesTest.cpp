#include "tools/adserver/Certificates.h"

#include <doctest/doctest.h>

#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <ctime>
#include <memory>

using adserver::Certificates;

namespace {

std::unique_ptr<X509, decltype(&X509_free)> readPEM(const std::string& pem) {
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    X509* cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    return {cert, X509_free};
}

// Whether the server certificate chains to the CA and names `host` (or the IP `ip`).
bool verifies(const std::string& caPEM, const std::string& leafPEM, const std::string& host,
              const std::string& ip = "") {
    auto ca = readPEM(caPEM);
    auto leaf = readPEM(leafPEM);
    if (!ca || !leaf) return false;
    X509_STORE* store = X509_STORE_new();
    X509_STORE_add_cert(store, ca.get());
    X509_STORE_CTX* ctx = X509_STORE_CTX_new();
    X509_STORE_CTX_init(ctx, store, leaf.get(), nullptr);
    X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(ctx);
    X509_VERIFY_PARAM_set_purpose(param, X509_PURPOSE_SSL_SERVER);
    if (!host.empty()) X509_VERIFY_PARAM_set1_host(param, host.c_str(), 0);
    if (!ip.empty()) X509_VERIFY_PARAM_set1_ip_asc(param, ip.c_str());
    bool ok = X509_verify_cert(ctx) == 1;
    X509_STORE_CTX_free(ctx);
    X509_STORE_free(store);
    return ok;
}

bool verifies(const Certificates& certs, const std::string& host, const std::string& ip = "") {
    return verifies(certs.caPEM(), certs.serverCertificatePEM(), host, ip);
}

} // namespace

TEST_CASE("Certificates: the server certificate chains to the CA for every named host, localhost and 127.0.0.1") {
    auto certs = Certificates::generate({"ads.example", "*.wild.example"});
    REQUIRE(certs);
    CHECK(verifies(*certs, "ads.example"));
    CHECK(verifies(*certs, "x.wild.example"));
    CHECK(verifies(*certs, "localhost"));
    CHECK(verifies(*certs, "", "127.0.0.1"));
    CHECK_FALSE(verifies(*certs, "other.example"));
    CHECK_FALSE(verifies(*certs, "", "127.0.0.2"));

    // Another run's CA trusts nothing of this one.
    auto other = Certificates::generate({"ads.example"});
    REQUIRE(other);
    CHECK(verifies(*other, "ads.example"));
    CHECK_FALSE(verifies(other->caPEM(), certs->serverCertificatePEM(), "ads.example"));
}

TEST_CASE("Certificates: the CA may sign, the server may not, and both are valid from yesterday for a month") {
    auto certs = Certificates::generate({});
    REQUIRE(certs);
    auto ca = readPEM(certs->caPEM());
    auto leaf = readPEM(certs->serverCertificatePEM());
    REQUIRE(ca);
    REQUIRE(leaf);
    CHECK(X509_check_ca(ca.get()) != 0);
    CHECK(X509_check_ca(leaf.get()) == 0);

    std::time_t now = std::time(nullptr);
    std::time_t inTwentyNineDays = now + 29 * 24 * 3600;
    std::time_t inThirtyOneDays = now + 31 * 24 * 3600;
    std::time_t anHourAgo = now - 3600;
    for (X509* cert : {ca.get(), leaf.get()}) {
        CHECK(X509_cmp_time(X509_get0_notBefore(cert), &anHourAgo) < 0);
        CHECK(X509_cmp_time(X509_get0_notAfter(cert), &inTwentyNineDays) > 0);
        CHECK(X509_cmp_time(X509_get0_notAfter(cert), &inThirtyOneDays) < 0);
    }
    CHECK(ASN1_INTEGER_cmp(X509_get0_serialNumber(ca.get()), X509_get0_serialNumber(leaf.get())) != 0);
    CHECK(certs->serverKeyPEM().find("PRIVATE KEY") != std::string::npos);
}

TEST_CASE("Certificates: host names that could not be certified, or could smuggle entries, are refused") {
    for (const char* bad : {"", "a b.example", "a,DNS:evil.example", "a..example", ".example", "example.", "-a.example",
                            "a-.example", "*.", "a.*.example", "ex\nample"}) {
        std::string why;
        CHECK_MESSAGE(!Certificates::generate({bad}, &why), bad);
        CHECK_FALSE(why.empty());
    }
    CHECK(Certificates::isValidHostName("media-cdn.g.example"));
    CHECK(Certificates::isValidHostName("127.0.0.1"));
}
