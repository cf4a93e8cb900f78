#include "session/run_mode.h"

#include <gtest/gtest.h>

#include <string>

#include "session/session.h"
#include "session/variants.h"
#include "session/windows_version.h"
#include "tests/support/boxes.h"
#include "tests/support/files.h"
#include "tests/support/session_setup.h"

namespace {

void freshSession() {
    startConfiguredSession();
}

struct Parsed {
    char runKind, sourceMode, clientFlag;
    std::string arg1, arg2, arg3;
};

Parsed parse(const std::string& line) {
    freshSession();
    parseCommandLine(line.c_str());
    return {session.runKind, session.sourceMode, session.clientFlag,
            session.installerArg1, session.installerArg2, session.installerArg3};
}

}  // namespace

TEST(CommandLine, ThreeArgumentsAfterTheFirstWordMakeAnUpdate) {
    Parsed p = parse("X A1 A2 A3");
    EXPECT_EQ(p.runKind, 'A');
    EXPECT_EQ(p.sourceMode, 'L');
    EXPECT_EQ(p.clientFlag, 0);
    EXPECT_EQ(p.arg1, "A1");
    EXPECT_EQ(p.arg2, "A2");
    EXPECT_EQ(p.arg3, "A3");

    p = parse("X A1 A2 A3 *KLIENT*");
    EXPECT_EQ(p.runKind, 'A');
    EXPECT_EQ(p.clientFlag, 'K');
    EXPECT_EQ(p.arg3, "A3");

    // Only the first eight characters of the last word are compared.
    p = parse("X A1 A2 A3 *KLIENT*XYZ");
    EXPECT_EQ(p.clientFlag, 'K');
    EXPECT_EQ(p.runKind, 'A');
    EXPECT_EQ(p.arg3, "A3");

    // Whatever stands before the three arguments is never used.
    p = parse("PROGRAM EXTRA WORDS A1 A2 A3");
    EXPECT_EQ(p.runKind, 'A');
    EXPECT_EQ(p.arg1, "A1");
}

TEST(CommandLine, ShortLinesLeaveAnInstallationWithWhatWasFound) {
    Parsed p = parse("*klient*");  // one word: no marker, nothing read
    EXPECT_EQ(p.runKind, 'I');
    EXPECT_EQ(p.clientFlag, 0);
    EXPECT_EQ(p.arg3, "");

    p = parse("A1 A2 A3");
    EXPECT_EQ(p.runKind, 'I');
    EXPECT_EQ(p.arg3, "A3");
    EXPECT_EQ(p.arg2, "A2");
    EXPECT_EQ(p.arg1, "");
    EXPECT_EQ(p.sourceMode, 0);

    p = parse("X Y");
    EXPECT_EQ(p.runKind, 'I');
    EXPECT_EQ(p.arg3, "Y");

    p = parse("X A1 A2 *KLIENT*");  // the marker does not count as a word
    EXPECT_EQ(p.runKind, 'I');
    EXPECT_EQ(p.clientFlag, 'K');
    EXPECT_EQ(p.arg3, "A2");
    EXPECT_EQ(p.arg2, "A1");

    p = parse("");
    EXPECT_EQ(p.runKind, 'I');
    EXPECT_EQ(p.arg1 + p.arg2 + p.arg3, "");
}

TEST(CommandLine, SpacesSeparateWordsOneByOne) {
    Parsed p = parse("X A1  A3");  // two spaces: an empty second argument
    EXPECT_EQ(p.runKind, 'A');
    EXPECT_EQ(p.arg1, "A1");
    EXPECT_EQ(p.arg2, "");
    EXPECT_EQ(p.arg3, "A3");

    p = parse("X A1 A2 \"C:\\MY");  // no quoting
    EXPECT_EQ(p.arg3, "\"C:\\MY");
    EXPECT_EQ(p.arg1, "A1");

    p = parse("X A1 A2 A3 ");  // a trailing space makes the last word empty
    EXPECT_EQ(p.runKind, 'A');
    EXPECT_EQ(p.arg3, "");
    EXPECT_EQ(p.arg2, "A3");
    EXPECT_EQ(p.arg1, "A2");
}

TEST(CommandLine, OverlongLinesAreNotReadAtAll) {
    // 259 characters still fit the working copy.
    std::string fits = "X A1 A2 " + std::string(251, 'P');
    ASSERT_EQ(fits.size(), 259u);
    Parsed p = parse(fits);
    EXPECT_EQ(p.runKind, 'A');
    EXPECT_EQ(p.arg3, std::string(251, 'P'));

    p = parse(fits + "Q");
    EXPECT_EQ(p.runKind, 'I');
    EXPECT_EQ(p.clientFlag, 0);
    EXPECT_EQ(p.arg1 + p.arg2 + p.arg3, "");

    // Several thousand characters, marker included.
    std::string huge = "X " + std::string(5000, 'A') + " B C *KLIENT*";
    p = parse(huge);
    EXPECT_EQ(p.runKind, 'I');
    EXPECT_EQ(p.clientFlag, 0);
}

TEST(CommandLine, OverlongWordStopsTheParserAtItsField) {
    // The second argument has room for 11 characters.
    Parsed p = parse("X A1 " + std::string(11, 'B') + " A3");
    EXPECT_EQ(p.runKind, 'A');
    EXPECT_EQ(p.arg2, std::string(11, 'B'));

    p = parse("X A1 " + std::string(12, 'B') + " A3");
    EXPECT_EQ(p.runKind, 'I');
    EXPECT_EQ(p.arg3, "A3");  // found before the parser gave up
    EXPECT_EQ(p.arg2, "");
    EXPECT_EQ(p.arg1, "");

    // The first argument has room for 51.
    p = parse("X " + std::string(51, 'C') + " B A3");
    EXPECT_EQ(p.runKind, 'A');
    p = parse("X " + std::string(52, 'C') + " B A3 *KLIENT*");
    EXPECT_EQ(p.runKind, 'I');
    EXPECT_EQ(p.arg2, "B");
    EXPECT_EQ(p.arg1, "");
}

