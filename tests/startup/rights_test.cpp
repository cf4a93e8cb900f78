#include "startup/rights.h"

#include <gtest/gtest.h>

#include "session/session.h"
#include "session/windows_version.h"
#include "startup/startup_checks.h"
#include "tests/support/boxes.h"
#include "tests/support/files.h"
#include "tests/support/wine_registry.h"

namespace {

const char kProbe[] = "Software\\Varnel_19620528";
const char kUserInfoFailure[] =
    u8"Instalator nie może uzyskać informacji o Uzytkowniku oraz uruchomionym procesie.  "
    u8"Wystąpił błąd numer : ";
const char kClosingLines[] =
    u8"\nWykonanie Instalacji / Aktualizacji jest niemożliwe.\nSkontaktuj się z PI Varnel.";

bool yes(DWORD* error) { return *error = 0, true; }
bool no(DWORD* error) { return *error = 0, false; }
bool failsWithAccessDenied(DWORD* error) { return *error = 5, false; }
bool failsWithNoToken(DWORD* error) { return *error = 1008, false; }

class Rights : public ::testing::Test {
protected:
    void SetUp() override {
        resetSession();
        saved = tokenQueries;
        deleteHklmKey(kProbe);
    }
    void TearDown() override {
        tokenQueries = saved;
        queryWindowsVersion = GetVersionExA;
        deleteHklmKey(kProbe);
    }
    TokenQueries saved;
};

DWORD gateMajor = 10;
BOOL WINAPI gateVersion(LPOSVERSIONINFOA info) {
    info->dwMajorVersion = gateMajor;
    return TRUE;
}

}  // namespace

TEST_F(Rights, WineTokenIsAnElevatedAdministrator) {
    for (TokenQuery query : {isAdministratorUser, isAdministratorsGroupEnabled, isProcessElevated}) {
        DWORD error = 99;
        EXPECT_TRUE(query(&error));
        EXPECT_EQ(error, 0u);
    }
    BoxRecorder recorder;
    EXPECT_TRUE(checkAdministratorRights());
    EXPECT_TRUE(ensureElevated());  // already elevated: nothing is started
    EXPECT_TRUE(recorder.boxes().empty());
    EXPECT_EQ(session.lastError, 0u);
}

TEST_F(Rights, LimitedAdministratorFailsQuietly) {
    tokenQueries = {yes, no, no};
    BoxRecorder recorder;
    EXPECT_FALSE(checkAdministratorRights());
    EXPECT_TRUE(recorder.boxes().empty());

    tokenQueries = {no, yes, no};  // not an administrator: the group is not asked
    EXPECT_FALSE(checkAdministratorRights());
    EXPECT_TRUE(recorder.boxes().empty());
}

TEST_F(Rights, FailingTokenQueryIsReportedWithItsCode) {
    tokenQueries = {failsWithAccessDenied, yes, yes};
    BoxRecorder recorder;
    EXPECT_FALSE(checkAdministratorRights());
    EXPECT_EQ(session.lastError, 5u);
    ASSERT_EQ(recorder.boxes().size(), 1u);
    EXPECT_EQ(recorder.boxes()[0].title, u8"Instalacja programu ");
    EXPECT_EQ(recorder.boxes()[0].text, std::string(kUserInfoFailure) + "5" + kClosingLines);

    session.lastError = 0;
    tokenQueries = {yes, failsWithNoToken, yes};
    EXPECT_FALSE(checkAdministratorRights());
    ASSERT_EQ(recorder.boxes().size(), 2u);
    EXPECT_EQ(recorder.boxes()[1].text, std::string(kUserInfoFailure) + "1008" + kClosingLines);
}

TEST_F(Rights, FailingElevationQueryIsStoredButNotShown) {
    tokenQueries = {yes, yes, failsWithNoToken};
    BoxRecorder recorder;
    EXPECT_FALSE(ensureElevated());
    EXPECT_EQ(session.lastError, 1008u);
    EXPECT_TRUE(recorder.boxes().empty());
}

