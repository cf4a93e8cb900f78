#include "download/download_set.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "download/watchdog.h"
#include "resources/resource.h"
#include "session/session.h"
#include "tests/download/fixture.h"
#include "tests/support/boxes.h"
#include "tests/support/files.h"
#include "tests/support/http_server.h"

namespace {

const char kSystemCabinetPath[] = "/programy/sys/setup_sys.cab";
const char kInstallerPath[] = "/programy/3_xx/tbrx/setup_tbrx_3_xx.exe";
const char kCabinetAPath[] = "/programy/3_xx/tbrx/setup_tbrx_3_xxa.cab";

// Update server 2 of the test build, laid out as the update server contract
// wants it, and the working tree's download folder.
class DownloadSet : public DownloadTest {
protected:
    void SetUp() override {
        DownloadTest::SetUp();  // serverIndex 2: every address names 127.0.0.12
        work = tempFolder() + "varnel_set_test";
        removeTree(work);
        makeFolders(work + "\\instalacja");
        strcpy(session.downloadFolder, (work + "\\instalacja\\").c_str());
        makeFolders(server.root() + "programy\\sys");
        makeFolders(server.root() + "programy\\3_xx\\tbrx");
    }
    void TearDown() override {
        DownloadTest::TearDown();
        removeTree(work);
    }
    // Bodies of the three files; one left empty is not served (404).
    void serve(const std::string& installer, const std::string& systemCabinet,
               const std::string& cabinetA) {
        if (!installer.empty()) writeFile(served(kInstallerPath), installer);
        if (!systemCabinet.empty()) writeFile(served(kSystemCabinetPath), systemCabinet);
        if (!cabinetA.empty()) writeFile(served(kCabinetAPath), cabinetA);
    }
    std::string served(const std::string& path) {
        std::string file = server.root() + path.substr(1);
        for (char& c : file)
            if (c == '/') c = '\\';
        return file;
    }
    std::vector<std::string> requestedPaths() const {
        std::vector<std::string> paths;
        for (const LoggedRequest& request : server.requests()) {
            EXPECT_EQ(request.method, "GET");
            EXPECT_EQ(request.userAgent, "Varnel");
            paths.push_back(request.path);
        }
        return paths;
    }
    static void expectOneBox(const BoxRecorder& boxes, const std::string& text) {
        ASSERT_EQ(boxes.boxes().size(), 1u);
        EXPECT_EQ(boxes.boxes()[0].title, u8"Instalacja programu Tabrix Kalk");
        EXPECT_EQ(boxes.boxes()[0].text, text);
    }
    std::string downloaded(const char* name) const {
        return readFile(std::string(session.downloadFolder) + name);
    }

    std::string work;
    TestHttpServer server{"127.0.0.12", 80};
};

}  // namespace

TEST_F(DownloadSet, SizesOfThreeAndTwoPointSixMegabytesShowSixMegabytes) {
    serve("MZ", std::string(3 * 1048576, 'S'), std::string(2726298, 'A'));
    ASSERT_TRUE(server.start());
    ProgressWindow window;
    BoxRecorder boxes;

    EXPECT_EQ(queryRemoteSizes(), 1);
    EXPECT_TRUE(boxes.boxes().empty());
    EXPECT_FLOAT_EQ(session.remoteTotalBytes, 5872026.0f);
    EXPECT_EQ(window.textsOf(IDC_STATUS),
              std::vector<std::string>{u8"Pobieranie informacji o plikach ..."});
    EXPECT_TRUE(window.visible(IDC_STATUS));
    EXPECT_EQ(window.textsOf(IDC_SIZE_TEXT), std::vector<std::string>{"z 6 MB"});
    EXPECT_TRUE(window.visible(IDC_SIZE_TEXT));
    EXPECT_FALSE(window.visible(IDC_PERCENT));
    std::string unpainted;
    EXPECT_TRUE(window.everyTextRepainted(&unpainted)) << unpainted;
    EXPECT_EQ(requestedPaths(), (std::vector<std::string>{kSystemCabinetPath, kCabinetAPath}));
}

