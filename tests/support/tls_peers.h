#pragma once
// TLS peers for the capture tests: certificates from a test CA made with
// the openssl program at test time, and stunnel4 as a TLS front for a
// loopback server (a scripted server or anything else that speaks TCP).

#include <cstdint>
#include <string>

#include "icecast_server.h"

namespace testsupport {

// PEM files (certificate and key in one file for the servers) in a folder.
struct TestCertificates
{
    std::string ca;         // the test CA's certificate: the file to trust
    std::string good;       // localhost and 127.0.0.1, signed by the CA
    std::string wrongHost;  // signed by the CA for another name only
    std::string expired;    // localhost, signed by the CA, expired a day ago
    std::string untrusted;  // localhost, self-signed (no CA the client knows)
};
// Makes them in dir with EC keys; false (and the log in dir) on failure.
bool makeTestCertificates(const std::string &dir, TestCertificates *out);

// stunnel4 on 127.0.0.1:port() presenting pem, forwarding each connection
// to 127.0.0.1:backendPort.
class TlsFront
{
public:
    TlsFront(std::string dir, std::string pem, uint16_t backendPort);
    ~TlsFront();
    bool start(int timeoutMs = 8000);
    uint16_t port() const { return port_; }

private:
    std::string dir_, pem_;
    uint16_t backendPort_;
    uint16_t port_;
    ChildProcess process_;
};

}  // namespace testsupport
