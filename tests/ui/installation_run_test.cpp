// Installations of the real varnel_setup.exe through its dialog, from the
// internet and from local files, to the started installer.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "resources/resource.h"
#include "tests/support/boxes.h"
#include "tests/support/files.h"
#include "tests/support/http_server.h"
#include "tests/support/install_fixtures.h"
#include "tests/support/wine_registry.h"

namespace {

class InstallationRun : public ::testing::Test {
protected:
    void SetUp() override {
        start = tempFolder() + "varnel_install from here";
        removeTree(start);
        makeFolders(start);
        system.clear();
        clearStandinLogs();
    }
    void TearDown() override { removeTree(start); }
    ProgramRun run(RunOptions options) {
        return runProgram("\"" + program + "\"", start, std::move(options));
    }
    std::string encodedStart() const {
        std::string encoded = start;
        for (char& c : encoded)
            if (c == ' ') c = '?';
        return encoded + "\\";
    }
    std::string start, program = programFolder() + "varnel_setup.exe";
    SystemFolderGuard system;
};

std::string text(HWND dialog, int id) { return windowText(GetDlgItem(dialog, id)); }

// The run's log, line by line: every line time-stamped, none overlong.
std::vector<std::string> logLines(const std::string& name = "varnel_setup.log") {
    std::string all = readFile(tempFolder() + name);
    std::vector<std::string> lines;
    for (size_t at = 0, end; at < all.size(); at = end + 2) {
        end = all.find("\r\n", at);
        if (end == std::string::npos) end = all.size();
        lines.push_back(all.substr(at, end - at));
        EXPECT_LE(lines.back().size(), 1100u);
        EXPECT_EQ(lines.back().substr(0, 2), "20") << lines.back();
    }
    return lines;
}

// Each piece is found in a line after the line of the piece before it.
void expectInOrder(const std::vector<std::string>& lines, const std::vector<std::string>& pieces) {
    size_t line = 0;
    for (const std::string& piece : pieces) {
        while (line < lines.size() && lines[line].find(piece) == std::string::npos) ++line;
        EXPECT_LT(line, lines.size()) << "not found in order: " << piece;
        if (line == lines.size()) return;
        ++line;
    }
}
// The control's own visibility: the dialog itself is hidden as it ends.
bool shown(HWND dialog, int id) {
    return (GetWindowLongW(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0;
}

// The bottom row as the user sees it at one moment.
struct RowState {
    bool buttons, status, percent, sign, size;
    std::string statusText, percentText, sizeText;
    bool operator==(const RowState& o) const {
        return buttons == o.buttons && status == o.status && percent == o.percent &&
               sign == o.sign && size == o.size && statusText == o.statusText &&
               percentText == o.percentText && sizeText == o.sizeText;
    }
};

RowState readRow(HWND dialog) {
    return {shown(dialog, IDC_START) || shown(dialog, IDC_CANCEL_INSTALL),
            shown(dialog, IDC_STATUS),
            shown(dialog, IDC_PERCENT),
            shown(dialog, IDC_PERCENT_SIGN),
            shown(dialog, IDC_SIZE_TEXT),
            text(dialog, IDC_STATUS),
            text(dialog, IDC_PERCENT),
            text(dialog, IDC_SIZE_TEXT)};
}

// Watches the row of a dialog in another process until the dialog is gone.
// Reading another process's control texts asks the window manager, not the
// busy dialog thread, so the watch never waits for the run.
class RowWatch {
public:
    // The first state is read before the constructor returns, so that the
    // row as it was before the test's click is always among the states.
    explicit RowWatch(HWND dialog)
        : states_{readRow(dialog)}, watcher_([this, dialog] {
              while (IsWindow(dialog)) {
                  RowState state = readRow(dialog);
                  // A dialog being destroyed loses its controls first.
                  bool whole = IsWindow(dialog) && GetDlgItem(dialog, IDC_STATUS) != NULL &&
                               GetDlgItem(dialog, IDC_START) != NULL &&
                               GetDlgItem(dialog, IDC_SIZE_TEXT) != NULL;
                  if (whole && (states_.empty() || !(states_.back() == state)))
                      states_.push_back(state);
                  Sleep(1);
              }
          }) {}
    ~RowWatch() { finish(); }
    void finish() {
        if (watcher_.joinable()) watcher_.join();
    }
    const std::vector<RowState>& states() const { return states_; }

private:
    std::vector<RowState> states_;
    std::thread watcher_;
};

}  // namespace

TEST_F(InstallationRun, FromUpdateServerTwoToTheStartedInstaller) {
    // Server 1 is down, server 2 serves the tree; msvcr71.dll (and all the
    // others) are missing from the system folder.
    TestHttpServer server2("127.0.0.12", 80);
    ASSERT_TRUE(makeServerTree(server2.root()));
    // The a-cabinet arrives slowly, so the progress row can be watched.
    ASSERT_TRUE(server2.start(
        R"({"/programy/3_xx/tbrx/setup_tbrx_3_xxa.cab": {"mode": "trickle", "step": 20000, "interval": 0.05}})"));

    std::unique_ptr<RowWatch> watch;
    std::string title, note;
    bool localBox = true, skipChecked = true, endAnswered = false;
    DWORD_PTR endBefore = 0, endDuring = 1;
    // Started from a downloads folder that also holds someone's wininet.dll
    // and cabinet.dll, with the search order of Windows (Wine would prefer
    // its own): neither may ever be loaded, not even before the first line.
    std::string downloads = tempFolder() + "varnel_downloads\\";
    removeTree(downloads);
    makeFolders(downloads);
    program = downloads + "varnel_setup.exe";
    ASSERT_TRUE(CopyFileA((programFolder() + "varnel_setup.exe").c_str(), program.c_str(), FALSE));
    for (const char* name : {"wininet.dll", "cabinet.dll"})
        ASSERT_TRUE(CopyFileA((programFolder() + "planted_probe.dll").c_str(),
                              (downloads + name).c_str(), FALSE));
    searchLikeWindowsFor("varnel_setup.exe", {"wininet", "cabinet"});
    RunOptions options;
    options.onDialog = [&](HWND dialog) {
        title = windowText(dialog);
        note = text(dialog, IDC_SOURCE_NOTE);
        localBox = shown(dialog, IDC_LOCAL_RUN);
        skipChecked = SendMessageW(GetDlgItem(dialog, IDC_SKIP_LIBRARIES), BM_GETCHECK, 0, 0) ==
                      BST_CHECKED;
        watch.reset(new RowWatch(dialog));
        // A logoff is let through before a step and refused in one.
        SendMessageTimeoutW(dialog, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 10000,
                            &endBefore);
        PostMessageW(GetDlgItem(dialog, IDC_START), BM_CLICK, 0, 0);
        for (int i = 0; i < 1000 && text(dialog, IDC_STATUS) != "Plik : setup_tbrx_3_xxa.cab"; ++i)
            Sleep(10);
        endAnswered = SendMessageTimeoutW(dialog, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF,
                                          SMTO_NORMAL, 10000, &endDuring) != 0;
    };
    ProgramRun result = run(std::move(options));
    searchLikeWindowsFor("varnel_setup.exe", {});
    EXPECT_EQ(readFile(downloads + "planted_loads.log"), "");
    ASSERT_TRUE(watch != nullptr);
    watch->finish();  // the dialog has gone
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_TRUE(result.boxes.empty()) << result.boxes[0].text;

    EXPECT_EQ(title, u8"Instalacja programu Tabrix Kalk wersja 3.xx");
    EXPECT_NE(note.find("\n127.0.0.12.\n"), std::string::npos) << note;
    EXPECT_FALSE(localBox);
    EXPECT_FALSE(skipChecked);
    EXPECT_EQ(endBefore, 1u);
    EXPECT_TRUE(endAnswered);
    EXPECT_EQ(endDuring, 0u);

    // Probe, sizes, then the set: setup program, system cabinet, a-cabinet.
    std::vector<LoggedRequest> requests = server2.requests();
    std::vector<std::string> paths;
    for (const LoggedRequest& request : requests) {
        paths.push_back(request.method + " " + request.path);
        EXPECT_EQ(request.userAgent, "Varnel");
    }
    EXPECT_EQ(paths, (std::vector<std::string>{
                         "GET /programy/setup_sys.cab", "GET /programy/sys/setup_sys.cab",
                         "GET /programy/3_xx/tbrx/setup_tbrx_3_xxa.cab",
                         "GET /programy/3_xx/tbrx/setup_tbrx_3_xx.exe",
                         "GET /programy/sys/setup_sys.cab",
                         "GET /programy/3_xx/tbrx/setup_tbrx_3_xxa.cab"}));

    // The progress row: buttons gone, the file named with its percentage
    // and the size, the percentage only rising, and at the end the row put
    // away with the library step's text.
    const std::vector<RowState>& states = watch->states();
    ASSERT_GE(states.size(), 3u);
    EXPECT_TRUE(states.front().buttons);
    EXPECT_FALSE(states.front().status || states.front().percent || states.front().size);
    bool sawDownload = false, percentOnlyRose = true;
    int lastPercent = -1;
    for (const RowState& state : states) {
        if (!state.buttons && state.status && state.percent && state.sign && state.size &&
            state.statusText == "Plik : setup_tbrx_3_xxa.cab" &&
            state.sizeText.substr(0, 2) == "z " &&
            state.sizeText.substr(state.sizeText.size() - 3) == " MB")
            sawDownload = true;
        if (state.percent) {
            int percent = atoi(state.percentText.c_str());
            if (percent < lastPercent || percent > 100) percentOnlyRose = false;
            lastPercent = percent;
        }
    }
    EXPECT_TRUE(sawDownload);
    EXPECT_TRUE(percentOnlyRose);
    const RowState& last = states.back();
    EXPECT_FALSE(last.buttons || last.percent || last.sign || last.size);
    EXPECT_TRUE(last.status);
    EXPECT_EQ(last.statusText, u8"Kopiowanie plików ...");
    for (const char* name : kLibraryNames) EXPECT_TRUE(pathExists(systemFolderPath() + name)) << name;
    EXPECT_EQ(waitForLogLines("varnel_regsvr.log", 6).size(), 6u);
    std::vector<std::string> started = waitForLogLines("varnel_installer.log", 1);
    ASSERT_EQ(started.size(), 1u);
    std::string installerLine = tempFolder() + "varnel\\start\\instbrx.exe  I " + encodedStart() + " ";
    EXPECT_EQ(started[0].substr(started[0].find('|') + 1), installerLine);

    // The log tells the same story, in order.
    const std::string a = "http://127.0.0.12/programy/3_xx/tbrx/setup_tbrx_3_xxa.cab";
    expectInOrder(logLines(),
                  {"varnel_setup 3.xx, variant L, Windows ", "command line: ", "rights: administrator yes",
                   "folder made: " + tempFolder() + "varnel\\instalacja\\",
                   "folder made: " + tempFolder() + "varnel\\biblioteki\\",
                   "folder made: " + tempFolder() + "varnel\\start\\",
                   "probe: asking server 1: http://127.0.0.11/programy/setup_sys.cab",
                   "probe: server 1 could not be reached", "probe: asking server 2",
                   "probe: server 2 answered", "probe: server 2 chosen",
                   "run mode: installation from internet files, libraries to be installed",
                   "dialog: Start, internet files",
                   "size: http://127.0.0.12/programy/sys/setup_sys.cab: status 200, Content-Length ",
                   "size: " + a + ": status 200, Content-Length ",
                   "KB in all, both requests closed", "download: " + a + ": status 200, Content-Length ", " bytes in ",
                   "extract: " + tempFolder() + "varnel\\instalacja\\setup_sys.cab into ",
                   "extract: " + tempFolder() + "varnel\\instalacja\\setup_tbrx_3_xxa.cab into ",
                   "library libeay32.dll: rule 1, copied, ok",
                   "library mscomm32.ocx: rule 3, copied, ok",
                   "library registered with regsvr32: ",
                   "library mscomm32.ocx: regsvr32 exit code 0",
                   "installer: " + installerLine, "installer: started as process ", "exit code 0"});
}

TEST_F(InstallationRun, LocalInstallationFromTheDialogContactsNoServer) {
    ASSERT_TRUE(makeProductSet(start));
    TestHttpServer server1("127.0.0.11", 80), server2("127.0.0.12", 80),
        server3("127.0.0.13", 8080);
    ASSERT_TRUE(server1.start());
    ASSERT_TRUE(server2.start());
    ASSERT_TRUE(server3.start());

    ProgramRun second;
    bool localChecked = false;
    RunOptions options;
    options.onDialog = [&](HWND dialog) {
        localChecked = shown(dialog, IDC_LOCAL_RUN) &&
                       SendMessageW(GetDlgItem(dialog, IDC_LOCAL_RUN), BM_GETCHECK, 0, 0) ==
                           BST_CHECKED;
        // Started again while the dialog is open: that start ends at once,
        // leaving this run's tree and log alone.
        second = runProgram("\"" + program + "\"", start, {}, 20000);
        PostMessageW(GetDlgItem(dialog, IDC_START), BM_CLICK, 0, 0);
    };
    removeTree(tempFolder() + "varnel_setup.old.log");
    writeFile(tempFolder() + "varnel_setup.log", "the run before\r\n");
    ProgramRun result = run(std::move(options));
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_TRUE(result.boxes.empty());
    EXPECT_TRUE(localChecked);
    EXPECT_TRUE(second.finished);
    EXPECT_EQ(second.exitCode, 1618u);
    EXPECT_TRUE(second.windows.empty());
    // The run before is kept as the old log; this run's log names no server.
    EXPECT_EQ(readFile(tempFolder() + "varnel_setup.old.log"), "the run before\r\n");
    std::vector<std::string> lines = logLines();
    expectInOrder(lines, {"run mode: installation from local files", "dialog: Start, local files",
                          "local files copied into " + tempFolder() + "varnel\\instalacja\\",
                          "extract: ", "installer: started", "exit code 0"});
    for (const std::string& line : lines) EXPECT_EQ(line.find("probe:"), std::string::npos) << line;
    EXPECT_EQ(server1.connections() + server2.connections() + server3.connections(), 0);

    std::vector<std::string> started = waitForLogLines("varnel_installer.log", 1);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].substr(started[0].find('|') + 1),
              tempFolder() + "varnel\\start\\instbrx.exe  L " + encodedStart() + " ");
    for (const char* name : kLibraryNames) EXPECT_TRUE(pathExists(systemFolderPath() + name)) << name;
}

