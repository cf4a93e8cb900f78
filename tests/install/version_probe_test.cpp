#include "install/version_probe.h"

#include <gtest/gtest.h>

#include "session/session.h"
#include "startup/startup_checks.h"
#include "tests/support/files.h"
#include "tests/support/install_fixtures.h"

namespace {

class VersionProbe : public ::testing::Test {
protected:
    void SetUp() override {
        resetSession();
        strcpy(session.systemFolder, systemFolderPath().c_str());
        // As the program does first: libraries by bare name come only from
        // the system folder.
        hardenDllSearch();
        system.clear();
        clearStandinLogs();
    }
    void installWith(const std::string& makerVariant, const std::set<std::string>& skip = {}) {
        system.clear();
        layOutLibraries(systemFolderPath(), makerVariant, skip);
    }
    SystemFolderGuard system;
};

}  // namespace

TEST(VersionNumber, DigitsWithoutTheDotsReadAsAtoiReadsThem) {
    EXPECT_EQ(versionNumber("1.400510"), 1400510);
    EXPECT_EQ(versionNumber("1.40.0510"), 1400510);
    EXPECT_EQ(versionNumber("1.40" "0510"), 1400510);
    EXPECT_EQ(versionNumber("1.5"), 15);
    EXPECT_EQ(versionNumber("2.0"), 20);
    EXPECT_EQ(versionNumber("  12x3"), 12);
    EXPECT_EQ(versionNumber("         "), 0);
    EXPECT_EQ(versionNumber(""), 0);
    EXPECT_EQ(versionNumber("-1.5"), -15);
    EXPECT_EQ(versionNumber("1.2.3.4.5.6.7.8.9"), 123456789);  // nine digits fit
    // More than nine characters besides the dots do not fit the number's
    // room and read as 0, which fails any check.
    EXPECT_EQ(versionNumber("1234567890"), 0);
    EXPECT_EQ(versionNumber("1.4005100000"), 0);
}

TEST_F(VersionProbe, CurrentLibrariesPass) {
    installWith("standin_v1400510.dll");
    EXPECT_EQ(checkLibrary("vncab.dll", "_VNCAB_Wersja"), 1);
    EXPECT_EQ(checkLibrary("vnapiwin.dll", "_VNAPIWIN_Wersja"), 1);
    EXPECT_EQ(probeSharedLibraries(), 1);
    installWith("standin_v1400511.dll");
    EXPECT_EQ(probeSharedLibraries(), 1);
}

TEST_F(VersionProbe, OlderOrOddVersionsFail) {
    for (const char* variant : {"standin_v1400509.dll", "standin_v20.dll", "standin_vspaces.dll",
                                "standin_vzero.dll", "standin_plain.dll", "standin_vlong.dll"}) {
        SCOPED_TRACE(variant);
        installWith(variant);
        EXPECT_EQ(checkLibrary("vncab.dll", "_VNCAB_Wersja"), 0);
        EXPECT_EQ(probeSharedLibraries(), 0);
    }
}

TEST_F(VersionProbe, PlainEntriesNeedOnlyToBePresent) {
    installWith("standin_v1400510.dll");
    EXPECT_EQ(checkLibrary("mscomctl.ocx", NULL), 1);
    EXPECT_EQ(checkLibrary("absent.ocx", NULL), 0);
    EXPECT_EQ(checkLibrary("absent.dll", "_VNCAB_Wersja"), 0);
    // Cut or empty is as good as absent.
    std::string whole = readFile(systemFolderPath() + "msvcr71.dll");
    writeFile(systemFolderPath() + "msvcr71.dll", whole.substr(0, whole.size() - 1));
    writeFile(systemFolderPath() + "vncab.dll", "");
    EXPECT_EQ(checkLibrary("msvcr71.dll", NULL), 0);
    EXPECT_EQ(checkLibrary("vncab.dll", "_VNCAB_Wersja"), 0);
}

TEST_F(VersionProbe, FirstMissingFileStopsTheWalkBeforeTheMakersLibrariesLoad) {
    installWith("standin_v1400510.dll", {"msvcr70.dll"});
    EXPECT_EQ(probeSharedLibraries(), 0);
    EXPECT_TRUE(logLines("varnel_loads.log").empty());

    // With everything present both are loaded once, and freed again.
    installWith("standin_v1400510.dll");
    EXPECT_EQ(probeSharedLibraries(), 1);
    std::vector<std::string> loads = logLines("varnel_loads.log");
    ASSERT_EQ(loads.size(), 2u);
    EXPECT_NE(loads[0].find("vncab.dll"), std::string::npos);
    EXPECT_NE(loads[1].find("vnapiwin.dll"), std::string::npos);
    EXPECT_EQ(GetModuleHandleA("vncab.dll"), nullptr);
}

TEST_F(VersionProbe, LibraryBesideTheProgramIsNotTheOneLoaded) {
    // A current vncab.dll planted beside the program, an old one installed:
    // the installed one decides.
    installWith("standin_v1400509.dll");
    std::string planted = programFolder() + "vncab.dll";
    CopyFileA((programFolder() + "standin_v1400510.dll").c_str(), planted.c_str(), FALSE);
    EXPECT_EQ(checkLibrary("vncab.dll", "_VNCAB_Wersja"), 0);
    DeleteFileA(planted.c_str());
}

TEST_F(VersionProbe, VersionFunctionsOfEitherCallingConventionAreCalledSafely) {
    // On 32-bit x86 a stdcall function pops its own argument: a caller that
    // expects cdecl is left with its stack four bytes off and breaks (and the
    // reverse). Called over and over, any drift would show.
    for (const char* variant : {"standin_v1400510.dll", "standin_stdcall.dll"}) {
        SCOPED_TRACE(variant);
        installWith(variant);
        for (int i = 0; i < 100; ++i) {
            ASSERT_EQ(checkLibrary("vncab.dll", "_VNCAB_Wersja"), 1);
            ASSERT_EQ(checkLibrary("vnapiwin.dll", "_VNAPIWIN_Wersja"), 1);
        }
        EXPECT_EQ(probeSharedLibraries(), 1);
    }
}
