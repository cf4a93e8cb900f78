#include "ui/message_boxes.h"

#include <gtest/gtest.h>

#include "session/log.h"
#include "session/session.h"
#include "session/variants.h"
#include "tests/support/boxes.h"
#include "tests/support/files.h"

namespace {

class MessageBoxes : public ::testing::Test {
protected:
    void SetUp() override {
        resetSession();
        strcpy(session.versionTag, "3_xx");
    }
    void configure() {
        session.variantLetter = 'L';
        configureVariant();
    }
};

HWND makeOwnerWindow() {
    return CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200,
                           100, NULL, NULL, GetModuleHandleA(NULL), NULL);
}

}  // namespace

TEST_F(MessageBoxes, ErrorBoxBeforeConfigurationHasTheBarePrefixTitle) {
    BoxRecorder recorder;
    showErrorBox("Pierwsza linia\nDruga linia\nTrzecia");
    ASSERT_EQ(recorder.boxes().size(), 1u);
    const SeenBox& box = recorder.boxes()[0];
    EXPECT_EQ(box.title, u8"Instalacja programu ");
    EXPECT_EQ(box.text, u8"Pierwsza linia\nDruga linia\nTrzecia");
    EXPECT_TRUE(box.hasOk);
    EXPECT_FALSE(box.hasYes);
    EXPECT_FALSE(box.hasCancel);
    EXPECT_TRUE(box.errorIcon);
    EXPECT_EQ(box.owner, nullptr);
}

TEST_F(MessageBoxes, TitleFollowsTheRunKind) {
    configure();
    BoxRecorder recorder;
    showErrorBox("a");  // run kind not yet known: an installation
    session.runKind = 'I';
    showErrorBox("b");
    session.runKind = 'A';
    showErrorBox("Nie można ustalić bieżącego folderu");
    ASSERT_EQ(recorder.boxes().size(), 3u);
    EXPECT_EQ(recorder.boxes()[0].title, u8"Instalacja programu Tabrix Kalk");
    EXPECT_EQ(recorder.boxes()[1].title, u8"Instalacja programu Tabrix Kalk");
    EXPECT_EQ(recorder.boxes()[2].title, u8"Aktualizacja programu Tabrix Kalk");
    EXPECT_EQ(recorder.boxes()[2].text, u8"Nie można ustalić bieżącego folderu");
}

TEST_F(MessageBoxes, ErrorBoxIsOwnedByTheDialogWhileItExists) {
    configure();
    session.dialogWindow = makeOwnerWindow();
    BoxRecorder recorder;
    showErrorBox("x");
    ASSERT_EQ(recorder.boxes().size(), 1u);
    EXPECT_EQ(recorder.boxes()[0].owner, session.dialogWindow);
    DestroyWindow(session.dialogWindow);
}

// The sentences are the program's (1250), the paths the system's: byte F1 is
// "ń" on a Polish, "ñ" on a Western and "с" on a Cyrillic Windows.
TEST_F(MessageBoxes, SentencesAndPathsEachReadRightInTheBoxAndTheLog) {
    configure();
    std::string source = tempFolder() + "a\xF1\\x.cab", target = "C:\\\xF1";
    auto shown = [](const std::string& path) {
        std::wstring wide(MAX_PATH, L'\0');
        wide.resize(MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], MAX_PATH) - 1);
        return toUtf8(wide);
    };
    const std::string shownSource = shown(source), shownTarget = shown(target);
    openRunLog();
    BoxRecorder recorder;
    showErrorBox("Nie można skopiować pliku \nz ", source.c_str(), "\n na ", target.c_str());
    closeRunLog();
    ASSERT_EQ(recorder.boxes().size(), 1u);
    const std::string expected =
        u8"Nie można skopiować pliku \nz " + shownSource + "\n na " + shownTarget;
    EXPECT_EQ(recorder.boxes()[0].text, expected);
    std::string log = readFile(tempFolder() + "varnel_setup.log");
    EXPECT_NE(log.find(u8"message box: Nie można skopiować pliku  / z " + shownSource +
                       " /  na " + shownTarget + "\r\n"),
              std::string::npos)
        << log;
}

TEST_F(MessageBoxes, CancelQuestionAsksTheDialogOwnerAndReadsYes) {
    configure();
    session.dialogWindow = makeOwnerWindow();
    BoxRecorder recorder({IDYES, IDNO});
    EXPECT_TRUE(confirmCancel());
    EXPECT_FALSE(confirmCancel());
    ASSERT_EQ(recorder.boxes().size(), 2u);
    const SeenBox& box = recorder.boxes()[0];
    EXPECT_EQ(box.title, u8"Instalacja programu");
    EXPECT_EQ(box.text, u8"Czy na pewno chcesz anulować instalację ?");
    EXPECT_TRUE(box.hasYes);
    EXPECT_TRUE(box.hasNo);
    EXPECT_FALSE(box.hasCancel);
    EXPECT_FALSE(box.hasOk);
    EXPECT_TRUE(box.questionIcon);
    EXPECT_EQ(box.owner, session.dialogWindow);
    DestroyWindow(session.dialogWindow);
}

TEST_F(MessageBoxes, EndingWithoutADialogDoesNothingAndSaysOne) {
    EXPECT_EQ(endSetupDialog(), 1);
    EXPECT_EQ(endSetupDialog(), 1);
}
