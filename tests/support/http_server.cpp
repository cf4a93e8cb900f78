#include "tests/support/http_server.h"

#include <windows.h>

#include <sstream>

#include "tests/support/files.h"

namespace {

// The folder of the project's scripts, compiled in by the test build.
const char* const kToolsDir = VARNEL_TOOLS_DIR;
// A server outlives a crashed test by this much at most.
const int kServerLifetimeSeconds = 300;

std::string quoted(const std::string& text) { return "'" + text + "'"; }

bool waitForFile(const std::string& path, DWORD timeoutMs) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 20) {
        if (pathExists(path)) return true;
        Sleep(20);
    }
    return pathExists(path);
}

// Ends the process named by a pid file and waits until it has exited. The
// machine's init reaps orphans only now and then, so an exited server stays
// a zombie for a while: that counts as gone (its sockets are closed).
void stopProcess(const std::string& pidFile) {
    std::string pid = "$(cat " + quoted(unixPath(pidFile)) + " 2>/dev/null)";
    std::string alive = "ps -o stat= -p $p | grep -qv Z";
    runUnixCommand("p=" + pid + "; [ -z $p ] || { kill $p; for i in $(seq 250); do " + alive +
                   " || break; sleep 0.02; done; " + alive + " && kill -9 $p; true; }");
}

std::vector<std::string> lines(const std::string& path) {
    std::vector<std::string> result;
    std::istringstream in(readFile(path));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) result.push_back(line);
    }
    return result;
}

// Reads the JSON string whose opening quote is at `at`; the log is ASCII
// (non-ASCII arrives as \u escapes, kept as they are).
size_t readJsonString(const std::string& text, size_t at, std::string& out) {
    out.clear();
    for (size_t i = at + 1; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') return i + 1;
        if (c == '\\' && i + 1 < text.size()) {
            char next = text[++i];
            if (next == 'n') out += '\n';
            else if (next == 'r') out += '\r';
            else if (next == 't') out += '\t';
            else if (next == 'u') out += "\\u";
            else out += next;
        } else {
            out += c;
        }
    }
    return std::string::npos;
}

std::string jsonField(const std::string& line, const std::string& key) {
    size_t at = line.find("\"" + key + "\": \"");
    std::string value;
    if (at != std::string::npos) readJsonString(line, line.find('"', at + key.size() + 3), value);
    return value;
}

std::vector<std::pair<std::string, std::string>> jsonHeaders(const std::string& line) {
    std::vector<std::pair<std::string, std::string>> headers;
    size_t at = line.find("\"headers\": [");
    if (at == std::string::npos) return headers;
    at += 12;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == ',')) ++at;
        if (at >= line.size() || line[at] != '[') break;
        std::string name, value;
        at = readJsonString(line, line.find('"', at), name);
        if (at == std::string::npos) break;
        at = readJsonString(line, line.find('"', at), value);
        if (at == std::string::npos) break;
        headers.emplace_back(name, value);
        at = line.find(']', at) + 1;
    }
    return headers;
}

int countEvents(const std::string& logPath, const std::string& event) {
    int count = 0;
    for (const std::string& line : lines(logPath))
        if (line.find("\"event\": \"" + event + "\"") != std::string::npos) ++count;
    return count;
}

}  // namespace

std::string patternBytes(size_t size, int shift) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i + shift) % 251);
    return bytes;
}

TestHttpServer::TestHttpServer(const std::string& address, int port)
    : address_(address), port_(port) {
    folder_ = tempFolder() + "varnel_http_" + address + "_" + std::to_string(port) + "\\";
    root_ = folder_ + "root\\";
    removeTree(folder_.substr(0, folder_.size() - 1));
    makeFolders(root_.substr(0, root_.size() - 1));
}

TestHttpServer::~TestHttpServer() {
    stop();
    removeTree(folder_.substr(0, folder_.size() - 1));
}

