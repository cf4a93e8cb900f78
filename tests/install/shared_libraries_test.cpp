#include "install/shared_libraries.h"

#include <gtest/gtest.h>

#include "session/session.h"
#include "tests/support/boxes.h"
#include "tests/support/files.h"
#include "tests/support/install_fixtures.h"

namespace {

class SharedLibraries : public ::testing::Test {
protected:
    void SetUp() override {
        resetSession();
        strcpy(session.displayName, "Tabrix Kalk");
        session.runKind = 'I';
        libraries = tempFolder() + "varnel_libraries\\";
        removeTree(libraries);
        layOutLibraries(libraries);
        strcpy(session.librariesFolder, libraries.c_str());
        strcpy(session.systemFolder, systemFolderPath().c_str());
        system.clear();
        clearStandinLogs();
    }
    void TearDown() override { removeTree(libraries); }

    // Every library already installed, the maker's two with the same time.
    void installAll() {
        for (const char* name : kLibraryNames) {
            std::string target = systemFolderPath() + name;
            CopyFileA((libraries + name).c_str(), target.c_str(), FALSE);
        }
    }
    // The COM registrations regsvr32 made, after its processes had time.
    std::vector<std::string> registrations(size_t expected) {
        return waitForLogLines("varnel_regsvr.log", expected, expected == 0 ? 1500 : 10000);
    }

