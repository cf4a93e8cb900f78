// The whole download road against a real static web server laid out as the
// update server contract wants it, with update server 1 down.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "download/download_set.h"
#include "download/probe.h"
#include "session/session.h"
#include "session/variants.h"
#include "tests/download/fixture.h"
#include "tests/support/boxes.h"
#include "tests/support/files.h"
#include "tests/support/http_server.h"

namespace {

class DownloadNginx : public DownloadTest {
protected:
    void SetUp() override {
        DownloadTest::SetUp();
        prepareSession(1);
        tree = tempFolder() + "varnel_nginx_tree";
        downloads = tempFolder() + "varnel_nginx_download";
        removeTree(tree);
        removeTree(downloads);
        makeFolders(tree + "\\programy\\sys");
        makeFolders(tree + "\\programy\\3_xx\\tbrx");
        makeFolders(downloads);
    }
    void TearDown() override {
        DownloadTest::TearDown();
        removeTree(tree);
        removeTree(downloads);
    }
    std::string tree, downloads;
};

}  // namespace

TEST_F(DownloadNginx, ProbeSizesAndSetAgainstNginxOnUpdateServerTwo) {
    std::string installer = patternBytes(40000), systemCabinet = patternBytes(120000),
                cabinetA = patternBytes(70000);
    writeFile(tree + "\\programy\\setup_sys.cab", "MSCF");
    writeFile(tree + "\\programy\\sys\\setup_sys.cab", systemCabinet);
    writeFile(tree + "\\programy\\3_xx\\tbrx\\setup_tbrx_3_xx.exe", installer);
    writeFile(tree + "\\programy\\3_xx\\tbrx\\setup_tbrx_3_xxa.cab", cabinetA);
    NginxServer nginx("127.0.0.12", tree);
    ASSERT_TRUE(nginx.start());
    BoxRecorder boxes;

    ASSERT_EQ(probeUpdateServers(), 1);  // nothing listens on update server 1
    EXPECT_EQ(session.serverIndex, 2);
    configureVariant();
    strcpy(session.downloadFolder, (downloads + "\\").c_str());
    ASSERT_EQ(queryRemoteSizes(), 1);
    EXPECT_FLOAT_EQ(session.remoteTotalBytes, 190000.0f);
    ASSERT_EQ(downloadSet(), 1);
    EXPECT_TRUE(boxes.boxes().empty());
    EXPECT_TRUE(readFile(downloads + "\\setup_tbrx_3_xx.exe") == installer);
    EXPECT_TRUE(readFile(downloads + "\\setup_sys.cab") == systemCabinet);
    EXPECT_TRUE(readFile(downloads + "\\setup_tbrx_3_xxa.cab") == cabinetA);

    nginx.stop();
    std::vector<std::string> log = nginx.accessLog();
    const char* const paths[] = {"/programy/setup_sys.cab", "/programy/sys/setup_sys.cab",
                                 "/programy/3_xx/tbrx/setup_tbrx_3_xxa.cab",
                                 "/programy/3_xx/tbrx/setup_tbrx_3_xx.exe",
                                 "/programy/sys/setup_sys.cab",
                                 "/programy/3_xx/tbrx/setup_tbrx_3_xxa.cab"};
    ASSERT_EQ(log.size(), 6u);
    for (size_t i = 0; i < log.size(); ++i) {
        SCOPED_TRACE(log[i]);
        EXPECT_NE(log[i].find("\"GET " + std::string(paths[i]) + " HTTP/1.1\" 200 "),
                  std::string::npos);
        EXPECT_EQ(log[i].substr(log[i].size() - 8), "\"Varnel\"");
    }
}
