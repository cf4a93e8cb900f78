// The real varnel_setup.exe, started as a user or the product would start it.
#include <gtest/gtest.h>

#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <thread>

#include "build_config.h"
#include "resources/resource.h"
#include "tests/support/boxes.h"
#include "tests/support/files.h"
#include "tests/support/install_fixtures.h"
#include "tests/support/wine_registry.h"
#include "ui/dialog.h"

namespace {

class Program : public ::testing::Test {
protected:
    void SetUp() override {
        workRoot = tempFolder() + "varnel";
        removeTree(workRoot);
        startFolder = tempFolder() + "varnel_start_here";
        removeTree(startFolder);
        makeFolders(startFolder);
    }
    void TearDown() override { removeTree(startFolder); }

    ProgramRun run(const std::string& arguments, std::deque<int> answers = {}) {
        std::string line = "\"" + programFolder() + "varnel_setup.exe\"";
        if (!arguments.empty()) line += " " + arguments;
        return runProgram(line, startFolder, std::move(answers));
    }
    void expectFreshTree() {
        EXPECT_EQ(listFolder(workRoot), "biblioteki instalacja start");
    }
    std::string workRoot, startFolder;
};

}  // namespace

TEST_F(Program, InstallationRunPreparesTheTreeAndOpensTheDialogAfterTheProbe) {
    // No update server listens: the probe says so, then the dialog opens
    // (the harness cancels it, answering the question with Yes).
    for (const char* arguments : {"WYM", "w", ""}) {
        SCOPED_TRACE(arguments);
        removeTree(workRoot);
        ProgramRun result = run(arguments);
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(result.exitCode, 1602u);  // cancelled
        ASSERT_EQ(result.boxes.size(), 2u);
        EXPECT_EQ(result.boxes[0].title, u8"Instalacja programu Tabrix Kalk");
        EXPECT_EQ(result.boxes[0].text,
                  u8"Instalator nie może połaczyć się z serwerami PI Varnel :\n"
                  VARNEL_UPDATE_SERVER_1 " , " VARNEL_UPDATE_SERVER_2 " , " VARNEL_UPDATE_SERVER_3
                  u8"\nSprawdź połączenie z internetem. Jeżeli masz dostęp do internetu, to "
                  u8"skontaktuj się z PI Varnel"
                  u8"\nUWAGA - bez połącznia z internetem istalację można wykoanć jedynie w "
                  u8"trybie lokalnym.");
        EXPECT_EQ(result.boxes[1].text, u8"Czy na pewno chcesz anulować instalację ?");
        EXPECT_EQ(result.windows.size(), 3u);  // the two boxes and the dialog
        expectFreshTree();
    }
}

TEST_F(Program, HeldFileInTheOldTreeIsReportedAndTheRunEnds) {
    makeFolders(workRoot + "\\start");
    std::string held = workRoot + "\\start\\instbrx.exe";
    writeFile(held, "x");
    HANDLE file = CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              0, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ProgramRun result = run("WYM");
    CloseHandle(file);
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 1603u);  // a reported failure
    ASSERT_EQ(result.boxes.size(), 1u);
    EXPECT_EQ(result.boxes[0].title, u8"Instalacja programu Tabrix Kalk");
    EXPECT_EQ(result.boxes[0].text, u8"Nie można usunąć folderu tymczasowego " + workRoot);
    EXPECT_TRUE(result.boxes[0].hasIcon);
    EXPECT_TRUE(result.boxes[0].hasOk);
    EXPECT_FALSE(result.boxes[0].hasCancel);
    EXPECT_FALSE(pathExists(workRoot + "\\instalacja"));
}

