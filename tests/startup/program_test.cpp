// The real varnel_setup.exe, started as a user or the product would start it.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/boxes.h"
#include "tests/support/files.h"

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

TEST_F(Program, BypassRunPreparesTheWorkingTreeAndExitsWithZero) {
    for (const char* arguments : {"WYM", "w", ""}) {
        SCOPED_TRACE(arguments);
        removeTree(workRoot);
        ProgramRun result = run(arguments);
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(result.exitCode, 0u);
        EXPECT_TRUE(result.boxes.empty());
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
    EXPECT_EQ(result.exitCode, 0u);
    ASSERT_EQ(result.boxes.size(), 1u);
    EXPECT_EQ(result.boxes[0].title, u8"Instalacja programu Tabrix Kalk");
    EXPECT_EQ(result.boxes[0].text, u8"Nie można usunąć folderu tymczasowego " + workRoot);
    EXPECT_TRUE(result.boxes[0].hasIcon);
    EXPECT_TRUE(result.boxes[0].hasOk);
    EXPECT_FALSE(result.boxes[0].hasCancel);
    EXPECT_FALSE(pathExists(workRoot + "\\instalacja"));
}
