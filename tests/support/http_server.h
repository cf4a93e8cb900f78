// Loopback HTTP servers run as Linux processes for a test: the scriptable
// tools/test_http_server.py, and a real nginx.
#ifndef VARNEL_TESTS_SUPPORT_HTTP_SERVER_H
#define VARNEL_TESTS_SUPPORT_HTTP_SERVER_H

#include <string>
#include <utility>
#include <vector>

// One request as the server logged it.
struct LoggedRequest {
    std::string method;
    std::string path;
    std::string userAgent;
    std::vector<std::pair<std::string, std::string>> headers;  // in arrival order
    double time = 0;  // when it arrived, in seconds since 1970
};

// tools/test_http_server.py on one address and port. The files it serves
// are written by the test under root(); per-path behaviours come as a JSON
// object text (see the script). Stopped by the destructor at the latest; the
// server also ends by itself after its lifetime.
class TestHttpServer {
public:
    TestHttpServer(const std::string& address, int port);
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    // Starts it and waits until it listens; false when it did not.
    // `options` are extra command-line words (for example "--drop-syns").
    bool start(const std::string& rulesJson = "{}", const std::string& options = "");
    void stop();

    // The Windows folder it serves (ends with a backslash).
    const std::string& root() const { return root_; }
    // "http://address[:port]" + path.
    std::string url(const std::string& path) const;
    std::vector<LoggedRequest> requests() const;
    // Connections it accepted, with or without a request.
    int connections() const;
    // Connections whose client went away while the server held them open
    // in silence (the "silent" and "stall" behaviours).
    int clientsGone() const;

private:
    std::string address_;
    int port_;
    std::string folder_;
    std::string root_;
    bool running_ = false;
};

// nginx serving `rootFolder` (a Windows folder) on address:80, with its
// configuration, pid, logs and temporary folders in a folder of its own.
class NginxServer {
public:
    NginxServer(const std::string& address, const std::string& rootFolder);
    ~NginxServer();
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    // Serves rootFolder on address:80; or, with `servers`, runs with those
    // server blocks instead (ROOT in them stands for rootFolder).
    bool start(const std::string& servers = "");
    void stop();
    // The access log: one line per request, with the request line and the
    // User-Agent.
    std::vector<std::string> accessLog() const;

private:
    std::string address_;
    std::string rootFolder_;
    std::string folder_;
    bool running_ = false;
};

// Writes `size` bytes of the server's pattern ((i + shift) % 251) so that a
// test can compare what arrived with what was served.
std::string patternBytes(size_t size, int shift = 0);

#endif
