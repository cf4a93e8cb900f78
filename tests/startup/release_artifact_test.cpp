// The program as it ships: the release build's own bytes (default update
// hosts included), started as a user's machine starts it. In the 32-bit face
// that is the shipped varnel_setup.exe under WoW64, where its system folder
// is SysWOW64 and regsvr32 is the 32-bit one; in the 64-bit face the same
// sources built with the same settings for x86_64.
//
// The default hosts cannot resolve here, so the internet installation goes
// through a proxy set in the prefix's Internet settings, as a customer's
// network would have it; nginx answers for the three hosts on that port.
#include <gtest/gtest.h>

#include <map>

#include "resources/resource.h"
#include "tests/support/boxes.h"
#include "tests/support/files.h"
#include "tests/support/http_server.h"
#include "tests/support/install_fixtures.h"

namespace {

const char kProxyAddress[] = "127.0.0.21";
const char kProxyPort[] = "3128";
const char kInternetSettings[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// The release build, by its Windows name.
std::string releaseProgram() {
    char path[MAX_PATH] = "";
    GetFullPathNameA("Z:" VARNEL_RELEASE_EXE, MAX_PATH, path, NULL);
    for (char* c = path; *c != '\0'; ++c)
        if (*c == '/') *c = '\\';
    return path;
}

// Where the libraries must land: SysWOW64 for a 32-bit program on 64-bit
// Windows, System32 for a 64-bit one.
std::string expectedSystemFolder() {
#ifdef _WIN64
    return "C:\\windows\\System32\\";
#else
    return "C:\\windows\\SysWOW64\\";
#endif
}

// The fourteen names as the 64-bit system folder holds them (size, or -1
// when absent). A 32-bit test reads it with redirection switched off.
std::map<std::string, long long> nativeSystemFolder() {
    std::map<std::string, long long> state;
#ifndef _WIN64
    PVOID redirection = NULL;
    if (!Wow64DisableWow64FsRedirection(&redirection)) return state;
#endif
    for (const char* name : kLibraryNames) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        std::string path = std::string("C:\\windows\\System32\\") + name;
        state[name] = GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)
                          ? static_cast<long long>(data.nFileSizeLow)
                          : -1;
    }
#ifndef _WIN64
    Wow64RevertWow64FsRedirection(redirection);
#endif
    return state;
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

class ReleaseArtifact : public ::testing::Test {
protected:
    void SetUp() override {
        program = releaseProgram();
        ASSERT_TRUE(pathExists(program)) << "build the release first: " << program;
        // No blank in it: the installer's command line is then the plain one.
        start = tempFolder() + "varnel_release_start";
        removeTree(start);
        makeFolders(start);
        system.clear();
        clearStandinLogs();
    }
    void TearDown() override {
        removeTree(start);
        setProxy(false);
    }
    // Every library in the program's system folder, the COM ones registered
    // there by the system folder's own regsvr32, and the 64-bit system
    // folder as it was.
    void expectLibrariesInstalled(const std::map<std::string, long long>& nativeBefore) {
        for (const char* name : kLibraryNames)
            EXPECT_TRUE(pathExists(expectedSystemFolder() + name)) << name;
        std::vector<std::string> registered = waitForLogLines("varnel_regsvr.log", 6);
        EXPECT_EQ(registered.size(), 6u);
        for (const std::string& path : registered)
            EXPECT_EQ(lower(path.substr(0, path.find_last_of('\\') + 1)),
                      lower(expectedSystemFolder()));
        for (const std::string& host : logLines("varnel_regsvr_hosts.log"))
            EXPECT_EQ(lower(host.substr(host.find_last_of('\\') + 1)), "regsvr32.exe");
#ifndef _WIN64
        // Under WoW64 nothing reaches the 64-bit system folder.
        EXPECT_EQ(nativeSystemFolder(), nativeBefore);
#else
        (void)nativeBefore;
#endif
    }
    std::string installerLine() {
        std::vector<std::string> started = waitForLogLines("varnel_installer.log", 1);
        if (started.size() != 1) return "started " + std::to_string(started.size()) + " times";
        return started[0].substr(started[0].find('|') + 1);
    }
    static void setProxy(bool on) {
        HKEY key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kInternetSettings, 0, NULL, 0, KEY_SET_VALUE, NULL,
                            &key, NULL) != ERROR_SUCCESS)
            return;
        DWORD enable = on ? 1 : 0;
        RegSetValueExA(key, "ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable),
                       sizeof enable);
        std::string server = std::string(kProxyAddress) + ":" + kProxyPort;
        if (on)
            RegSetValueExA(key, "ProxyServer", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(server.c_str()),
                           static_cast<DWORD>(server.size() + 1));
        else
            RegDeleteValueA(key, "ProxyServer");
        RegCloseKey(key);
    }
    std::string program, start;
    SystemFolderGuard system;
};

}  // namespace

