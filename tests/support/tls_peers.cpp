// Test CA, certificates and the stunnel4 front.
#include "tls_peers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <thread>
#include <vector>

namespace testsupport {

namespace {

bool openssl(const std::string &dir, const std::vector<std::string> &args)
{
    std::vector<std::string> argv{"openssl"};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProgram(argv, dir + "/openssl.log", 30000) == 0;
}

// A key and a certificate request for cn with the given names.
bool request(const std::string &dir, const std::string &stem, const std::string &cn)
{
    return openssl(dir,
                   {"req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                    dir + "/" + stem + ".key", "-out", dir + "/" + stem + ".csr", "-subj", "/CN=" + cn});
}

bool writeText(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

// cert + key in one PEM, readable by a server that dropped to nobody.
bool combine(const std::string &dir, const std::string &stem, std::string *pem)
{
    *pem = dir + "/" + stem + ".pem";
    const std::string text = readFile(dir + "/" + stem + ".crt") + readFile(dir + "/" + stem + ".key");
    if (!writeText(*pem, text))
        return false;
    ::chmod(pem->c_str(), 0644);
    return true;
}

bool signedByCa(const std::string &dir, const std::string &stem, const std::string &names, int days)
{
    const std::string ext = dir + "/" + stem + ".ext";
    return writeText(ext, "subjectAltName=" + names + "\n")
        && openssl(dir,
                   {"x509", "-req", "-in", dir + "/" + stem + ".csr", "-CA", dir + "/ca.crt", "-CAkey", dir + "/ca.key",
                    "-CAcreateserial", "-out", dir + "/" + stem + ".crt", "-days", std::to_string(days), "-extfile",
                    ext});
}

}  // namespace

bool makeTestCertificates(const std::string &dir, TestCertificates *out)
{
    ::chmod(dir.c_str(), 0755);
    const std::string local = "DNS:localhost,IP:127.0.0.1";
    if (!openssl(dir,
                 {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                  dir + "/ca.key", "-out", dir + "/ca.crt", "-days", "2", "-subj", "/CN=Loopback Test CA"}))
        return false;
    out->ca = dir + "/ca.crt";
    if (!request(dir, "good", "localhost") || !signedByCa(dir, "good", local, 2) || !combine(dir, "good", &out->good))
        return false;
    if (!request(dir, "wrong", "elsewhere.test") || !signedByCa(dir, "wrong", "DNS:elsewhere.test", 2)
        || !combine(dir, "wrong", &out->wrongHost))
        return false;
    if (!request(dir, "expired", "localhost") || !signedByCa(dir, "expired", local, -1)
        || !combine(dir, "expired", &out->expired))
        return false;
    const std::string self = dir + "/self";
    if (!openssl(dir,
                 {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                  self + ".key", "-out", self + ".crt", "-days", "2", "-subj", "/CN=localhost", "-addext",
                  "subjectAltName=" + local})
        || !combine(dir, "self", &out->untrusted))
        return false;
    return true;
}

TlsFront::TlsFront(std::string dir, std::string pem, uint16_t backendPort)
    : dir_(std::move(dir)),
      pem_(std::move(pem)),
      backendPort_(backendPort),
      port_(freeLoopbackPort())
{
}

TlsFront::~TlsFront()
{
    process_.stop(SIGTERM, 3000);
}

bool TlsFront::start(int timeoutMs)
{
    const std::string stem = dir_ + "/stunnel-" + std::to_string(port_);
    const std::string config = "foreground = yes\npid =\nsyslog = no\ndebug = 3\n"
                               "output = "
        + stem
        + ".log\n"
          "[front]\naccept = 127.0.0.1:"
        + std::to_string(port_) + "\nconnect = 127.0.0.1:" + std::to_string(backendPort_) + "\ncert = " + pem_ + "\n";
    if (!writeText(stem + ".conf", config))
        return false;
    if (!process_.start({"stunnel4", stem + ".conf"}, stem + ".out"))
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!process_.running())
            return false;
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port_);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool up = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
        if (fd >= 0)
            ::close(fd);
        if (up)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

}  // namespace testsupport