TEST_F(Rights, GateOnVistaAndLaterGoesOnForAnElevatedProcess) {
    queryWindowsVersion = gateVersion;
    gateMajor = 6;
    // A failing query is reported, then the elevation step lets an elevated
    // process go on.
    tokenQueries = {failsWithAccessDenied, yes, yes};
    BoxRecorder recorder;
    char line[] = "";
    EXPECT_TRUE(runStartupChecks(line));
    EXPECT_EQ(recorder.boxes().size(), 1u);

    session.lastError = 0;
    tokenQueries = {no, no, yes};  // not an administrator, yet elevated
    EXPECT_TRUE(runStartupChecks(line));
    EXPECT_EQ(recorder.boxes().size(), 1u);
}

TEST_F(Rights, RegistryProbeCreatesAndDeletesItsKey) {
    BoxRecorder recorder;
    EXPECT_TRUE(probeRegistryWriteAccess());
    EXPECT_FALSE(hklmKeyExists(kProbe));
    EXPECT_TRUE(recorder.boxes().empty());
}

TEST_F(Rights, LeftoverProbeKeyIsReportedOnceAndRemoved) {
    createHklmKey(kProbe);
    ASSERT_TRUE(hklmKeyExists(kProbe));
    BoxRecorder recorder;
    EXPECT_TRUE(probeRegistryWriteAccess());
    EXPECT_FALSE(hklmKeyExists(kProbe));
    ASSERT_EQ(recorder.boxes().size(), 1u);
    EXPECT_EQ(recorder.boxes()[0].text, u8"Jest klucz - kasuję");
    EXPECT_EQ(recorder.boxes()[0].title, u8"Instalacja programu ");
    EXPECT_TRUE(probeRegistryWriteAccess());
    EXPECT_EQ(recorder.boxes().size(), 1u);
}

TEST_F(Rights, GateBeforeVistaUsesTheRegistryProbe) {
    queryWindowsVersion = gateVersion;
    gateMajor = 5;
    tokenQueries = {no, no, no};  // the token is not asked before Vista
    createHklmKey(kProbe);
    BoxRecorder recorder;
    char line[] = "x";
    EXPECT_TRUE(runStartupChecks(line));
    ASSERT_EQ(recorder.boxes().size(), 1u);
    EXPECT_EQ(recorder.boxes()[0].text, u8"Jest klucz - kasuję");
    EXPECT_FALSE(hklmKeyExists(kProbe));
}

TEST_F(Rights, RefusedRelaunchLeavesNoStaleCode) {
    // Run in a copy of this program that moves its own file away first, so
    // that the shell has nothing to start: the relaunch is refused.
    std::string report = programFolder() + "rights_refused.txt";
    if (GetEnvironmentVariableA("VARNEL_RIGHTS_COPY", NULL, 0) != 0) {
        char self[MAX_PATH];
        GetModuleFileNameA(NULL, self, MAX_PATH);
        ASSERT_TRUE(MoveFileA(self, (std::string(self) + ".moved").c_str()));
        tokenQueries = {yes, yes, no};
        session.lastError = 1008;  // left by an earlier query
        bool elevated = ensureElevated();
        writeFile(report, std::string(elevated ? "elevated " : "refused ") +
                              std::to_string(session.lastError));
        return;
    }
    std::string copy = programFolder() + "rights_copy.exe";
    DeleteFileA((copy + ".moved").c_str());
    DeleteFileA(report.c_str());
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, MAX_PATH);
    ASSERT_TRUE(CopyFileA(self, copy.c_str(), FALSE));
    SetEnvironmentVariableA("VARNEL_RIGHTS_COPY", "1");
    ProgramRun run = runProgram(
        "\"" + copy + "\" --gtest_filter=Rights.RefusedRelaunchLeavesNoStaleCode", programFolder());
    SetEnvironmentVariableA("VARNEL_RIGHTS_COPY", NULL);
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(readFile(report), "refused 0");
    DeleteFileA((copy + ".moved").c_str());
    DeleteFileA(copy.c_str());
    DeleteFileA(report.c_str());
}