TEST_F(Program, UpdateWithoutLocalFilesEndsAtTheFirstMissingCabinet) {
    for (const char* arguments : {"x a1 a2 a3", "x a1 a2 a3 *klient*"}) {
        SCOPED_TRACE(arguments);
        ProgramRun result = run(arguments);
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(result.exitCode, 1603u);
        // The command line is read only after the probe: the update still
        // asks the servers, and says it found none under the installation
        // title; the update itself then stops at the local copy, under its
        // own title.
        ASSERT_EQ(result.boxes.size(), 2u);
        EXPECT_EQ(result.boxes[0].title, u8"Instalacja programu Tabrix Kalk");
        EXPECT_EQ(result.boxes[0].text.rfind(u8"Instalator nie może połaczyć się z serwerami", 0),
                  0u);
        EXPECT_EQ(result.boxes.back().title, u8"Aktualizacja programu Tabrix Kalk");
        EXPECT_EQ(result.boxes.back().text, u8"Brak jest pliku " + startFolder + "\\setup_sys.cab");
        expectFreshTree();
    }
}

TEST_F(Program, VeryLongCommandLineDoesNotHurt) {
    ProgramRun result = run("x " + std::string(6000, 'a') + " b c *klient*");
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 1602u);
    expectFreshTree();
}

class OlderWindows : public Program {
protected:
    void TearDown() override {
        setWindowsVersionFor("varnel_setup.exe", "");
        deleteHklmKey(kProbeKey);
        Program::TearDown();
    }
    const char* kProbeKey = "Software\\Varnel_19620528";
};

TEST_F(OlderWindows, XpRunsTheRegistryProbeAndReportsALeftoverKeyOnce) {
    setWindowsVersionFor("varnel_setup.exe", "winxp");
    createHklmKey(kProbeKey);
    ProgramRun result = run("x a1 a2 a3");
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 1603u);
    ASSERT_GE(result.boxes.size(), 1u);
    // Shown by the gate, before the variant is known.
    EXPECT_EQ(result.boxes[0].title, u8"Instalacja programu ");
    EXPECT_EQ(result.boxes[0].text, u8"Jest klucz - kasuję");
    EXPECT_FALSE(hklmKeyExists(kProbeKey));
    expectFreshTree();

    // Without a leftover key the probe is silent.
    result = run("x a1 a2 a3");
    EXPECT_EQ(result.exitCode, 1603u);
    for (const SeenBox& box : result.boxes) EXPECT_NE(box.text, u8"Jest klucz - kasuję");
    EXPECT_FALSE(hklmKeyExists(kProbeKey));
}

TEST_F(OlderWindows, Windows2000IsWarnedWithTheInstallationTitleEvenInAnUpdate) {
    setWindowsVersionFor("varnel_setup.exe", "win2k");
    ProgramRun result = run("x a1 a2 a3 *klient*");
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 1603u);
    ASSERT_GE(result.boxes.size(), 1u);
    EXPECT_EQ(result.boxes[0].title, u8"Instalacja programu Tabrix Kalk");
    EXPECT_EQ(result.boxes[0].text,
              u8"Program wymaga systemu operacyjnego minimum Windows XP.\n"
              u8"W tym systemie operacyjnym niektóre funkcje mogą działać nieprawidłowo.\n"
              u8"Dotyczy to zwłaszcza obsługi formularzy w postaci PDF.");
    expectFreshTree();
}

namespace {

// Waits until the run log holds `piece` (the relaunched copy writes it as it
// ends) and returns the log.
std::string waitForRunLog(const std::string& piece) {
    std::string log;
    for (int i = 0; i < 750 && log.find(piece) == std::string::npos; ++i, Sleep(20))
        log = readFile(tempFolder() + "varnel_setup.log");
    return log;
}

// Each piece found after the one before it.
void expectInOrder(const std::string& text, std::initializer_list<const char*> pieces) {
    size_t at = 0;
    for (const char* piece : pieces) {
        at = text.find(piece, at);
        ASSERT_NE(at, std::string::npos) << "not found in order: " << piece << "\n" << text;
    }
}

}  // namespace

