#include "install/copy.h"

#include <gtest/gtest.h>

#include "session/session.h"
#include "tests/support/boxes.h"
#include "tests/support/files.h"
#include "tests/support/install_fixtures.h"

namespace {

class CheckedCopy : public ::testing::Test {
protected:
    void SetUp() override {
        resetSession();
        folder = tempFolder() + "varnel_copy";
        removeTree(folder);
        makeFolders(folder + "\\from");
        makeFolders(folder + "\\to");
    }
    void TearDown() override { removeTree(folder); }
    std::string from(const std::string& name) { return folder + "\\from\\" + name; }
    std::string to(const std::string& name) { return folder + "\\to\\" + name; }
    std::string folder;
};

}  // namespace

TEST_F(CheckedCopy, ExistingFilesAreReplacedOnlyWhenTheirNameHoldsAReplacedKind) {
    const struct {
        const char* name;
        bool replaced;
    } cases[] = {
        {"readme.txt", false},   {"SETUP.EXE", true},      {"mscomctl.ocx", false},
        {"x.dll.bak", true},     {"notes.PDF", true},      {"help.chm", true},
        {"prog.app", true},      {"setup_sys.cab", true},  {"dllinfo.txt", false},
    };
    BoxRecorder recorder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(from(c.name), "new");
        writeFile(to(c.name), "old");
        EXPECT_EQ(mayOverwrite(from(c.name).c_str(), to(c.name).c_str()), c.replaced ? 1 : 0);
        EXPECT_EQ(copyComponentFile(from(c.name).c_str(), to(c.name).c_str()), 1);
        EXPECT_EQ(readFile(to(c.name)), c.replaced ? "new" : "old");
    }
    EXPECT_TRUE(recorder.boxes().empty());
}

TEST_F(CheckedCopy, AbsentDestinationIsCopiedWithTheSourceTime) {
    writeFile(from("vncab.dll"), "library");
    setWriteTime(from("vncab.dll"), 2023, 1, 2, 3, 4, 6);
    EXPECT_EQ(mayOverwrite(from("vncab.dll").c_str(), to("vncab.dll").c_str()), 1);
    EXPECT_EQ(copyComponentFile(from("vncab.dll").c_str(), to("vncab.dll").c_str()), 1);
    EXPECT_EQ(readFile(to("vncab.dll")), "library");
    SYSTEMTIME copied = writeTime(to("vncab.dll"));
    EXPECT_EQ(copied.wYear, 2023);
    EXPECT_EQ(copied.wMinute, 4);
    EXPECT_EQ(copied.wSecond, 6);
}

TEST_F(CheckedCopy, MissingSourceIsReported) {
    BoxRecorder recorder;
    EXPECT_EQ(mayOverwrite(from("none.dll").c_str(), to("none.dll").c_str()), 0);
    EXPECT_EQ(copyComponentFile(from("none.dll").c_str(), to("none.dll").c_str()), 0);
    ASSERT_EQ(recorder.boxes().size(), 1u);
    EXPECT_EQ(recorder.boxes()[0].text, u8"Brak jest pliku " + from("none.dll"));
}

TEST_F(CheckedCopy, FailedCopyNamesBothPathsOnThreeLines) {
    session.runKind = 'A';
    strcpy(session.displayName, "Tabrix Kalk");
    writeFile(from("a.dll"), "x");
    std::string target = folder + "\\missing\\a.dll";
    BoxRecorder recorder;
    EXPECT_EQ(copyComponentFile(from("a.dll").c_str(), target.c_str()), 0);
    ASSERT_EQ(recorder.boxes().size(), 1u);
    EXPECT_EQ(recorder.boxes()[0].title, u8"Aktualizacja programu Tabrix Kalk");
    EXPECT_EQ(recorder.boxes()[0].text,
              u8"Nie można skopiować pliku \nz " + from("a.dll") + "\n na " + target);
}

// The copy is made beside the destination and moved over it in one step; a
// move that cannot be made leaves no interim copy behind.
TEST_F(CheckedCopy, ReplacementThatFailsLeavesNothingBeside) {
    writeFile(from("vnapiwin.dll"), "new");
    makeFolders(to("vnapiwin.dll"));  // a folder in the way of the move
    BoxRecorder recorder;
    EXPECT_EQ(copyComponentFile(from("vnapiwin.dll").c_str(), to("vnapiwin.dll").c_str()), 0);
    EXPECT_EQ(listFolder(folder + "\\to"), "vnapiwin.dll");
    EXPECT_TRUE(isFolder(to("vnapiwin.dll")));
    ASSERT_EQ(recorder.boxes().size(), 1u);
    EXPECT_EQ(recorder.boxes()[0].text, u8"Nie można skopiować pliku \nz " + from("vnapiwin.dll") +
                                            "\n na " + to("vnapiwin.dll"));
}

// A destination near the ANSI path limit, where its name and a suffix no
// longer fit, is still copied (under a shorter name first).
TEST_F(CheckedCopy, DestinationNearThePathLimitIsCopied) {
    std::string deep = folder + "\\to\\" + std::string(238 - folder.size() - 4, 'd');
    makeFolders(deep);
    std::string target = deep + "\\vnapiwin.dll";
    ASSERT_EQ(target.size(), 251u);
    writeFile(from("vnapiwin.dll"), "new");
    writeFile(target, "old");
    BoxRecorder recorder;
    EXPECT_EQ(copyComponentFile(from("vnapiwin.dll").c_str(), target.c_str()), 1);
    EXPECT_EQ(readFile(target), "new");
    EXPECT_EQ(listFolder(deep), "vnapiwin.dll");
    EXPECT_TRUE(recorder.boxes().empty());
}
