#include "startup/startup_checks.h"

#include <gtest/gtest.h>

#include <string>

#include "session/session.h"
#include "session/windows_version.h"
#include "tests/support/boxes.h"
#include "tests/support/files.h"

namespace {

int versionQueries = 0;
DWORD versionMajor = 10;
DWORD versionFailure = 0;

BOOL WINAPI fakeVersion(LPOSVERSIONINFOA info) {
    ++versionQueries;
    EXPECT_EQ(info->dwOSVersionInfoSize, 148u);
    if (versionFailure != 0 || versionMajor == 0) {
        SetLastError(versionFailure);
        return FALSE;
    }
    info->dwMajorVersion = versionMajor;
    info->dwMinorVersion = 0;
    return TRUE;
}

class StartupGate : public ::testing::Test {
protected:
    void SetUp() override {
        resetSession();
        versionQueries = 0;
        versionMajor = 10;
        versionFailure = 0;
        queryWindowsVersion = fakeVersion;
    }
    void TearDown() override { queryWindowsVersion = GetVersionExA; }

    bool gate(const char* line, std::string* after = nullptr) {
        std::string buffer = line;
        bool passed = runStartupChecks(&buffer[0]);
        if (after != nullptr) *after = buffer.c_str();
        return passed;
    }
};

}  // namespace

TEST_F(StartupGate, BypassInAnyCaseSkipsEveryCheck) {
    for (const char* line : {"WYM", "wym", "Wym", "wYm", "W", "w"}) {
        SCOPED_TRACE(line);
        EXPECT_TRUE(gate(line));
    }
    EXPECT_EQ(versionQueries, 0);
}

TEST_F(StartupGate, AnythingAroundTheBypassStillRunsTheChecks) {
    for (const char* line : {"WYM ", " WYM", "WYM X", "XWYM", "W W", "WY", "", "wymm"}) {
        SCOPED_TRACE(line);
        versionQueries = 0;
        EXPECT_TRUE(gate(line));
        EXPECT_EQ(versionQueries, 1);
    }
}

TEST_F(StartupGate, OnlyLettersAToZAreUpperCased) {
    std::string after;
    // "ąbc żółw x1 *klient*" in Windows-1250: Polish letters keep their case.
    EXPECT_TRUE(gate("\xB9" "bc \xBF\xF3\xB3w x1 *klient*", &after));
    EXPECT_EQ(after, "\xB9" "BC \xBF\xF3\xB3W X1 *KLIENT*");
    EXPECT_TRUE(gate("x a1 a2 a3", &after));
    EXPECT_EQ(after, "X A1 A2 A3");
}

TEST_F(StartupGate, EmptyLineGoesStraightToTheVersionQuery) {
    std::string after;
    EXPECT_TRUE(gate("", &after));
    EXPECT_EQ(after, "");
    EXPECT_EQ(versionQueries, 1);
}

TEST_F(StartupGate, VersionFailureShowsTheStartupErrorAndStops) {
    versionFailure = 87;
    BoxRecorder recorder;
    EXPECT_FALSE(gate("x"));
    EXPECT_EQ(session.lastError, 87u);
    ASSERT_EQ(recorder.boxes().size(), 1u);
    EXPECT_EQ(recorder.boxes()[0].title, u8"Instalacja programu ");
    EXPECT_EQ(recorder.boxes()[0].text,
              u8"Instalator nie może uzyskać informacji o systemie Windows.  "
              u8"Wystąpił błąd numer : 87"
              u8"\nWykonanie Instalacji / Aktualizacji jest niemożliwe."
              u8"\nSkontaktuj się z PI Varnel.");
    EXPECT_TRUE(recorder.boxes()[0].errorIcon);
}

TEST_F(StartupGate, VersionFailureWithoutACodeStopsSilently) {
    versionMajor = 0;  // fails, and the error code stays 0
    BoxRecorder recorder;
    EXPECT_FALSE(gate(""));
    EXPECT_TRUE(recorder.boxes().empty());
    EXPECT_EQ(session.lastError, 0u);
}

TEST_F(StartupGate, ErrorCodeIsShownAsASignedNumber) {
    BoxRecorder recorder;
    showStartupError("Sytuacja.  ", 0x80070005u);
    ASSERT_EQ(recorder.boxes().size(), 1u);
    EXPECT_EQ(recorder.boxes()[0].text,
              u8"Sytuacja.  Wystąpił błąd numer : -2147024891"
              u8"\nWykonanie Instalacji / Aktualizacji jest niemożliwe."
              u8"\nSkontaktuj się z PI Varnel.");
}

TEST_F(StartupGate, RealVersionQueryPassesUnderWine) {
    queryWindowsVersion = GetVersionExA;
    EXPECT_TRUE(gate(""));
}

TEST(DllSearch, PlantedLibraryBesideTheProgramIsNeverLoaded) {
    // The planted library lies in the program's own folder, the first place
    // the default search looks: it loads until the search is restricted.
    ASSERT_TRUE(pathExists(programFolder() + "planted_probe.dll"));
    HMODULE planted = LoadLibraryA("planted_probe.dll");
    ASSERT_NE(planted, nullptr);
    FreeLibrary(planted);

    hardenDllSearch();
    planted = LoadLibraryA("planted_probe.dll");
    EXPECT_EQ(planted, nullptr);
    if (planted != NULL) FreeLibrary(planted);
    // System libraries still load by bare name.
    HMODULE cabinet = LoadLibraryA("cabinet.dll");
    EXPECT_NE(cabinet, nullptr);
    if (cabinet != NULL) FreeLibrary(cabinet);
}
