#include "folders/held_folders.h"
#include "folders/working_folders.h"

#include <gtest/gtest.h>

#include <string>

#include "session/session.h"
#include "session/variants.h"
#include "tests/support/boxes.h"
#include "tests/support/files.h"
#include "tests/support/session_setup.h"

namespace {

class WorkingFolders : public ::testing::Test {
protected:
    void SetUp() override {
        startConfiguredSession();
        temp = tempFolder();
        workRoot = temp + "varnel";
        removeTree(workRoot);
        savedCurrent = currentFolder();
        savedTmp = environment("TMP");
        savedTemp = environment("TEMP");
    }
    void TearDown() override {
        lookupIsWow64Process = findIsWow64Process;
        oldTreeDeleted = NULL;
        releaseWorkingFolders();
        SetCurrentDirectoryA(savedCurrent.c_str());
        SetEnvironmentVariableA("TMP", savedTmp.c_str());
        SetEnvironmentVariableA("TEMP", savedTemp.c_str());
    }
    static std::string environment(const char* name) {
        char value[1024] = "";
        GetEnvironmentVariableA(name, value, sizeof value);
        return value;
    }
    void expectFreshTree() {
        EXPECT_EQ(listFolder(workRoot), "biblioteki instalacja start");
        EXPECT_EQ(listFolder(workRoot + "\\start"), "");
        EXPECT_EQ(listFolder(workRoot + "\\biblioteki"), "");
        EXPECT_EQ(listFolder(workRoot + "\\instalacja"), "");
    }
    std::string temp, workRoot, savedCurrent, savedTmp, savedTemp;
};

BOOL WINAPI answersWow64(HANDLE, PBOOL wow64) {
    *wow64 = TRUE;
    return TRUE;
}
BOOL WINAPI failsToAnswer(HANDLE, PBOOL) { return FALSE; }
IsWow64ProcessFn lookupAnsweringWow64() { return answersWow64; }
IsWow64ProcessFn lookupFailing() { return failsToAnswer; }
IsWow64ProcessFn lookupMissing() { return NULL; }

}  // namespace

TEST_F(WorkingFolders, FirstRunCreatesTheTreeAndFillsEveryField) {
    BoxRecorder recorder;
    EXPECT_EQ(prepareWorkingFolders(), 1);
    EXPECT_TRUE(recorder.boxes().empty());
    expectFreshTree();
    EXPECT_EQ(std::string(session.startFolder), savedCurrent + "\\");
    EXPECT_EQ(std::string(session.startWorkFolder), temp + "varnel\\start\\");
    EXPECT_EQ(std::string(session.librariesFolder), temp + "varnel\\biblioteki\\");
    EXPECT_EQ(std::string(session.downloadFolder), temp + "varnel\\instalacja\\");
    EXPECT_STRCASEEQ(session.windowsFolder, "C:\\windows");
#ifdef _WIN64
    // A 64-bit process is never under WOW64.
    EXPECT_EQ(std::string(session.systemFolder), std::string(session.windowsFolder) + "\\System32\\");
#else
    // The 32-bit program on 64-bit Windows: the real IsWow64Process says so,
    // and the libraries go where 32-bit programs find them.
    EXPECT_EQ(std::string(session.systemFolder), std::string(session.windowsFolder) + "\\SysWOW64\\");
#endif
}