TEST_F(Program, MissingRightsRelaunchThroughRunasWithoutTheCommandLine) {
    // The relaunched copy gets the rights and (in this build) stops at its
    // gate; or it never gets them, and must not relaunch in turn.
    for (bool neverElevated : {false, true}) {
        SCOPED_TRACE(neverElevated);
        std::string log = tempFolder() + "varnel_relaunch.log";
        DeleteFileA(log.c_str());
        writeFile(tempFolder() + "varnel_setup.log", "the run before\r\n");
        SetEnvironmentVariableA("VARNEL_NEVER_ELEVATED", neverElevated ? "1" : NULL);
        std::string line = "\"" + programFolder() + "varnel_setup_limited.exe\" x a1 a2 a3";
        ProgramRun result = runProgram(line, startFolder);
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(result.exitCode, 0u);
        EXPECT_TRUE(result.boxes.empty());
        // One log for the run as the user saw it: the copy's lines follow the
        // first copy's, and the run before stays the old log.
        std::string runLog = waitForRunLog("exit code -1");
        SetEnvironmentVariableA("VARNEL_NEVER_ELEVATED", NULL);
        EXPECT_EQ(readFile(tempFolder() + "varnel_setup.old.log"), "the run before\r\n");
        // The first copy waits for the copy to end, and appends after it.
        expectInOrder(runLog, {"command line: x a1 a2 a3", "rights: relaunching through runas: ",
                               "waiting for the elevated copy, process ",
                               "started by the relaunch of another copy",
                               neverElevated ? "relaunch refused: " : "version unknown",
                               "exit code -1", "the elevated copy has ended", "exit code 0"});
        // The copy started through the shell logs its own start, and is the
        // only one.
        std::string entries = readFile(log);
        ASSERT_EQ(std::count(entries.begin(), entries.end(), '\n'), 2) << entries;
        EXPECT_EQ(entries.substr(0, 5), "args|");
        std::string second = entries.substr(entries.find('\n') + 1);
        EXPECT_EQ(second.substr(0, 5), "none|") << second;
        EXPECT_NE(second.find("varnel_setup_limited.exe"), std::string::npos);
        EXPECT_EQ(second.find("A1"), std::string::npos);
        EXPECT_EQ(second.find("a1"), std::string::npos);
        // The copy (which this test build stops at its gate) left no window.
        Sleep(300);
        EXPECT_TRUE(result.windows.empty());
    }

    // Started as the copy was, the gate stops it silently with -1.
    ProgramRun result =
        runProgram("\"" + programFolder() + "varnel_setup_limited.exe\"", startFolder);
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0xFFFFFFFFu);
    EXPECT_TRUE(result.boxes.empty());
    EXPECT_TRUE(result.windows.empty());
}

TEST_F(Program, RelaunchFromAFolderTheAnsiCodePageCannotSpell) {
    wchar_t temp[MAX_PATH], built[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    GetModuleFileNameW(NULL, built, MAX_PATH);
    wcscpy(wcsrchr(built, L'\\') + 1, L"varnel_setup_limited.exe");
    std::wstring folder = std::wstring(temp) + L"varnel_cyr_\x0416\\";
    std::wstring program = folder + L"varnel_setup_limited.exe";
    CreateDirectoryW(folder.c_str(), NULL);
    ASSERT_TRUE(CopyFileW(built, program.c_str(), FALSE));
    DeleteFileA((tempFolder() + "varnel_setup.log").c_str());
    DeleteFileA((tempFolder() + "varnel_relaunch.log").c_str());
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::wstring line = L"\"" + program + L"\" x a1 a2 a3";
    ASSERT_TRUE(CreateProcessW(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                               &process));
    CloseHandle(process.hThread);
    if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "did not end";
        TerminateProcess(process.hProcess, 1);
    }
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    EXPECT_EQ(exitCode, 0u);
    // The path is logged as it is, not as the ANSI code page spells it.
    std::string relaunching = "rights: relaunching through runas: " + toUtf8(program);
    expectInOrder(waitForRunLog("exit code 0"),
                  {relaunching.c_str(), "started by the relaunch of another copy", "exit code -1",
                   "exit code 0"});
    DeleteFileW(program.c_str());
    RemoveDirectoryW(folder.c_str());
}