TEST_F(DownloadSet, TotalBelowHalfAMegabyteShowsZeroMegabytes) {
    serve("MZ", std::string(1000, 'S'), std::string(2000, 'A'));
    ASSERT_TRUE(server.start());
    ProgressWindow window;
    EXPECT_EQ(queryRemoteSizes(), 1);
    EXPECT_EQ(window.textOf(IDC_SIZE_TEXT), "z 0 MB");
    EXPECT_TRUE(window.visible(IDC_SIZE_TEXT));
}

TEST_F(DownloadSet, AnswerWithoutANumericLengthFailsTheSizeStep) {
    // The system cabinet is named by its file name, the a-cabinet by its
    // whole address.
    std::string cabinetAUrl = "http://127.0.0.12/programy/3_xx/tbrx/setup_tbrx_3_xxa.cab";
    struct Case {
        const char* rules;
        const char* subject;
        std::vector<std::string> paths;
    };
    const Case cases[] = {
        {R"({"/programy/sys/setup_sys.cab": {"mode": "chunked"}})", "setup_sys.cab",
         {kSystemCabinetPath}},
        {R"({"/programy/3_xx/tbrx/setup_tbrx_3_xxa.cab": {"mode": "chunked"}})",
         cabinetAUrl.c_str(), {kSystemCabinetPath, kCabinetAPath}},
        {R"({"/programy/3_xx/tbrx/setup_tbrx_3_xxa.cab": {"mode": "close"}})",
         cabinetAUrl.c_str(), {kSystemCabinetPath, kCabinetAPath}},
    };
    serve("MZ", std::string(5000, 'S'), std::string(7000, 'A'));
    for (const Case& item : cases) {
        SCOPED_TRACE(item.rules);
        ASSERT_TRUE(server.start(item.rules));
        ProgressWindow window;
        BoxRecorder boxes;
        EXPECT_EQ(queryRemoteSizes(), 0);
        expectOneBox(boxes, u8"Nie można pobrać rozmiaru pliku zdalnego " +
                                std::string(item.subject));
        EXPECT_EQ(requestedPaths(), item.paths);
        // The row keeps the last text written; the size is never shown.
        EXPECT_EQ(window.textOf(IDC_STATUS), u8"Pobieranie informacji o plikach ...");
        EXPECT_TRUE(window.textsOf(IDC_SIZE_TEXT).empty());
        EXPECT_FALSE(window.visible(IDC_SIZE_TEXT));
    }
}

TEST_F(DownloadSet, UnreachableOrSilentServerFailsTheSizeStepWithTheOpenMessage) {
    std::string message = u8"Nie można otworzyć pliku zdalnego http://127.0.0.12" +
                          std::string(kSystemCabinetPath);
    {
        BoxRecorder boxes;
        EXPECT_EQ(queryRemoteSizes(), 0);  // nothing listens
        expectOneBox(boxes, message);
    }
    silenceLimitMs = 1500;
    ASSERT_TRUE(server.start(R"({"*": {"mode": "silent"}})"));
    BoxRecorder boxes;
    DWORD start = GetTickCount();
    EXPECT_EQ(queryRemoteSizes(), 0);
    DWORD elapsed = since(start);
    EXPECT_LE(elapsed, silenceLimitMs + 1500);
    expectOneBox(boxes, message);
    server.stop();
    EXPECT_TRUE(helpersBackToStart(10000));
}

