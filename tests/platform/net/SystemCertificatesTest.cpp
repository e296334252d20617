#include "platform/net/SystemCertificates.h"

#include <doctest/doctest.h>
#include <openssl/pem.h>
#include <openssl/x509_vfy.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/testing/Harness.h"
#include "tools/adserver/Certificates.h"

using platform::SystemCertificates;

namespace {

// The name a hashed folder gives a CA: its subject's hash, and 0 for the first of that hash.
std::string hashLinkName(const std::string& caPEM) {
    std::unique_ptr<BIO, int (*)(BIO*)> pem(BIO_new_mem_buf(caPEM.data(), static_cast<int>(caPEM.size())), &BIO_free);
    std::unique_ptr<X509, void (*)(X509*)> ca(PEM_read_bio_X509(pem.get(), nullptr, nullptr, nullptr), &X509_free);
    REQUIRE(ca != nullptr);
    char name[32];
    std::snprintf(name, sizeof name, "%08lx.0", X509_subject_name_hash(ca.get()));
    return name;
}

// A CA and a certificate it signed, and a home to lay folders and bundles in.
struct Authority : platform::testing::Harness {
    adserver::Certificates certificates = *adserver::Certificates::generate({"ads.ruzave.example"});
    std::filesystem::path root = home();

    void write(const std::filesystem::path& file, const std::string& text) const {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << text;
    }
    // Loads `where` into a fresh store and verifies the signed certificate against it.
    bool verifies(const SystemCertificates::Locations& where) const {
        std::unique_ptr<X509_STORE, void (*)(X509_STORE*)> store(X509_STORE_new(), &X509_STORE_free);
        if (!SystemCertificates::loadInto(store.get(), where)) return false;
        std::unique_ptr<X509_STORE_CTX, void (*)(X509_STORE_CTX*)> context(X509_STORE_CTX_new(), &X509_STORE_CTX_free);
        X509_STORE_CTX_init(context.get(), store.get(), certificates.serverCertificate(), nullptr);
        return X509_verify_cert(context.get()) == 1;
    }
};

} // namespace

TEST_CASE_FIXTURE(Authority, "SystemCertificates: a folder without hash links gives way to the bundle") {
    const std::string bundle = (root / "bundle.pem").string();
    write(bundle, certificates.caPEM());
    // The folder holds the CA, but under a name a hashed lookup never asks for.
    const std::filesystem::path unlinked = root / "unlinked";
    write(unlinked / "ca.pem", certificates.caPEM());
    CHECK_FALSE(SystemCertificates::isHashedFolder(unlinked.string()));
    CHECK(verifies({unlinked.string(), bundle}));
    // No folder at all, or none named.
    CHECK(verifies({(root / "missing").string(), bundle}));
    CHECK(verifies({"", bundle}));
    // Neither loads.
    CHECK_FALSE(verifies({unlinked.string(), (root / "missing.pem").string()}));
}

TEST_CASE_FIXTURE(Authority, "SystemCertificates: a hashed folder is used, and the bundle is not read") {
    const std::filesystem::path hashed = root / "hashed";
    write(hashed / hashLinkName(certificates.caPEM()), certificates.caPEM());
    CHECK(SystemCertificates::isHashedFolder(hashed.string()));
    CHECK(verifies({hashed.string(), (root / "missing.pem").string()}));
    // A folder hashed for another CA only: the bundle that would trust ours is left alone.
    const std::string bundle = (root / "bundle.pem").string();
    write(bundle, certificates.caPEM());
    const std::string otherCA = adserver::Certificates::generate({"other.example"})->caPEM();
    const std::filesystem::path otherHashed = root / "other";
    write(otherHashed / hashLinkName(otherCA), otherCA);
    CHECK_FALSE(verifies({otherHashed.string(), bundle}));
}

TEST_CASE_FIXTURE(Authority, "SystemCertificates: only a certificate's hash link makes a folder hashed") {
    const std::filesystem::path folder = root / "names";
    for (const char* name : {"ca.pem", "0123abcd.r0", "0123abcg.0", "0123abcd.", "123abcd.0", "0123abcd.0x"}) {
        write(folder / name, "x");
    }
    CHECK_FALSE(SystemCertificates::isHashedFolder(folder.string()));
    write(folder / "0123ABcd.12", "x");
    CHECK(SystemCertificates::isHashedFolder(folder.string()));
    CHECK_FALSE(SystemCertificates::isHashedFolder((root / "missing").string()));
    CHECK_FALSE(SystemCertificates::isHashedFolder(""));
}