TEST_F(ReleaseArtifact, UpdateRunFromLocalCabinets) {
    ASSERT_TRUE(makeProductSet(start));
    std::map<std::string, long long> nativeBefore = nativeSystemFolder();
    ProgramRun result = runProgram("\"" + program + "\" x a1 a2 a3 *klient*", start);
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_TRUE(result.windows.empty());
    expectLibrariesInstalled(nativeBefore);
    EXPECT_EQ(installerLine(), tempFolder() + "varnel\\start\\instbrx.exe  L " + start +
                                   "\\  A A1 A2 A3 *klient*");
}

TEST_F(ReleaseArtifact, LocalInstallationFromTheStartFolder) {
    ASSERT_TRUE(makeProductSet(start));
    std::map<std::string, long long> nativeBefore = nativeSystemFolder();
    RunOptions options;
    options.onDialog = [](HWND dialog) {
        PostMessageW(GetDlgItem(dialog, IDC_START), BM_CLICK, 0, 0);
    };
    ProgramRun result = runProgram("\"" + program + "\"", start, std::move(options));
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_TRUE(result.boxes.empty()) << result.boxes[0].text;
    expectLibrariesInstalled(nativeBefore);
    EXPECT_EQ(installerLine(), tempFolder() + "varnel\\start\\instbrx.exe  L " + start + "\\ ");
}

TEST_F(ReleaseArtifact, InternetInstallationThroughTheConfiguredProxy) {
    std::string tree = tempFolder() + "varnel_release_tree\\";
    removeTree(tree);
    ASSERT_TRUE(makeServerTree(tree));
    // nginx as the proxy: update server 1 is down, so the proxy answers for
    // it with 502 Bad Gateway; it serves the tree for the other host names.
    NginxServer proxy(kProxyAddress, tree);
    ASSERT_TRUE(proxy.start(std::string("    server {\n        listen ") + kProxyAddress + ":" +
                            kProxyPort + ";\n        root ROOT;\n" +
                            "        if ($host ~* \"^www1\\.\") { return 502; }\n    }\n"));
    setProxy(true);
    std::map<std::string, long long> nativeBefore = nativeSystemFolder();

    std::string note;
    RunOptions options;
    options.onDialog = [&](HWND dialog) {
        note = windowText(GetDlgItem(dialog, IDC_SOURCE_NOTE));
        PostMessageW(GetDlgItem(dialog, IDC_START), BM_CLICK, 0, 0);
    };
    ProgramRun result = runProgram("\"" + program + "\"", start, std::move(options));
    setProxy(false);
    proxy.stop();
    removeTree(tree);
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_TRUE(result.boxes.empty()) << result.boxes[0].text;
    EXPECT_NE(note.find("\nwww2.varnel.example.\n"), std::string::npos) << note;

    // Through the proxy every request names its server in full (Wine's
    // WinINet adds the default port, Windows' leaves it out).
    std::vector<std::string> requests;
    for (const std::string& line : proxy.accessLog()) {
        size_t from = line.find("\"GET ");
        std::string target = line.substr(from + 5, line.find(' ', from + 5) - from - 5);
        size_t port = target.find(".example:80/");
        if (port != std::string::npos) target.erase(port + 8, 3);
        requests.push_back(target);
        EXPECT_EQ(line.substr(line.size() - 8), "\"Varnel\"");
    }
    const std::string server = "http://www2.varnel.example/programy/";
    EXPECT_EQ(requests, (std::vector<std::string>{
                            "http://www1.varnel.example/programy/setup_sys.cab",
                            server + "setup_sys.cab", server + "sys/setup_sys.cab",
                            server + "3_xx/tbrx/setup_tbrx_3_xxa.cab",
                            server + "3_xx/tbrx/setup_tbrx_3_xx.exe", server + "sys/setup_sys.cab",
                            server + "3_xx/tbrx/setup_tbrx_3_xxa.cab"}));
    expectLibrariesInstalled(nativeBefore);
    EXPECT_EQ(installerLine(), tempFolder() + "varnel\\start\\instbrx.exe  I " + start + "\\ ");
    std::string log = readFile(tempFolder() + "varnel_setup.log");
    EXPECT_NE(log.find("probe: server 1 answered 502 through proxy 127.0.0.21:3128: passed over"),
              std::string::npos);
}
