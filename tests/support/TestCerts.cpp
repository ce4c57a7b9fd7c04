#include "support/TestCerts.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace {

struct KeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct CertFree {
    void operator()(X509* c) const { X509_free(c); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Cert = std::unique_ptr<X509, CertFree>;

Key newKey() { return Key(EVP_EC_gen("P-256")); }

void writePem(const std::string& path, EVP_PKEY* key, X509* cert) {
    FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr) throw std::runtime_error("cannot write " + path);
    const bool ok = key != nullptr ? PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr) == 1
                                   : PEM_write_X509(f, cert) == 1;
    std::fclose(f);
    if (!ok) throw std::runtime_error("cannot write " + path);
}

// Reads the one PEM object at path with read (PEM_read_PrivateKey, PEM_read_X509).
template <class Ptr, class Read>
Ptr readPem(const std::string& path, Read read) {
    FILE* f = std::fopen(path.c_str(), "r");
    if (f == nullptr) throw std::runtime_error("cannot read " + path);
    Ptr p(read(f, nullptr, nullptr, nullptr));
    std::fclose(f);
    return p;
}

void addExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
    if (ext == nullptr) throw std::runtime_error("bad extension " + value);
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

long serial = 1;

Cert newCert(const std::string& commonName, EVP_PKEY* key, long fromDays, long toDays) {
    Cert c(X509_new());
    X509_set_version(c.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(c.get()), serial++);
    X509_gmtime_adj(X509_getm_notBefore(c.get()), fromDays * 86400L);
    X509_gmtime_adj(X509_getm_notAfter(c.get()), toDays * 86400L);
    X509_set_pubkey(c.get(), key);
    X509_NAME* name = X509_get_subject_name(c.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName.c_str()),
                               -1, -1, 0);
    return c;
}

// Signs cert with signer; writes it and its key as dir/name.pem and dir/name.key.
TestCert signAndWrite(const std::string& dir, const std::string& name, X509* cert, EVP_PKEY* signer,
                      EVP_PKEY* key) {
    X509_sign(cert, signer, EVP_sha256());
    TestCert out{dir + "/" + name + ".pem", dir + "/" + name + ".key"};
    writePem(out.cert, nullptr, cert);
    writePem(out.key, key, nullptr);
    return out;
}

}  // namespace

TestCert TestPki::authority(const std::string& name) {
    Key key = newKey();
    Cert cert = newCert(name, key.get(), -1, 3650);
    X509_set_issuer_name(cert.get(), X509_get_subject_name(cert.get()));
    addExtension(cert.get(), cert.get(), NID_basic_constraints, "critical,CA:TRUE");
    addExtension(cert.get(), cert.get(), NID_key_usage, "critical,keyCertSign,cRLSign");
    return signAndWrite(dir_, name, cert.get(), key.get(), key.get());
}

TestCert TestPki::host(const std::string& name, const std::string& altNames, const TestCert& issuer, long fromDays,
                       long toDays) {
    Key key = newKey();
    Cert cert = newCert(name, key.get(), fromDays, toDays);
    Cert issuerCert;
    Key issuerKey;
    if (!issuer.cert.empty()) {
        issuerCert = readPem<Cert>(issuer.cert, PEM_read_X509);
        issuerKey = readPem<Key>(issuer.key, PEM_read_PrivateKey);
    }
    X509* signer = issuerCert ? issuerCert.get() : cert.get();
    X509_set_issuer_name(cert.get(), X509_get_subject_name(signer));
    addExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:FALSE");
    addExtension(cert.get(), signer, NID_ext_key_usage, "serverAuth,clientAuth");
    if (!altNames.empty()) addExtension(cert.get(), signer, NID_subject_alt_name, altNames);
    return signAndWrite(dir_, name, cert.get(), issuerKey ? issuerKey.get() : key.get(), key.get());
}
