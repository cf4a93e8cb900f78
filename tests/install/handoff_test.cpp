#include "install/handoff.h"

#include <gtest/gtest.h>

#include "session/session.h"
#include "session/variants.h"
#include "tests/support/boxes.h"
#include "tests/support/files.h"
#include "tests/support/install_fixtures.h"
#include "tests/support/session_setup.h"

namespace {

class Handoff : public ::testing::Test {
protected:
    void SetUp() override {
        startConfiguredSession();
        base = tempFolder() + "varnel_handoff";
        removeTree(base);
        work = base + "\\work\\";
        makeFolders(base + "\\work");
        makeFolders(base + "\\start here");
        strcpy(session.startWorkFolder, work.c_str());
        strcpy(session.startFolder, (base + "\\start here\\").c_str());
        clearStandinLogs();
    }
    void TearDown() override { removeTree(base); }
    void placeInstaller(const std::string& folder) {
        ASSERT_TRUE(CopyFileA((programFolder() + "standin_installer.exe").c_str(),
                              (folder + "instbrx.exe").c_str(), FALSE));
    }
    // The one start the stand-in recorded: working folder and command line.
    std::pair<std::string, std::string> started() {
        std::vector<std::string> lines = waitForLogLines("varnel_installer.log", 1);
        if (lines.size() != 1) return {};
        size_t bar = lines[0].find('|');
        return {lines[0].substr(0, bar), lines[0].substr(bar + 1)};
    }
    std::string base, work;
};

std::string withoutTrailingBackslash(const std::string& folder) {
    return folder.substr(0, folder.size() - 1);
}

}  // namespace

TEST_F(Handoff, InstallationNamesTheModeAndTheEncodedStartFolder) {
    placeInstaller(work);
    session.runKind = 'I';
    session.sourceMode = 'I';
    session.clientFlag = 'K';  // not used outside an update
    strcpy(session.installerArg1, "A1");
    EXPECT_EQ(startInstaller(), 1);
    auto [folder, line] = started();
    EXPECT_STRCASEEQ(folder.c_str(), withoutTrailingBackslash(work).c_str());
    EXPECT_EQ(line, work + "instbrx.exe  I " + base + "\\start?here\\ ");
}

TEST_F(Handoff, LocalModeGivesTheLetterL) {
    placeInstaller(work);
    session.runKind = 'I';
    session.sourceMode = 'L';
    EXPECT_EQ(startInstaller(), 1);
    EXPECT_EQ(started().second, work + "instbrx.exe  L " + base + "\\start?here\\ ");
}

TEST_F(Handoff, UpdateForwardsTheThreeWordsAndTheClientMarkerInLowerCase) {
    placeInstaller(work);
    session.runKind = 'A';
    session.sourceMode = 'L';
    strcpy(session.installerArg1, "A1");
    strcpy(session.installerArg2, "A2");
    strcpy(session.installerArg3, "C:\\MOJE DANE\\");
    session.clientFlag = 'K';
    EXPECT_EQ(startInstaller(), 1);
    EXPECT_EQ(started().second, work + "instbrx.exe  L " + base +
                                    "\\start?here\\  A A1 A2 C:\\MOJE?DANE\\ *klient*");
    // The session keeps its blanks.
    EXPECT_STREQ(session.installerArg3, "C:\\MOJE DANE\\");

    clearStandinLogs();
    session.clientFlag = 0;
    EXPECT_EQ(startInstaller(), 1);
    EXPECT_EQ(started().second,
              work + "instbrx.exe  L " + base + "\\start?here\\  A A1 A2 C:\\MOJE?DANE\\");
}

TEST_F(Handoff, MissingInstallerIsReportedWithTheEncodedPath) {
    session.runKind = 'I';
    BoxRecorder recorder;
    EXPECT_EQ(startInstaller(), 0);
    ASSERT_EQ(recorder.boxes().size(), 1u);
    EXPECT_EQ(recorder.boxes()[0].text, u8"Brak jest pliku instalatora " + work + "instbrx.exe");
    EXPECT_EQ(recorder.boxes()[0].title, u8"Instalacja programu Tabrix Kalk");
}

TEST_F(Handoff, InstallerThatCannotStartIsReportedWithTheWholeCommandLine) {
    writeFile(work + "instbrx.exe", "not a program");
    session.runKind = 'A';
    session.sourceMode = 'L';
    strcpy(session.installerArg1, "A1");
    strcpy(session.installerArg2, "A2");
    strcpy(session.installerArg3, "A3");
    BoxRecorder recorder;
    EXPECT_EQ(startInstaller(), 0);
    ASSERT_EQ(recorder.boxes().size(), 1u);
    EXPECT_EQ(recorder.boxes()[0].text, u8"Nie można uruchomić programu " + work +
                                            "instbrx.exe  L " + base +
                                            "\\start?here\\  A A1 A2 A3");
    EXPECT_EQ(recorder.boxes()[0].title, u8"Aktualizacja programu Tabrix Kalk");
}

TEST_F(Handoff, WorkFolderWithABlankStartsTheRealPathQuoted) {
    // With a blank in the temporary path the encoded path would name no file.
    std::string spaced = base + "\\my temp\\start\\";
    makeFolders(base + "\\my temp\\start");
    placeInstaller(spaced);
    strcpy(session.startWorkFolder, spaced.c_str());
    session.runKind = 'I';
    session.sourceMode = 'I';
    BoxRecorder recorder;
    EXPECT_EQ(startInstaller(), 1);
    EXPECT_TRUE(recorder.boxes().empty());
    auto [folder, line] = started();
    EXPECT_STRCASEEQ(folder.c_str(), withoutTrailingBackslash(spaced).c_str());
    EXPECT_EQ(line, "\"" + spaced + "instbrx.exe\"  I " + base + "\\start?here\\ ");
}
