#include "install/pipeline.h"

#include <gtest/gtest.h>

#include "folders/working_folders.h"
#include "session/session.h"
#include "session/variants.h"
#include "tests/support/boxes.h"
#include "tests/support/cabinets.h"
#include "tests/support/files.h"
#include "tests/support/install_fixtures.h"
#include "tests/support/session_setup.h"

namespace {

// A local set in a start folder and a freshly prepared working tree, as the
// session has them when the pipeline runs.
class Pipeline : public ::testing::Test {
protected:
    void SetUp() override {
        startConfiguredSession();
        start = tempFolder() + "varnel_pipeline_start";
        removeTree(start);
        ASSERT_TRUE(makeProductSet(start));
        saved = currentFolder();
        SetCurrentDirectoryA(start.c_str());
        ASSERT_EQ(prepareWorkingFolders(), 1);
        session.sourceMode = 'L';
        session.runKind = 'A';
        strcpy(session.installerArg1, "A1");
        strcpy(session.installerArg2, "A2");
        strcpy(session.installerArg3, "A3");
        system.clear();
        clearStandinLogs();
    }
    void TearDown() override {
        releaseWorkingFolders();
        SetCurrentDirectoryA(saved.c_str());
        removeTree(start);
    }
    std::string start, saved;
    SystemFolderGuard system;
};

}  // namespace

TEST_F(Pipeline, LocalUpdateCopiesUnpacksInstallsAndStartsTheInstaller) {
    session.installLibraries = 1;
    BoxRecorder recorder;
    EXPECT_EQ(copyLocalFiles(), 1);
    EXPECT_TRUE(recorder.boxes().empty());
    EXPECT_EQ(listFolder(session.downloadFolder),
              "setup_sys.cab setup_tbrx_3_xx.exe setup_tbrx_3_xxa.cab setup_tbrx_3_xxb.cab");
    // The set spans into the b-cabinet: its own file is unpacked too.
    EXPECT_EQ(listFolder(session.startWorkFolder), "filler.bin instbrx.exe readme.txt");
    EXPECT_TRUE(pathExists(systemFolderPath() + "vncab.dll"));
    std::vector<std::string> started = waitForLogLines("varnel_installer.log", 1);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].substr(started[0].find('|') + 1),
              std::string(session.startWorkFolder) + "instbrx.exe  L " + start + "\\  A A1 A2 A3");
}

TEST_F(Pipeline, LibraryStepLeftOutStillUnpacksTheSystemCabinet) {
    session.installLibraries = 0;
    EXPECT_EQ(copyLocalFiles(), 1);
    EXPECT_EQ(listFolder(session.librariesFolder).size() > 0, true);
    EXPECT_TRUE(pathExists(std::string(session.librariesFolder) + "mscomctl.ocx"));
    for (const char* name : kLibraryNames) EXPECT_FALSE(pathExists(systemFolderPath() + name));
    EXPECT_EQ(waitForLogLines("varnel_installer.log", 1).size(), 1u);
}

TEST_F(Pipeline, MissingBCabinetStopsAfterThreeCopiesAndNothingIsUnpacked) {
    DeleteFileA((start + "\\setup_tbrx_3_xxb.cab").c_str());
    strcpy(session.displayName, "Tabrix Kalk");
    BoxRecorder recorder;
    EXPECT_EQ(copyLocalFiles(), 0);
    ASSERT_EQ(recorder.boxes().size(), 1u);
    EXPECT_EQ(recorder.boxes()[0].title, u8"Aktualizacja programu Tabrix Kalk");
    EXPECT_EQ(recorder.boxes()[0].text, u8"Brak jest pliku " + start + "\\setup_tbrx_3_xxb.cab");
    EXPECT_EQ(listFolder(session.downloadFolder),
              "setup_sys.cab setup_tbrx_3_xx.exe setup_tbrx_3_xxa.cab");
    EXPECT_EQ(listFolder(session.librariesFolder), "");
    EXPECT_EQ(listFolder(session.startWorkFolder), "");
}

TEST_F(Pipeline, FailedLibraryStepIsSummedUpByRunKindAndStartsNothing) {
    // A system cabinet without msvcr71.dll, and none installed.
    std::string parts = tempFolder() + "varnel_pipeline_parts";
    removeTree(parts);
    layOutLibraries(parts, "standin_v1400510.dll", {"msvcr71.dll"});
    std::vector<std::string> entries = {"setup_sys.cab"};
    for (const char* name : kLibraryNames)
        if (std::string(name) != "msvcr71.dll") entries.push_back(parts + "\\" + name + "=" + name);
    std::string download = session.downloadFolder;
    ASSERT_TRUE(makeCabinet(download.substr(0, download.size() - 1), entries));
    for (const char* name : {"setup_tbrx_3_xxa.cab", "setup_tbrx_3_xxb.cab"})
        CopyFileA((start + "\\" + name).c_str(), (download + name).c_str(), FALSE);
    removeTree(parts);
    strcpy(session.displayName, "Tabrix Kalk");

    for (char kind : {'A', 'I'}) {
        SCOPED_TRACE(kind);
        system.clear();
        clearStandinLogs();
        session.runKind = kind;
        session.installLibraries = 1;
        BoxRecorder recorder;
        EXPECT_EQ(runInstallPipeline(), 0);
        ASSERT_EQ(recorder.boxes().size(), 2u);
        EXPECT_EQ(recorder.boxes()[0].text,
                  u8"Brak jest pliku " + std::string(session.librariesFolder) + "msvcr71.dll");
        EXPECT_EQ(recorder.boxes()[1].text,
                  kind == 'A'
                      ? u8"Nie można wykonać aktualizacji bibliotek DLL i OCX\rAktualizacja nie powiodła się."
                      : u8"Nie można wykonać instalacji bibliotek DLL i OCX\rInstalacja nie powiodła się.");
        EXPECT_EQ(recorder.boxes()[1].title, kind == 'A' ? u8"Aktualizacja programu Tabrix Kalk"
                                                         : u8"Instalacja programu Tabrix Kalk");
        Sleep(300);
        EXPECT_TRUE(logLines("varnel_installer.log").empty());
    }
}

TEST_F(Pipeline, BrokenACabinetStopsAfterTheSystemCabinetWasUnpacked) {
    writeFile(start + "\\setup_tbrx_3_xxa.cab", "<html>404</html>");
    session.installLibraries = 1;
    BoxRecorder recorder;
    EXPECT_EQ(copyLocalFiles(), 0);
    ASSERT_EQ(recorder.boxes().size(), 1u);
    EXPECT_EQ(recorder.boxes()[0].text, u8"Plik " + std::string(session.downloadFolder) +
                                            "setup_tbrx_3_xxa.cab nie jest plikem CAB");
    EXPECT_TRUE(pathExists(std::string(session.librariesFolder) + "vncab.dll"));
    EXPECT_FALSE(pathExists(systemFolderPath() + "vncab.dll"));
}
