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

namespace {

// The files waiting for deletion at the next restart, as Windows keeps them.
std::string pendingDeletions() {
    char value[16384] = "";
    DWORD size = sizeof value - 2;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                      0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return "";
    RegQueryValueExA(key, "PendingFileRenameOperations", NULL, NULL,
                     reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    for (DWORD i = 0; i + 1 < size; ++i)
        if (value[i] == '\0') value[i] = '|';
    return value;
}

void forgetPendingDeletions() {
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                       "PendingFileRenameOperations");
}

}  // namespace

// The product starts an update with its own libraries loaded. A library in
// use is renamed aside, the new copy takes its name and the old one goes at
// the next restart; only one held with no sharing at all still fails.
TEST_F(UpdateRun, MakersLibraryInUseIsMovedAsideAndOneHeldWithoutSharingStillFails) {
    std::string maker = systemFolderPath() + "vncab.dll";
    std::string old = readFile(programFolder() + "standin_v1400509.dll");
    writeFile(maker, old);
    setWriteTime(maker, 2024, 5, 6, 7, 9, 0);  // another minute than the cabinet's
    forgetPendingDeletions();
    // Mapped as an image, as a running program's loaded library is.
    HANDLE file = CreateFileA(maker.c_str(), GENERIC_READ | GENERIC_EXECUTE,
                              FILE_SHARE_READ | FILE_SHARE_DELETE, NULL, OPEN_EXISTING, 0, NULL);
    HANDLE image = CreateFileMappingA(file, NULL, PAGE_READONLY | SEC_IMAGE, 0, 0, NULL);
    ASSERT_NE(image, nullptr);
    ProgramRun result = run("x a1 a2 a3");
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_TRUE(result.boxes.empty()) << result.boxes[0].text;
    EXPECT_EQ(waitForLogLines("varnel_installer.log", 1).size(), 1u);
    EXPECT_TRUE(readFile(maker) == readFile(programFolder() + "standin_v1400510.dll"));
    std::string names = listFolder(systemFolderPath());
    size_t at = names.find("vncab.dll.");
    ASSERT_NE(at, std::string::npos);
    std::string aside = names.substr(at, names.find(' ', at) - at);
    EXPECT_NE(aside.find(".varnel_stary"), std::string::npos) << aside;
    EXPECT_TRUE(readFile(systemFolderPath() + aside) == old);
    EXPECT_NE(lower(pendingDeletions()).find(lower(systemFolderPath() + aside)), std::string::npos)
        << pendingDeletions();
    CloseHandle(image);
    CloseHandle(file);
    DeleteFileA((systemFolderPath() + aside).c_str());
    forgetPendingDeletions();

    clearStandinLogs();
    setWriteTime(maker, 2024, 5, 6, 7, 9, 0);
    DeleteFileA((systemFolderPath() + "msvcr71.dll").c_str());  // so that the step runs
    file = CreateFileA(maker.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    result = run("x a1 a2 a3");
    CloseHandle(file);
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 1603u);
    ASSERT_EQ(result.boxes.size(), 2u);
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    EXPECT_EQ(result.boxes[0].text,
              u8"Nie można skopiować pliku \nz " + tempFolder() + "varnel\\biblioteki\\vncab.dll\n na " +
                  windows + (isWow64() ? "\\SysWOW64" : "\\System32") + "\\vncab.dll");
    EXPECT_EQ(result.boxes[1].text,
              u8"Nie można wykonać aktualizacji bibliotek DLL i OCX\rAktualizacja nie powiodła się.");
    EXPECT_EQ(listFolder(systemFolderPath()).find("varnel_"), std::string::npos);
    EXPECT_TRUE(logLines("varnel_installer.log").empty());
}