bool TestHttpServer::start(const std::string& rulesJson, const std::string& options) {
    stop();
    for (const char* name : {"ready", "log.jsonl", "pid", "out.txt"})
        DeleteFileA((folder_ + name).c_str());
    writeFile(folder_ + "rules.json", rulesJson);
    std::string command = "(setsid /usr/bin/python3 " +
                          quoted(std::string(kToolsDir) + "/test_http_server.py") + " --bind " +
                          address_ + " --port " + std::to_string(port_) + " --root " +
                          quoted(unixPath(root_)) + " --log " +
                          quoted(unixPath(folder_ + "log.jsonl")) + " --ready " +
                          quoted(unixPath(folder_ + "ready")) + " --pid-file " +
                          quoted(unixPath(folder_ + "pid")) + " --rules " +
                          quoted(unixPath(folder_ + "rules.json")) + " --lifetime " +
                          std::to_string(kServerLifetimeSeconds) + " " + options +
                          " </dev/null >" + quoted(unixPath(folder_ + "out.txt")) + " 2>&1 &)";
    if (runUnixCommand(command) != 0) return false;
    running_ = waitForFile(folder_ + "ready", 10000);
    return running_;
}

void TestHttpServer::stop() {
    if (!running_) return;
    stopProcess(folder_ + "pid");
    running_ = false;
}

std::string TestHttpServer::url(const std::string& path) const {
    std::string host = address_;
    if (port_ != 80) host += ":" + std::to_string(port_);
    return "http://" + host + path;
}

std::vector<LoggedRequest> TestHttpServer::requests() const {
    std::vector<LoggedRequest> requests;
    for (const std::string& line : lines(folder_ + "log.jsonl")) {
        if (line.find("\"event\": \"request\"") == std::string::npos) continue;
        LoggedRequest request;
        request.method = jsonField(line, "method");
        request.path = jsonField(line, "path");
        request.userAgent = jsonField(line, "user_agent");
        request.headers = jsonHeaders(line);
        size_t time = line.find("\"time\": ");
        if (time != std::string::npos) request.time = atof(line.c_str() + time + 8);
        requests.push_back(request);
    }
    return requests;
}

int TestHttpServer::connections() const { return countEvents(folder_ + "log.jsonl", "connect"); }

int TestHttpServer::clientsGone() const {
    return countEvents(folder_ + "log.jsonl", "client-closed");
}

NginxServer::NginxServer(const std::string& address, const std::string& rootFolder)
    : address_(address), rootFolder_(rootFolder) {
    folder_ = tempFolder() + "varnel_nginx_" + address + "\\";
    removeTree(folder_.substr(0, folder_.size() - 1));
    makeFolders(folder_.substr(0, folder_.size() - 1));
}

NginxServer::~NginxServer() {
    stop();
    removeTree(folder_.substr(0, folder_.size() - 1));
}

bool NginxServer::start(const std::string& servers) {
    stop();
    std::string here = unixPath(folder_.substr(0, folder_.size() - 1));
    std::string root = unixPath(rootFolder_);
    if (!root.empty() && root.back() == '/') root.pop_back();
    std::string config =
        "daemon off;\n"
        "worker_processes 1;\n"
        // The served tree lies in the test Windows, which only root may read.
        "user root;\n"
        "pid " + here + "/nginx.pid;\n"
        "error_log " + here + "/error.log;\n"
        "events { worker_connections 64; }\n"
        "http {\n"
        "    default_type application/octet-stream;\n"
        "    access_log " + here + "/access.log combined;\n"
        "    client_body_temp_path " + here + "/body;\n"
        "    proxy_temp_path " + here + "/proxy;\n"
        "    fastcgi_temp_path " + here + "/fastcgi;\n"
        "    uwsgi_temp_path " + here + "/uwsgi;\n"
        "    scgi_temp_path " + here + "/scgi;\n" +
        (servers.empty() ? "    server {\n"
                           "        listen " + address_ + ":80;\n"
                           "        root ROOT;\n"
                           "    }\n"
                         : servers) +
        "}\n";
    for (size_t at = 0; (at = config.find("ROOT", at)) != std::string::npos; at += root.size())
        config.replace(at, 4, root);
    writeFile(folder_ + "nginx.conf", config);
    DeleteFileA((folder_ + "nginx.pid").c_str());
    std::string command = "(setsid /usr/sbin/nginx -p " + quoted(here + "/") + " -c " +
                          quoted(here + "/nginx.conf") + " -e " + quoted(here + "/error.log") +
                          " </dev/null >" + quoted(here + "/out.txt") + " 2>&1 &)";
    if (runUnixCommand(command) != 0) return false;
    // nginx writes its pid file after it has opened its listening sockets.
    running_ = waitForFile(folder_ + "nginx.pid", 10000);
    return running_;
}

void NginxServer::stop() {
    if (!running_) return;
    stopProcess(folder_ + "nginx.pid");
    running_ = false;
}

std::vector<std::string> NginxServer::accessLog() const { return lines(folder_ + "access.log"); }