TEST_F(DownloadSet, MissingACabinetAnsweredWithALengthIsCountedFetchedAndStored) {
    serve(patternBytes(3000), patternBytes(5000), "");
    ASSERT_TRUE(server.start());
    ProgressWindow window;
    BoxRecorder boxes;
    ASSERT_EQ(queryRemoteSizes(), 1);
    window.showPercent();
    EXPECT_EQ(downloadSet(), 1);
    EXPECT_TRUE(boxes.boxes().empty());
    std::string page = downloaded("setup_tbrx_3_xxa.cab");
    EXPECT_NE(page.find("404 Not Found"), std::string::npos) << page;
    // The error page's length was counted into the total.
    EXPECT_FLOAT_EQ(session.remoteTotalBytes, static_cast<float>(5000 + page.size()));
    // Sent without a length, a page is not bound to the length measured.
    ASSERT_TRUE(server.start(R"({"/programy/3_xx/tbrx/setup_tbrx_3_xxa.cab":
        [{}, {"mode": "status", "length": false, "body": "<p>404 Not Found</p>"}]})"));
    ASSERT_EQ(queryRemoteSizes(), 1);
    EXPECT_EQ(downloadSet(), 1);
    EXPECT_TRUE(boxes.boxes().empty());
    EXPECT_EQ(downloaded("setup_tbrx_3_xxa.cab"), "<p>404 Not Found</p>");
}

TEST_F(DownloadSet, CompleteSetArrivesInOrderAndClosesTheProgressRow) {
    std::string installer = patternBytes(30000), systemCabinet = patternBytes(100000),
                cabinetA = patternBytes(50001);
    serve(installer, systemCabinet, cabinetA);
    ASSERT_TRUE(server.start());
    ProgressWindow window;
    BoxRecorder boxes;
    ASSERT_EQ(queryRemoteSizes(), 1);
    window.showPercent();

    EXPECT_EQ(downloadSet(), 1);
    EXPECT_TRUE(boxes.boxes().empty());
    EXPECT_EQ(listFolder(work + "\\instalacja"),
              "setup_sys.cab setup_tbrx_3_xx.exe setup_tbrx_3_xxa.cab");
    EXPECT_TRUE(downloaded("setup_tbrx_3_xx.exe") == installer);
    EXPECT_TRUE(downloaded("setup_sys.cab") == systemCabinet);
    EXPECT_TRUE(downloaded("setup_tbrx_3_xxa.cab") == cabinetA);
    EXPECT_EQ(std::string(session.installerPath),
              std::string(session.downloadFolder) + "setup_tbrx_3_xx.exe");
    EXPECT_EQ(std::string(session.systemCabinetPath),
              std::string(session.downloadFolder) + "setup_sys.cab");
    EXPECT_EQ(std::string(session.cabinetAPath),
              std::string(session.downloadFolder) + "setup_tbrx_3_xxa.cab");
    // Sizes first, then the set in its order.
    EXPECT_EQ(requestedPaths(),
              (std::vector<std::string>{kSystemCabinetPath, kCabinetAPath, kInstallerPath,
                                        kSystemCabinetPath, kCabinetAPath}));

    EXPECT_EQ(window.textsOf(IDC_STATUS),
              (std::vector<std::string>{u8"Plik : setup_tbrx_3_xx.exe", u8"Plik : setup_sys.cab",
                                        u8"Plik : setup_tbrx_3_xxa.cab",
                                        u8"Zamykanie połączenia"}));
    // The transfers' percentages rise by whole points and stop at 100; the
    // set's own closing "100" follows.
    std::vector<std::string> percents = window.textsOf(IDC_PERCENT);
    ASSERT_GE(percents.size(), 3u);
    EXPECT_EQ(percents.back(), "100");
    int previous = 0;
    for (size_t i = 0; i + 1 < percents.size(); ++i) {
        int value = std::atoi(percents[i].c_str());
        EXPECT_EQ(std::to_string(value), percents[i]);
        EXPECT_GT(value, previous) << "write " << i;
        EXPECT_LE(value, 100);
        previous = value;
    }
    EXPECT_EQ(previous, 100);  // 180001 bytes received against 150001 measured
    EXPECT_EQ(window.textOf(IDC_PERCENT), "100");
    EXPECT_FALSE(window.visible(IDC_PERCENT_SIGN));
    EXPECT_FALSE(window.visible(IDC_PERCENT));
    EXPECT_FALSE(window.visible(IDC_SIZE_TEXT));
    EXPECT_TRUE(window.visible(IDC_STATUS));
    EXPECT_EQ(window.textOf(IDC_STATUS), u8"Zamykanie połączenia");
    std::string unpainted;
    EXPECT_TRUE(window.everyTextRepainted(&unpainted)) << unpainted;
}

