// An update run of the real varnel_setup.exe from local cabinets to the
// started installer.
#include <gtest/gtest.h>

#include "folders/working_folders.h"
#include "tests/support/boxes.h"
#include "tests/support/files.h"
#include "tests/support/install_fixtures.h"

namespace {

class UpdateRun : public ::testing::Test {
protected:
    void SetUp() override {
        start = tempFolder() + "varnel_update from here";
        removeTree(start);
        ASSERT_TRUE(makeProductSet(start));
        system.clear();
        clearStandinLogs();
    }
    void TearDown() override { removeTree(start); }
    ProgramRun run(const std::string& arguments) {
        return runProgram("\"" + programFolder() + "varnel_setup.exe\" " + arguments, start);
    }
    std::string start;
    SystemFolderGuard system;
};

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

TEST_F(UpdateRun, FromLocalCabinetsToTheStartedInstallerWithoutAnyWindow) {
    ProgramRun result = run("x a1 a2 a3 *klient*");
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_TRUE(result.boxes.empty());
    EXPECT_TRUE(result.windows.empty()) << result.windows[0];

    for (const char* name : kLibraryNames) EXPECT_TRUE(pathExists(systemFolderPath() + name)) << name;
    std::vector<std::string> registered = waitForLogLines("varnel_regsvr.log", 6);
    EXPECT_EQ(registered.size(), 6u);
    // The folder the program itself registers in: SysWOW64 for a 32-bit
    // program on 64-bit Windows, where this process sees System32 redirected.
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    std::string used = std::string(windows) + (isWow64() ? "\\SysWOW64\\" : "\\System32\\");
    for (const std::string& path : registered)
        EXPECT_EQ(lower(path.substr(0, path.find_last_of('\\') + 1)), lower(used));

    std::vector<std::string> started = waitForLogLines("varnel_installer.log", 1);
    ASSERT_EQ(started.size(), 1u);
    std::string work = tempFolder() + "varnel\\start\\";
    EXPECT_STRCASEEQ(started[0].substr(0, started[0].find('|')).c_str(),
                     (tempFolder() + "varnel\\start").c_str());
    std::string encodedStart = start;
    for (char& c : encodedStart)
        if (c == ' ') c = '?';
    EXPECT_EQ(started[0].substr(started[0].find('|') + 1),
              work + "instbrx.exe  L " + encodedStart + "\\  A A1 A2 A3 *klient*");
}

TEST_F(UpdateRun, MissingBCabinetIsReportedWithTheUpdateTitleAndStartsNothing) {
    DeleteFileA((start + "\\setup_tbrx_3_xxb.cab").c_str());
    ProgramRun result = run("x a1 a2 a3");
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 1603u);  // a reported failure
    // The probe ran first and found no server; then the copy failed.
    ASSERT_GE(result.boxes.size(), 1u);
    const SeenBox& last = result.boxes.back();
    EXPECT_EQ(last.title, u8"Aktualizacja programu Tabrix Kalk");
    EXPECT_EQ(last.text, u8"Brak jest pliku " + start + "\\setup_tbrx_3_xxb.cab");
    Sleep(300);
    EXPECT_TRUE(logLines("varnel_installer.log").empty());
    for (const char* name : kLibraryNames) EXPECT_FALSE(pathExists(systemFolderPath() + name));
}