TEST_F(WorkingFolders, OldNestedTreeWithReadOnlyHiddenAndSystemFilesIsReplaced) {
    std::string deep = workRoot + "\\start\\a\\b\\c\\d";
    makeFolders(deep);
    makeFolders(workRoot + "\\inne");
    writeFile(deep + "\\ro.dll", "x");
    SetFileAttributesA((deep + "\\ro.dll").c_str(), FILE_ATTRIBUTE_READONLY);
    writeFile(workRoot + "\\start\\a\\hidden.txt", "x");
    SetFileAttributesA((workRoot + "\\start\\a\\hidden.txt").c_str(),
                       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    writeFile(workRoot + "\\instalacja\\setup_sys.cab", "old");
    writeFile(workRoot + "\\top.txt", "x");
    SetFileAttributesA((workRoot + "\\top.txt").c_str(), FILE_ATTRIBUTE_READONLY);

    BoxRecorder recorder;
    EXPECT_EQ(prepareWorkingFolders(), 1);
    EXPECT_TRUE(recorder.boxes().empty());
    expectFreshTree();
}

// Held open in any sharing mode, a file of the old tree stops the run before
// anything of the tree is deleted: the installer of an earlier run may still
// be working from it.
TEST_F(WorkingFolders, FileHeldOpenStopsTheRunWithTheDeletionMessageAndNothingIsDeleted) {
    const char* const files[] = {"start\\instbrx.exe", "start\\a\\readme.txt",
                                 "biblioteki\\vncab.dll", "instalacja\\setup_sys.cab", "top.txt"};
    for (const char* name : files) {
        std::string path = workRoot + "\\" + name;
        makeFolders(path.substr(0, path.find_last_of('\\')));
        writeFile(path, "x");
    }
    std::string held = workRoot + "\\instalacja\\setup_sys.cab";
    const DWORD sharing[] = {FILE_SHARE_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE};
    BoxRecorder recorder;
    // The installer of an earlier run works in start: its current folder.
    ASSERT_TRUE(SetCurrentDirectoryA((workRoot + "\\start").c_str()));
    EXPECT_EQ(prepareWorkingFolders(), 0);
    SetCurrentDirectoryA(savedCurrent.c_str());
    for (const char* name : files) EXPECT_TRUE(pathExists(workRoot + "\\" + name)) << name;
    for (DWORD share : sharing) {
        SCOPED_TRACE(share);
        HANDLE file = CreateFileA(held.c_str(), GENERIC_READ, share, NULL, OPEN_EXISTING, 0, NULL);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        EXPECT_EQ(prepareWorkingFolders(), 0);
        CloseHandle(file);
        for (const char* name : files) EXPECT_TRUE(pathExists(workRoot + "\\" + name)) << name;
    }
    ASSERT_EQ(recorder.boxes().size(), 3u);
    EXPECT_EQ(recorder.boxes()[0].title, u8"Instalacja programu Tabrix Kalk");
    EXPECT_EQ(recorder.boxes()[0].text, u8"Nie można usunąć folderu tymczasowego " + workRoot);
    // The fields of the steps before the deletion stay; the working ones are unset.
    EXPECT_EQ(std::string(session.startFolder), savedCurrent + "\\");
    EXPECT_NE(std::string(session.systemFolder), "");
    EXPECT_STREQ(session.startWorkFolder, "");
    EXPECT_STREQ(session.downloadFolder, "");
    EXPECT_TRUE(pathExists(held));
}

TEST_F(WorkingFolders, LinkInsideTheOldTreeNeverReachesWhatItPointsAt) {
    std::string outside = temp + "varnel_outside";
    removeTree(outside);
    makeFolders(outside + "\\inner");
    writeFile(outside + "\\keep.txt", "keep");
    writeFile(outside + "\\inner\\keep.dll", "keep");
    makeFolders(workRoot + "\\start");
    std::string link = workRoot + "\\start\\link";
    ASSERT_EQ(runUnixCommand("ln -s '" + unixPath(outside) + "' '" + unixPath(workRoot) +
                             "/start/link'"),
              0);
    ASSERT_TRUE(GetFileAttributesA(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);

    BoxRecorder recorder;
    int result = prepareWorkingFolders();
    EXPECT_EQ(readFile(outside + "\\keep.txt"), "keep");
    EXPECT_EQ(readFile(outside + "\\inner\\keep.dll"), "keep");
    if (result == 1) {
        // Windows removes the link itself.
        EXPECT_TRUE(recorder.boxes().empty());
        expectFreshTree();
    } else {
        // Wine cannot remove a link to a folder that is not empty: the run
        // stops as for any entry that cannot be deleted.
        ASSERT_EQ(recorder.boxes().size(), 1u);
        EXPECT_EQ(recorder.boxes()[0].text, u8"Nie można usunąć folderu tymczasowego " + workRoot);
        EXPECT_TRUE(pathExists(link));
    }
    removeTree(link);
    removeTree(outside);
}

TEST_F(WorkingFolders, OldTreeRootThatIsALinkIsNotFollowed) {
    std::string outside = temp + "varnel_outside_root";
    removeTree(outside);
    makeFolders(outside);
    writeFile(outside + "\\keep.txt", "keep");
    ASSERT_EQ(runUnixCommand("ln -s '" + unixPath(outside) + "' '" + unixPath(workRoot) + "'"), 0);
    BoxRecorder recorder;
    prepareWorkingFolders();
    EXPECT_EQ(readFile(outside + "\\keep.txt"), "keep");
    removeTree(workRoot);
    removeTree(outside);
}

// Where every user may make folders (the Windows temporary folder of a run
// as SYSTEM), one made between the deletion and the creation must never
// become the place the run unpacks and starts code in.
std::string plantedRoot;
void plantRoot() {
    makeFolders(plantedRoot);
    writeFile(plantedRoot + "\\planted.txt", "x");
}

TEST_F(WorkingFolders, RootThatReappearsAfterTheDeletionIsRefusedAndNothingIsWrittenThere) {
    plantedRoot = workRoot;
    oldTreeDeleted = plantRoot;
    BoxRecorder recorder;
    EXPECT_EQ(prepareWorkingFolders(), 0);
    ASSERT_EQ(recorder.boxes().size(), 1u);
    EXPECT_EQ(recorder.boxes()[0].text, u8"Nie można utworzyć folderu " + workRoot);
    EXPECT_EQ(listFolder(workRoot), "planted.txt");
    EXPECT_STREQ(session.startWorkFolder, "");
}

// A temporary folder reached through a link is taken by its real path, and
// every folder on the way is held: re-pointing the link after the tree was
// made changes nothing the run uses.
TEST_F(WorkingFolders, TemporaryFolderThroughALinkIsTakenByItsRealPathAndTheWayIsHeld) {
    std::string real = temp + "varnel_real", link = temp + "varnel_link";
    std::string clear = "rm -rf '" + unixPath(real) + "' '" + unixPath(link) + "'";
    ASSERT_EQ(runUnixCommand(clear), 0);
    makeFolders(real);
    ASSERT_EQ(runUnixCommand("ln -s '" + unixPath(real) + "' '" + unixPath(link) + "'"), 0);
    SetEnvironmentVariableA("TMP", (link + "\\").c_str());
    SetEnvironmentVariableA("TEMP", (link + "\\").c_str());
    BoxRecorder recorder;
    EXPECT_EQ(prepareWorkingFolders(), 1);
    EXPECT_TRUE(recorder.boxes().empty());
    EXPECT_STRCASEEQ(session.startWorkFolder, (real + "\\varnel\\start\\").c_str());
    EXPECT_FALSE(MoveFileA(real.c_str(), (real + "_moved").c_str()));
    releaseWorkingFolders();
    // A temporary folder yet to be made behind the link, with a folder on
    // the way held elsewhere with delete access: the run goes on as before.
    SetEnvironmentVariableA("TMP", (link + "\\new\\").c_str());
    SetEnvironmentVariableA("TEMP", (link + "\\new\\").c_str());
    HANDLE way = CreateFileA(temp.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    EXPECT_EQ(prepareWorkingFolders(), 1);
    CloseHandle(way);
    releaseWorkingFolders();
    EXPECT_TRUE(recorder.boxes().empty());
    runUnixCommand(clear);
}

TEST_F(WorkingFolders, DriveRootStartFolderEndsInTwoBackslashes) {
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
    EXPECT_EQ(prepareWorkingFolders(), 1);
    EXPECT_STREQ(session.startFolder, "C:\\\\");
}

TEST_F(WorkingFolders, SystemFolderFollowsTheWow64Answer) {
    lookupIsWow64Process = lookupAnsweringWow64;
    EXPECT_TRUE(isWow64());
    EXPECT_EQ(prepareWorkingFolders(), 1);
    EXPECT_EQ(std::string(session.systemFolder), std::string(session.windowsFolder) + "\\SysWOW64\\");

    lookupIsWow64Process = lookupMissing;  // a Windows without IsWow64Process
    EXPECT_FALSE(isWow64());
    EXPECT_EQ(prepareWorkingFolders(), 1);
    EXPECT_EQ(std::string(session.systemFolder), std::string(session.windowsFolder) + "\\System32\\");

    lookupIsWow64Process = lookupFailing;
    EXPECT_FALSE(isWow64());
    lookupIsWow64Process = findIsWow64Process;
    EXPECT_NE(findIsWow64Process(), nullptr);
#ifdef _WIN64
    EXPECT_FALSE(isWow64());
#else
    EXPECT_TRUE(isWow64());
#endif
}

TEST_F(WorkingFolders, TemporaryPathBeyondTheLimitIsRefused) {
    std::string longTemp = "C:\\" + std::string(300, 't');
    SetEnvironmentVariableA("TMP", longTemp.c_str());
    SetEnvironmentVariableA("TEMP", longTemp.c_str());
    BoxRecorder recorder;
    EXPECT_EQ(prepareWorkingFolders(), 0);
    ASSERT_EQ(recorder.boxes().size(), 1u);
    EXPECT_EQ(recorder.boxes()[0].text, u8"Nie można ustalić systemowego folderu tymczasowego");
}

TEST_F(WorkingFolders, SubfolderThatCannotFitIsRefusedWithItsWholePath) {
    // 250 characters: the root and its search pattern fit, "varnel\start"
    // with its trailing backslash does not.
    std::string longTemp = "C:\\" + std::string(246, 'k') + "\\";
    ASSERT_EQ(longTemp.size(), 250u);
    SetEnvironmentVariableA("TMP", longTemp.c_str());
    SetEnvironmentVariableA("TEMP", longTemp.c_str());
    BoxRecorder recorder;
    EXPECT_EQ(prepareWorkingFolders(), 0);
    ASSERT_EQ(recorder.boxes().size(), 1u);
    EXPECT_EQ(recorder.boxes()[0].text, u8"Nie można utworzyć folderu " + longTemp + "varnel\\start");
    EXPECT_STREQ(session.startWorkFolder, "");
}

TEST(FolderPath, CreatesEveryMissingLevelAndAcceptsWhatExists) {
    std::string base = tempFolder() + "varnel_levels";
    removeTree(base);
    EXPECT_EQ(createFolderPath((base + "\\a\\b\\c").c_str()), 1);
    EXPECT_TRUE(isFolder(base + "\\a\\b\\c"));
    EXPECT_EQ(createFolderPath((base + "\\a\\b\\c").c_str()), 1);
    writeFile(base + "\\file", "x");
    EXPECT_EQ(createFolderPath((base + "\\file").c_str()), 1);  // any existing entry counts
    EXPECT_EQ(createFolderPath((base + "\\file\\below").c_str()), 0);
    removeTree(base);
}

TEST(FolderTree, MissingFolderCountsAsDeleted) {
    EXPECT_NE(deleteFolderTree((tempFolder() + "varnel_never_there").c_str()), 0);
}

TEST(HeldFolders, TreeFoldersHeldCannotBeRenamedAndALinkAmongThemIsRefused) {
    std::string base = tempFolder() + "varnel_held";
    // Wine cannot remove a link to a folder that is not empty.
    std::string remove = "rm -rf '" + unixPath(base) + "'";
    ASSERT_EQ(runUnixCommand(remove), 0);
    makeFolders(base + "\\root\\start");
    ASSERT_EQ(runUnixCommand("ln -s '" + unixPath(base) + "/root' '" + unixPath(base) + "/link'"), 0);
    {
        HeldFolders held;
        ASSERT_EQ(holdWorkFolder((base + "\\root\\start\\").c_str(), &held), 1);
        // The folder, the root and a folder above them alike.
        for (const char* name : {"\\root\\start", "\\root", ""})
            EXPECT_FALSE(MoveFileA((base + name).c_str(), (base + name + "_moved").c_str())) << name;
        HeldFolders linked;
        EXPECT_EQ(holdWorkFolder((base + "\\link\\start\\").c_str(), &linked), 0);
    }
    EXPECT_TRUE(MoveFileA((base + "\\root").c_str(), (base + "\\root_moved").c_str()));
    runUnixCommand(remove);
}
