// Update servers over HTTPS: the certificate is checked by the system, and a
// server it does not trust is one that cannot be reached. The test programs
// trust the test authority of tools/test-env.sh; nothing else does.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "download/probe.h"
#include "download/transfer.h"
#include "session/session.h"
#include "session/variants.h"
#include "tests/download/fixture.h"
#include "tests/support/boxes.h"
#include "tests/support/files.h"
#include "tests/support/http_server.h"

namespace {

class Https : public DownloadTest {
protected:
    static void SetUpTestSuite() {
        // Made by tools/test-env.sh; the test programs trust its authority.
        char folder[MAX_PATH];
        DWORD length = GetEnvironmentVariableA("VARNEL_TEST_CERTS", folder, MAX_PATH);
        if (length > 0 && length < MAX_PATH) certificates = folder;
    }
    void SetUp() override {
        if (certificates.empty()) FAIL() << "no test authority (see tools/test-env.sh)";
        DownloadTest::SetUp();
        prepareSession(1);
        updateScheme = "https://";
        tree = tempFolder() + "varnel_https_tree";
        removeTree(tree);
        makeFolders(tree + "\\programy");
        writeFile(tree + "\\programy\\setup_sys.cab", patternBytes(70000));
    }
    void TearDown() override {
        updateScheme = "http://";
        DownloadTest::TearDown();
        removeTree(tree);
    }
    // Server 1 on 127.0.0.11 with the named certificate (also on port 80,
    // to see that plain HTTP is never tried), server 2 on 127.0.0.12 with
    // the good one.
    bool startServers(NginxServer& nginx, const std::string& firstCertificate) {
        const std::string& folder = certificates;
        auto block = [&](const std::string& address, const std::string& name) {
            return "    server {\n        listen " + address + ":443 ssl;\n" +
                   "        ssl_certificate " + folder + "/" + name + ".pem;\n" +
                   "        ssl_certificate_key " + folder + "/" + name + ".key;\n" +
                   "        root ROOT;\n    }\n";
        };
        return nginx.start(block("127.0.0.11", firstCertificate) + block("127.0.0.12", "good") +
                           "    server {\n        listen 127.0.0.11:80;\n        root ROOT;\n"
                           "    }\n");
    }
    static std::string certificates;  // a Linux path
    std::string tree;
};

std::string Https::certificates;

}  // namespace

TEST_F(Https, ServerWithACertificateTheSystemDoesNotTrustIsPassedOver) {
    for (const char* certificate : {"stray", "wrong"}) {
        SCOPED_TRACE(certificate);
        NginxServer nginx("127.0.0.11", tree);
        ASSERT_TRUE(startServers(nginx, certificate));
        BoxRecorder boxes;
        EXPECT_EQ(probeUpdateServers(), 1);
        EXPECT_EQ(session.serverIndex, 2);
        EXPECT_TRUE(boxes.boxes().empty());
        // Only server 2's answer: nothing reached server 1, over TLS or not.
        std::vector<std::string> log = nginx.accessLog();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_NE(log[0].find("GET /programy/setup_sys.cab"), std::string::npos) << log[0];
    }
}

TEST_F(Https, TrustedServerDeliversTheFileAndAnUntrustedOneCannotBeOpened) {
    NginxServer nginx("127.0.0.11", tree);
    ASSERT_TRUE(startServers(nginx, "stray"));
    std::string local = tempFolder() + "varnel_https_file.cab";
    BoxRecorder boxes;
    EXPECT_EQ(downloadFile("https://127.0.0.12/programy/setup_sys.cab", local.c_str(), "f"), 1);
    EXPECT_TRUE(readFile(local) == patternBytes(70000));
    EXPECT_TRUE(boxes.boxes().empty());

    EXPECT_EQ(downloadFile("https://127.0.0.11/programy/setup_sys.cab", local.c_str(), "f"), 0);
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text,
              u8"Nie można otworzyć pliku zdalnego https://127.0.0.11/programy/setup_sys.cab");
    EXPECT_EQ(nginx.accessLog().size(), 1u);
    DeleteFileA(local.c_str());
}