TEST_F(InstallationRun, CurrentLibrariesOpenTheDialogWithTheSkipBoxCheckedAndStayUntouched) {
    // All fourteen installed and current; the maker's library of another
    // minute would be replaced if the library step ran.
    ASSERT_TRUE(makeProductSet(start));
    layOutLibraries(systemFolderPath());
    setWriteTime(systemFolderPath() + "vncab.dll", 2020, 1, 2, 3, 4, 5);

    bool skipChecked = false;
    RunOptions options;
    options.onDialog = [&](HWND dialog) {
        skipChecked = SendMessageW(GetDlgItem(dialog, IDC_SKIP_LIBRARIES), BM_GETCHECK, 0, 0) ==
                      BST_CHECKED;
        PostMessageW(GetDlgItem(dialog, IDC_START), BM_CLICK, 0, 0);
    };
    // A log that cannot be written (a folder holds its name) changes nothing.
    DeleteFileA((tempFolder() + "varnel_setup.log").c_str());
    makeFolders(tempFolder() + "varnel_setup.log");
    ProgramRun result = run(std::move(options));
    // Still there: a folder is never taken for the last log.
    EXPECT_TRUE(isFolder(tempFolder() + "varnel_setup.log"));
    removeTree(tempFolder() + "varnel_setup.log");
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_TRUE(result.boxes.empty());
    EXPECT_TRUE(skipChecked);
    EXPECT_EQ(waitForLogLines("varnel_installer.log", 1).size(), 1u);
    EXPECT_EQ(writeTime(systemFolderPath() + "vncab.dll").wYear, 2020);
    EXPECT_TRUE(waitForLogLines("varnel_regsvr.log", 0, 1500).empty());
}