    SystemFolderGuard system;
    std::string libraries;
};

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

TEST_F(SharedLibraries, TableListsTheFourteenFilesInOrderWithTheirRules) {
    const char* rules = "11112233333344";
    for (int i = 0; i < 14; ++i) {
        SCOPED_TRACE(i);
        EXPECT_STREQ(sharedLibraryTable[i].fileName, kLibraryNames[i]);
        EXPECT_EQ(static_cast<int>(sharedLibraryTable[i].rule), rules[i] - '0');
    }
    EXPECT_STREQ(sharedLibraryTable[12].versionFunction, "_VNCAB_Wersja");
    EXPECT_STREQ(sharedLibraryTable[13].versionFunction, "_VNAPIWIN_Wersja");
    EXPECT_EQ(sharedLibraryTable[0].versionFunction, nullptr);
}

TEST_F(SharedLibraries, NothingHappensWhenAllArePresentAndTheMakersAgreeToTheMinute) {
    installAll();
    // What killed runs left beside the libraries goes; what is not the
    // program's own stays.
    const char* const leftovers[] = {"vncab.dll.4242.varnel_nowy", "MSVCR71.DLL.varnel_nowy",
                                     "mscomctl.ocx.17.varnel_stary"};
    const char* const kept[] = {"vncab.dll.x1.varnel_nowy", "vncab.dll.4242.varnel_nowy.txt"};
    for (const char* name : leftovers) writeFile(systemFolderPath() + name, "x");
    for (const char* name : kept) writeFile(systemFolderPath() + name, "x");
    // Seconds alone differ: still the same minute.
    setWriteTime(systemFolderPath() + "vncab.dll", 2024, 5, 6, 7, 8, 59);
    writeFile(systemFolderPath() + "mscomctl.ocx", "installed earlier");
    BoxRecorder recorder;
    EXPECT_EQ(installSharedLibraries(), 1);
    EXPECT_TRUE(recorder.boxes().empty());
    EXPECT_EQ(writeTime(systemFolderPath() + "vncab.dll").wSecond, 59);
    EXPECT_EQ(readFile(systemFolderPath() + "mscomctl.ocx"), "installed earlier");
    EXPECT_TRUE(registrations(0).empty());
    for (const char* name : leftovers) EXPECT_FALSE(pathExists(systemFolderPath() + name)) << name;
    for (const char* name : kept) {
        EXPECT_TRUE(pathExists(systemFolderPath() + name)) << name;
        DeleteFileA((systemFolderPath() + name).c_str());
    }
}

TEST_F(SharedLibraries, MakersLibraryOneMinuteApartEitherWayIsReplaced) {
    for (WORD minute : {7, 9}) {
        SCOPED_TRACE(minute);
        installAll();
        setWriteTime(systemFolderPath() + "vnapiwin.dll", 2024, 5, 6, 7, minute, 10);
        EXPECT_EQ(installSharedLibraries(), 1);
        EXPECT_EQ(writeTime(systemFolderPath() + "vnapiwin.dll").wMinute, 8);
    }
    EXPECT_EQ(sameWriteMinute((libraries + "vncab.dll").c_str(),
                              (systemFolderPath() + "vncab.dll").c_str()),
              1);
    EXPECT_EQ(sameWriteMinute((libraries + "vncab.dll").c_str(),
                              (libraries + "absent.dll").c_str()),
              0);
}

// Also run as an unprivileged user (see tests/CMakeLists.txt): Wine run by
// root overwrites read-only files, which Windows never does.
TEST_F(SharedLibraries, ReadOnlyOldCopyIsReplacedAndNoCopyIsLeftReadOnly) {
    installAll();
    std::string maker = systemFolderPath() + "vncab.dll";
    setWriteTime(maker, 2024, 5, 6, 7, 9, 10);
    SetFileAttributesA(maker.c_str(),
                       FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    // A missing library whose source is read-only and hidden.
    DeleteFileA((systemFolderPath() + "msvcr70.dll").c_str());
    SetFileAttributesA((libraries + "msvcr70.dll").c_str(),
                       FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    BoxRecorder recorder;
    EXPECT_EQ(installSharedLibraries(), 1);
    EXPECT_TRUE(recorder.boxes().empty());
    EXPECT_EQ(writeTime(maker).wMinute, 8);
    for (const char* name : {"vncab.dll", "msvcr70.dll"}) {
        SCOPED_TRACE(name);
        DWORD attributes = GetFileAttributesA((systemFolderPath() + name).c_str());
        ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                FILE_ATTRIBUTE_SYSTEM), 0u);
    }
    SetFileAttributesA((libraries + "msvcr70.dll").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A copy cut short by a power cut keeps its name: it counts as absent and is
// replaced, under every rule. A whole file stays, whatever it holds.
TEST_F(SharedLibraries, CutOrEmptyCopyIsReplacedAndAWholeOneKept) {
    installAll();
    std::string whole = readFile(libraries + "msvcr71.dll");
    const struct {
        const char* name;
        size_t kept;  // bytes of the installed copy left
    } cut[] = {{"msvcr71.dll", whole.size() / 2}, {"vfp7r.dll", 0}, {"mscomctl.ocx", 700},
               {"vncab.dll", whole.size() - 1}, {"ssleay32.dll", 1}};
    for (const auto& c : cut) {
        std::string target = systemFolderPath() + c.name;
        writeFile(target, readFile(target).substr(0, c.kept));
        setWriteTime(target, 2024, 5, 6, 7, 8, 10);  // the cabinet's minute
    }
    writeFile(systemFolderPath() + "msmapi32.ocx", "no image at all");
    BoxRecorder recorder;
    EXPECT_EQ(installSharedLibraries(), 1);
    EXPECT_TRUE(recorder.boxes().empty());
    for (const auto& c : cut)
        EXPECT_TRUE(readFile(systemFolderPath() + c.name) == readFile(libraries + c.name)) << c.name;
    EXPECT_EQ(readFile(systemFolderPath() + "msmapi32.ocx"), "no image at all");
    EXPECT_EQ(listFolder(systemFolderPath()).find("varnel_nowy"), std::string::npos);
}

TEST_F(SharedLibraries, MissingComponentIsCopiedAndRegisteredByTheRealRegsvr32) {
    installAll();
    DeleteFileA((systemFolderPath() + "mscomctl.ocx").c_str());
    BoxRecorder recorder;
    EXPECT_EQ(installSharedLibraries(), 1);
    EXPECT_TRUE(recorder.boxes().empty());
    EXPECT_TRUE(pathExists(systemFolderPath() + "mscomctl.ocx"));
    std::vector<std::string> registered = registrations(1);
    ASSERT_EQ(registered.size(), 1u);
    EXPECT_EQ(lower(registered[0]), lower(systemFolderPath() + "mscomctl.ocx"));
}

TEST_F(SharedLibraries, EmptySystemFolderGetsAllFourteenAndSixRegistrations) {
    BoxRecorder recorder;
    EXPECT_EQ(installSharedLibraries(), 1);
    EXPECT_TRUE(recorder.boxes().empty());
    for (const char* name : kLibraryNames) EXPECT_TRUE(pathExists(systemFolderPath() + name)) << name;
    std::vector<std::string> registered = registrations(6);
    EXPECT_EQ(registered.size(), 6u);  // the R3 entries, and only those
    for (const std::string& path : registered) {
        std::string name = lower(path.substr(path.find_last_of('\\') + 1));
        EXPECT_TRUE(name == "chilkatftp2.dll" || name == "debenupdflibraryax0912.dll" ||
                    name.find(".ocx") != std::string::npos)
            << path;
    }
}

TEST_F(SharedLibraries, MissingSourceOfARequiredLibraryFailsTheStep) {
    DeleteFileA((libraries + "msvcr71.dll").c_str());
    BoxRecorder recorder;
    EXPECT_EQ(installSharedLibraries(), 0);
    ASSERT_EQ(recorder.boxes().size(), 1u);
    EXPECT_EQ(recorder.boxes()[0].text, u8"Brak jest pliku " + libraries + "msvcr71.dll");
    // The walk stopped there.
    EXPECT_FALSE(pathExists(systemFolderPath() + "vfp7r.dll"));
}

TEST_F(SharedLibraries, MissingSourceOfAComponentIsReportedAndTheStepGoesOn) {
    DeleteFileA((libraries + "richtx32.ocx").c_str());
    BoxRecorder recorder;
    EXPECT_EQ(installSharedLibraries(), 1);
    ASSERT_EQ(recorder.boxes().size(), 1u);
    EXPECT_EQ(recorder.boxes()[0].text, u8"Brak jest pliku " + libraries + "richtx32.ocx");
    EXPECT_TRUE(pathExists(systemFolderPath() + "vnapiwin.dll"));
}

TEST_F(SharedLibraries, FoxProRuntimeThatCannotBeCopiedFailsTheStep) {
    DeleteFileA((libraries + "vfp7renu.dll").c_str());
    BoxRecorder recorder;
    EXPECT_EQ(installSharedLibraries(), 0);
    ASSERT_EQ(recorder.boxes().size(), 1u);
    EXPECT_EQ(recorder.boxes()[0].text, u8"Brak jest pliku " + libraries + "vfp7renu.dll");
    EXPECT_TRUE(pathExists(systemFolderPath() + "vfp7r.dll"));
    EXPECT_FALSE(pathExists(systemFolderPath() + "ChilKatFtp2.dll"));
}

TEST_F(SharedLibraries, RegistrationQuotesAPathWithBlanks) {
    std::string spaced = tempFolder() + "varnel sys folder\\";
    removeTree(spaced.substr(0, spaced.size() - 1));
    makeFolders(spaced.substr(0, spaced.size() - 1));
    std::string component = spaced + "mscomm32.ocx";
    CopyFileA((programFolder() + "standin_plain.dll").c_str(), component.c_str(), FALSE);
    strcpy(session.systemFolder, spaced.c_str());
    EXPECT_EQ(registerComponent(component.c_str()), 1);
    std::vector<std::string> registered = registrations(1);
    ASSERT_EQ(registered.size(), 1u);
    EXPECT_EQ(lower(registered[0]), lower(component));
    EXPECT_EQ(registerComponent((spaced + "absent.ocx").c_str()), 0);
    removeTree(spaced.substr(0, spaced.size() - 1));
}
