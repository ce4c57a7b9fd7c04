#ifndef TCORE_TESTS_SUPPORT_TESTCERTS_H
#define TCORE_TESTS_SUPPORT_TESTCERTS_H

// Certificates made for tests and benchmarks with OpenSSL: private
// authorities and host certificates, written as PEM files.

#include <string>

struct TestCert {
    std::string cert;  // PEM certificate file
    std::string key;   // PEM private key file
};

class TestPki {
public:
    // Files go into dir, which must exist.
    explicit TestPki(std::string dir) : dir_(std::move(dir)) {}

    // A self-signed authority named name.
    TestCert authority(const std::string& name);
    // A certificate named name for altNames ("DNS:localhost,IP:127.0.0.1"),
    // valid from now + fromDays to now + toDays, signed by issuer, or
    // self-signed when issuer.cert is empty.
    TestCert host(const std::string& name, const std::string& altNames, const TestCert& issuer, long fromDays = -1,
                  long toDays = 30);

private:
    std::string dir_;
};

#endif