TEST_F(Program, UnquotedPathWithAPolishLetterIsNotTakenForTheCommandLine) {
    // A path without blanks may be started without quotes: the command line
    // still begins after it, whatever letters it holds ("ż" in Windows-1250).
    std::string folder = tempFolder() + "varnel_wdro\xBF" "enie\\";
    makeFolders(folder);
    ASSERT_TRUE(CopyFileA((programFolder() + "varnel_setup.exe").c_str(),
                          (folder + "varnel_setup.exe").c_str(), FALSE));
    ProgramRun result = runProgram(folder + "varnel_setup.exe x a1 a2 a3", startFolder);
    ASSERT_TRUE(result.finished);
    expectInOrder(readFile(tempFolder() + "varnel_setup.log"), {"command line: x a1 a2 a3\r\n"});
    EXPECT_EQ(result.exitCode, 1603u);
    removeTree(folder);
}

TEST_F(Program, SecondStartWhileTheRelaunchedCopyStartsEndsWith1618AndTheCopyInstalls) {
    // The relaunched copy is held 1.5 s at its start, as a slow start after
    // the elevation prompt; a second start comes in that time.
    ASSERT_TRUE(makeProductSet(startFolder));
    SystemFolderGuard system;
    system.clear();
    clearStandinLogs();
    DeleteFileA((tempFolder() + "varnel_relaunch.log").c_str());
    SetEnvironmentVariableA("VARNEL_RELAUNCH_DELAY", "1");
    std::string line = "\"" + programFolder() + "varnel_setup_limited.exe\" x a1 a2 a3";
    ProgramRun first, second;
    std::thread user([&] { first = runProgram(line, startFolder); });
    waitForLogLines("varnel_relaunch.log", 2);  // the copy's start is recorded
    second = runProgram(line, startFolder);
    HWND dialog = NULL;  // the copy's, once it runs: Start
    for (int i = 0; i < 1500 && dialog == NULL; ++i, Sleep(20))
        dialog = FindWindowA("#32770", "Instalacja programu Tabrix Kalk wersja 3.xx");
    if (dialog != NULL) PostMessageA(GetDlgItem(dialog, IDC_START), BM_CLICK, 0, 0);
    user.join();
    SetEnvironmentVariableA("VARNEL_RELAUNCH_DELAY", NULL);
    EXPECT_EQ(first.exitCode, 0u);
    EXPECT_EQ(second.exitCode, 1618u);
    EXPECT_TRUE(second.windows.empty());
    EXPECT_EQ(waitForLogLines("varnel_installer.log", 1).size(), 1u);
    std::string log = readFile(tempFolder() + "varnel_setup.log");
    expectInOrder(log, {"relaunching through runas: ", "started by the relaunch of another copy",
                        "installer: started", "exit code 0", "the elevated copy has ended",
                        "exit code 0"});
    EXPECT_EQ(log.find("exit code -1"), std::string::npos) << log;
}

