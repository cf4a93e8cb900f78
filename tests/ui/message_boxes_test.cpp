#include "ui/message_boxes.h"

#include <gtest/gtest.h>

#include "session/session.h"
#include "session/variants.h"
#include "tests/support/boxes.h"

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

TEST_F(MessageBoxes, ErrorBoxHasNoOwnerEvenWhileTheDialogExists) {
    configure();
    session.dialogWindow = makeOwnerWindow();
    BoxRecorder recorder;
    showErrorBox("x");
    ASSERT_EQ(recorder.boxes().size(), 1u);
    EXPECT_EQ(recorder.boxes()[0].owner, nullptr);
    DestroyWindow(session.dialogWindow);
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