class LocalFiles : public ::testing::Test {
protected:
    void SetUp() override {
        freshSession();
        folder = tempFolder() + "varnel_local";
        removeTree(folder);
        makeFolders(folder);
        strcpy(session.startFolder, (folder + "\\").c_str());
    }
    void TearDown() override { removeTree(folder); }
    void place(const char* name) { writeFile(folder + "\\" + name, "MSCF"); }
    std::string folder;
};

TEST_F(LocalFiles, AllThreeCabinetsSelectLocalModeEvenWithoutTheSetupProgram) {
    place("setup_sys.cab");
    place("setup_tbrx_3_xxa.cab");
    place("setup_tbrx_3_xxb.cab");
    EXPECT_TRUE(detectLocalFiles());
    EXPECT_EQ(session.sourceMode, 'L');
    EXPECT_EQ(session.localFilesPresent, 1);
    EXPECT_EQ(session.installLibraries, 1);
}

TEST_F(LocalFiles, AnyMissingCabinetMeansInternetMode) {
    const char* names[3] = {"setup_sys.cab", "setup_tbrx_3_xxa.cab", "setup_tbrx_3_xxb.cab"};
    for (int missing = 0; missing < 3; ++missing) {
        SCOPED_TRACE(names[missing]);
        removeTree(folder);
        makeFolders(folder);
        for (int i = 0; i < 3; ++i)
            if (i != missing) place(names[i]);
        session.sourceMode = 'L';
        session.localFilesPresent = 1;
        session.installLibraries = 0;
        EXPECT_FALSE(detectLocalFiles());
        EXPECT_EQ(session.sourceMode, 'I');
        EXPECT_EQ(session.localFilesPresent, 0);
        EXPECT_EQ(session.installLibraries, 1);
    }
}

TEST_F(LocalFiles, WildcardInTheStartFolderFindsNothing) {
    place("setup_sys.cab");
    place("setup_tbrx_3_xxa.cab");
    place("setup_tbrx_3_xxb.cab");
    // The search takes the path as a pattern; a '?' in a folder part is
    // refused by the file system, so the cabinets count as absent.
    strcpy(session.startFolder, (tempFolder() + "varnel_loc?l\\").c_str());
    EXPECT_FALSE(detectLocalFiles());
    EXPECT_EQ(session.sourceMode, 'I');
}

namespace {

DWORD fakeMajor, fakeMinor;
int extendedCalls, basicCalls;
bool extendedFails, basicFails;

BOOL WINAPI fakeVersion(LPOSVERSIONINFOA info) {
    if (info->dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXA)) {
        ++extendedCalls;
        if (extendedFails) return FALSE;
    } else {
        EXPECT_EQ(info->dwOSVersionInfoSize, 148u);
        ++basicCalls;
        if (basicFails) return FALSE;
    }
    info->dwMajorVersion = fakeMajor;
    info->dwMinorVersion = fakeMinor;
    return TRUE;
}

std::vector<SeenBox> warningsFor(DWORD major, DWORD minor, bool extendedFail = false,
                                 bool basicFail = false) {
    freshSession();
    fakeMajor = major;
    fakeMinor = minor;
    extendedCalls = basicCalls = 0;
    extendedFails = extendedFail;
    basicFails = basicFail;
    queryWindowsVersion = fakeVersion;
    BoxRecorder recorder;
    EXPECT_TRUE(warnIfBeforeXp());
    queryWindowsVersion = GetVersionExA;
    return recorder.boxes();
}

}  // namespace

TEST(OldWindows, Windows2000IsWarnedAndXpIsNot) {
    std::vector<SeenBox> boxes = warningsFor(5, 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, u8"Instalacja programu Tabrix Kalk");
    EXPECT_EQ(boxes[0].text,
              u8"Program wymaga systemu operacyjnego minimum Windows XP.\n"
              u8"W tym systemie operacyjnym niektóre funkcje mogą działać nieprawidłowo.\n"
              u8"Dotyczy to zwłaszcza obsługi formularzy w postaci PDF.");
    EXPECT_EQ(extendedCalls, 1);
    EXPECT_EQ(basicCalls, 0);

    EXPECT_EQ(warningsFor(4, 10).size(), 1u);
    EXPECT_TRUE(warningsFor(5, 1).empty());
    EXPECT_TRUE(warningsFor(5, 2).empty());
    EXPECT_TRUE(warningsFor(6, 0).empty());
    EXPECT_TRUE(warningsFor(10, 0).empty());
}

TEST(OldWindows, FallsBackToTheBasicQueryAndIsSilentWhenBothFail) {
    EXPECT_EQ(warningsFor(5, 0, true).size(), 1u);
    EXPECT_EQ(extendedCalls, 1);
    EXPECT_EQ(basicCalls, 1);
    EXPECT_TRUE(warningsFor(5, 0, true, true).empty());
    EXPECT_EQ(basicCalls, 1);
}

TEST(OldWindows, RealQueryUnderWineIsNewEnough) {
    freshSession();
    BoxRecorder recorder;
    EXPECT_TRUE(warnIfBeforeXp());
    EXPECT_TRUE(recorder.boxes().empty());
}