TEST_F(Program, NamesMadeBeforehandByAnotherProgramStopNoRun) {
    // Under the lock's and the mark's names: objects of another kind, then
    // of another owner (Wine keeps one given explicitly), held and set; and
    // under the earlier per-session names, which any program may make.
    PSECURITY_DESCRIPTOR other;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
        "O:WDD:(A;;GA;;;WD)", SDDL_REVISION_1, &other, NULL));
    SECURITY_ATTRIBUTES otherOwner = {sizeof otherOwner, other, FALSE};
    HANDLE token;
    BYTE self[256];
    DWORD size;
    char* sid = NULL;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    GetTokenInformation(token, TokenUser, self, sizeof self, &size);
    CloseHandle(token);
    ASSERT_TRUE(ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(self)->User.Sid, &sid));
    PSECURITY_DESCRIPTOR user;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
        ("O:" + std::string(sid) + "D:(A;;GA;;;WD)").c_str(), SDDL_REVISION_1, &user, NULL));
    LocalFree(sid);
    SECURITY_ATTRIBUTES userOwner = {sizeof userOwner, user, FALSE};
    for (bool anotherKind : {true, false}) {
        SCOPED_TRACE(anotherKind);
        HANDLE made[4] = {
            CreateMutexA(NULL, TRUE, "Local\\VarnelSetup.Run"),
            CreateEventA(NULL, TRUE, TRUE, "Local\\VarnelSetup.Relaunch"),
            anotherKind ? CreateEventA(NULL, TRUE, TRUE, "Global\\VarnelSetup.Run")
                        : CreateMutexA(&otherOwner, TRUE, "Global\\VarnelSetup.Run"),
            anotherKind ? CreateMutexA(NULL, TRUE, "Local\\VarnelSetup.Relaunching")
                        : CreateEventA(&otherOwner, TRUE, TRUE, "Local\\VarnelSetup.Relaunching")};
        // A relaunch still marks its copy, which ends at its gate.
        ProgramRun result =
            runProgram("\"" + programFolder() + "varnel_setup_limited.exe\" x a1 a2 a3", startFolder);
        EXPECT_EQ(result.exitCode, 0u);
        std::string log = readFile(tempFolder() + "varnel_setup.log");
        expectInOrder(log, {"Local\\VarnelSetup.Relaunching is not this program's",
                            "started by the relaunch of another copy", "exit code -1"});
        // A run goes on without the lock, and says why; the user's own mark
        // for "any copy" makes it no relaunched copy where copies are named.
        HANDLE anyCopy = CreateEventA(&userOwner, TRUE, TRUE, "Local\\VarnelSetup.Relaunching.0");
        EXPECT_EQ(run("WYM").exitCode, 1602u);
        CloseHandle(anyCopy);
        log = readFile(tempFolder() + "varnel_setup.log");
        EXPECT_NE(log.find("Global\\VarnelSetup.Run is not this program's"), std::string::npos);
        EXPECT_EQ(log.find("started by the relaunch"), std::string::npos);
        for (HANDLE object : made) CloseHandle(object);
    }
    LocalFree(other);
    LocalFree(user);
}

TEST_F(Program, UpdateRunRefusesALogoffDuringItsLibraryStep) {
    ASSERT_TRUE(makeProductSet(startFolder));
    SystemFolderGuard system;
    system.clear();
    clearStandinLogs();
    DeleteFileA((tempFolder() + "varnel_setup.log").c_str());
    ProgramRun result;
    std::thread update([&] { result = run("x a1 a2 a3"); });
    // Once registrations are under way, the stand-ins' records wait for this
    // turn, and the run waits for them in its library step.
    for (int i = 0; i < 1500; ++i, Sleep(10))
        if (readFile(tempFolder() + "varnel_setup.log").find("library registered") !=
            std::string::npos)
            break;
    HANDLE turn = CreateMutexA(NULL, FALSE, "varnel_test_log_append");
    WaitForSingleObject(turn, 10000);
    DWORD_PTR answer = 1;
    HWND guard = FindWindowA(kEndSessionGuard, NULL);
    EXPECT_GT(GetWindowTextLengthW(guard), 0);  // Windows names the program by it
    EXPECT_NE(SendMessageTimeoutA(guard, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL,
                                  20000, &answer),
              0);
    EXPECT_EQ(answer, 0u);
    ReleaseMutex(turn);
    CloseHandle(turn);
    update.join();
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(FindWindowA(kEndSessionGuard, NULL), nullptr);  // gone with the step
}