TEST_F(DownloadSet, CabinetSentWithoutALengthMustBringTheMeasuredOne) {
    // Measured at 50 001 bytes, then sent chunked and closed mid-chunk: a
    // cut, which a range from the byte it stopped at completes.
    serve("MZ", patternBytes(5000), patternBytes(50001));
    ASSERT_TRUE(server.start(R"({"/programy/3_xx/tbrx/setup_tbrx_3_xxa.cab":
        [{"headers": {"ETag": "\"a\""}},
         {"mode": "chunked", "send": 20500, "headers": {"ETag": "\"a\""}},
         {"headers": {"ETag": "\"a\""}}]})"));
    BoxRecorder boxes;
    ASSERT_EQ(queryRemoteSizes(), 1);
    EXPECT_EQ(downloadSet(), 1);
    EXPECT_TRUE(boxes.boxes().empty());
    EXPECT_TRUE(downloaded("setup_tbrx_3_xxa.cab") == patternBytes(50001));
    EXPECT_EQ(server.requests().size(), 6u);
}

TEST_F(DownloadSet, FailureOnTheSetupProgramFetchesNoCabinet) {
    serve("", patternBytes(5000), patternBytes(6000));
    ASSERT_TRUE(server.start(
        R"({"/programy/3_xx/tbrx/setup_tbrx_3_xx.exe": {"mode": "reset", "size": 20000,
                                                         "after": 1000}})"));
    ProgressWindow window;
    BoxRecorder boxes;
    ASSERT_EQ(queryRemoteSizes(), 1);
    window.showPercent();

    EXPECT_EQ(downloadSet(), 0);
    expectOneBox(boxes, u8"Nie można pobrać do bufora z pliku " +
                            std::string(session.installerUrl));
    // The setup program asked for four times (three retries), no cabinet.
    EXPECT_EQ(requestedPaths(),
              (std::vector<std::string>{kSystemCabinetPath, kCabinetAPath, kInstallerPath,
                                        kInstallerPath, kInstallerPath, kInstallerPath}));
    // Only the partial setup program: no cabinet was fetched.
    EXPECT_EQ(listFolder(work + "\\instalacja"), "setup_tbrx_3_xx.exe");
    EXPECT_EQ(window.textsOf(IDC_STATUS),
              (std::vector<std::string>{u8"Plik : setup_tbrx_3_xx.exe",
                                        u8"Zamykanie połączenia"}));
    EXPECT_EQ(window.textOf(IDC_STATUS), u8"Zamykanie połączenia");
    EXPECT_TRUE(window.visible(IDC_PERCENT));  // only a complete set closes the row
}

TEST_F(DownloadSet, TargetPathBeyondTheLimitIsRefusedWithoutARequest) {
    serve("MZ", "S", "A");
    ASSERT_TRUE(server.start());
    // 245 characters of folder: the folder fits, folder and name (264) do not.
    std::string folder = "C:\\" + std::string(241, 'd') + "\\";
    strcpy(session.downloadFolder, folder.c_str());
    BoxRecorder boxes;
    EXPECT_EQ(downloadSet(), 0);
    expectOneBox(boxes, u8"Nie można utworzyć pliku lokalnego " + folder + "setup_tbrx_3_xx.exe");
    EXPECT_TRUE(server.requests().empty());
}
