#include "ui/dialog.h"

#include <gtest/gtest.h>

#include "build_config.h"
#include "download/watchdog.h"
#include "resources/resource.h"
#include "session/session.h"
#include "session/variants.h"
#include "tests/support/boxes.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/files.h"
#include "tests/support/http_server.h"
#include "tests/support/session_setup.h"

namespace {

const std::string kLocalNote =
    u8"Instalacja zostanie wykonana lokalnie \nz użyciem plików znajdujących się w folderze,\n"
    u8"z którego ta instalacja została uruchomiona.\nPołączenie z internetem nie jest konieczne.";

std::string serverNote(const std::string& host) {
    return u8"W czasie instalacji program będzie korzystał \nz połączenia internetowego z serwerem"
           "\n" + host + ".\n" +
           u8"Czas instalacji zależy od prędkości tego łącza\ni może wynieść od kilku do "
           u8"kilkudziesięciu minut.";
}

class Dialog : public ::testing::Test {
protected:
    void SetUp() override {
        startConfiguredSession();
        session.instanceHandle = GetModuleHandleA(NULL);
        session.runKind = 'I';
        session.sourceMode = 'I';
        session.installLibraries = 1;
    }
};

}  // namespace

TEST_F(Dialog, OpensWithTheInstallationTextsAndTheLocalNote) {
    session.localFilesPresent = 1;
    BoxRecorder recorder({IDYES});
    runDialog([](HWND dialog) {
        EXPECT_EQ(windowText(dialog), u8"Instalacja programu Tabrix Kalk wersja 3.xx");
        EXPECT_EQ(controlText(dialog, IDC_HEADING), u8"Instalacja odbędzie się w 2 etapach :");
        EXPECT_EQ(controlText(dialog, IDC_STAGE1),
                  u8"1. Program pobierze i zainstaluje komponenty niezbędne do" +
                      std::string(14, ' ') + "przeprowadzenia instalacji.");
        EXPECT_EQ(controlText(dialog, IDC_STAGE2),
                  u8"2. Zostanie uruchomiony Instalator. Wówczas będzie można podać" +
                      std::string(8, ' ') +
                      u8"parametry instalacyjne  (np.lokalizację programu i wywołania).");
        EXPECT_EQ(controlText(dialog, IDC_START), u8"Rozpocznij instalację");
        EXPECT_EQ(controlText(dialog, IDC_CANCEL_INSTALL), u8"Anuluj instalację");
        EXPECT_EQ(controlText(dialog, IDC_VERSION_LINE), "Tabrix Kalk  wersja 3.xx");
        EXPECT_TRUE(controlVisible(dialog, IDC_LOCAL_RUN));
        EXPECT_TRUE(controlChecked(dialog, IDC_LOCAL_RUN));
        EXPECT_EQ(controlText(dialog, IDC_SOURCE_NOTE), kLocalNote);
        EXPECT_TRUE(controlVisible(dialog, IDC_SKIP_LIBRARIES));
        EXPECT_FALSE(controlChecked(dialog, IDC_SKIP_LIBRARIES));
        for (int hidden : {IDC_STATUS, IDC_PERCENT, IDC_SIZE_TEXT, IDC_PERCENT_SIGN})
            EXPECT_FALSE(controlVisible(dialog, hidden)) << hidden;
        EXPECT_TRUE(controlVisible(dialog, IDC_START));
        // The variant's icon replaced the globe.
        HICON shown = reinterpret_cast<HICON>(
            SendDlgItemMessageW(dialog, IDC_VARIANT_ICON, STM_GETICON, 0, 0));
        HICON variant = static_cast<HICON>(LoadImageW(GetModuleHandleW(NULL),
                                                      MAKEINTRESOURCEW(IDI_VARIANT_L),
                                                      IMAGE_ICON, 0, 0, 0));
        HICON globe = static_cast<HICON>(LoadImageW(GetModuleHandleW(NULL),
                                                    MAKEINTRESOURCEW(IDI_GLOBE), IMAGE_ICON, 0,
                                                    0, 0));
        EXPECT_EQ(iconPixels(shown), iconPixels(variant));
        EXPECT_NE(iconPixels(shown), iconPixels(globe));
        SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(session.sourceMode, 'L');
}

TEST_F(Dialog, EveryVariantShowsItsOwnVersionLineAndIcon) {
    const struct {
        char letter;
        const char* line;
        int icon;
    } cases[] = {{'K', "Mirda  wersja 3.xx", IDI_VARIANT_K},
                 {'L', "Tabrix Kalk  wersja 3.xx", IDI_VARIANT_L},
                 {'P', "Solva  wersja 3.xx", IDI_VARIANT_P},
                 {'R', "VN  wersja 3.xx", IDI_VARIANT_R},
                 {'T', "FD  wersja 3.xx", IDI_VARIANT_T}};
    std::vector<std::vector<DWORD>> seen;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.letter);
        session.variantLetter = c.letter;
        ASSERT_TRUE(configureVariant());
        BoxRecorder recorder({IDYES});
        runDialog([&](HWND dialog) {
            EXPECT_EQ(controlText(dialog, IDC_VERSION_LINE), c.line);
            HICON shown = reinterpret_cast<HICON>(
                SendDlgItemMessageW(dialog, IDC_VARIANT_ICON, STM_GETICON, 0, 0));
            HICON expected = static_cast<HICON>(LoadImageW(
                GetModuleHandleW(NULL), MAKEINTRESOURCEW(c.icon), IMAGE_ICON, 0, 0, 0));
            seen.push_back(iconPixels(shown));
            EXPECT_EQ(seen.back(), iconPixels(expected));
            click(dialog, IDC_CANCEL_INSTALL);
        });
    }
    // Five different pictures: no variant borrowed another's icon.
    for (size_t i = 0; i < seen.size(); ++i)
        for (size_t j = i + 1; j < seen.size(); ++j) EXPECT_NE(seen[i], seen[j]) << i << j;
}

TEST_F(Dialog, WithoutLocalFilesTheNoteNamesTheChosenServer) {
    const struct {
        int index;
        std::string host;
    } cases[] = {{2, VARNEL_UPDATE_SERVER_2}, {3, VARNEL_UPDATE_SERVER_3}, {0, VARNEL_UPDATE_SERVER_1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        session.serverIndex = c.index;
        BoxRecorder recorder({IDYES});
        runDialog([&](HWND dialog) {
            EXPECT_FALSE(controlVisible(dialog, IDC_LOCAL_RUN));
            EXPECT_FALSE(controlChecked(dialog, IDC_LOCAL_RUN));
            EXPECT_EQ(controlText(dialog, IDC_SOURCE_NOTE), serverNote(c.host));
            click(dialog, IDC_CANCEL_INSTALL);
        });
        EXPECT_EQ(session.sourceMode, 'I');
    }
}

TEST_F(Dialog, CurrentLibrariesOpenWithTheSkipBoxChecked) {
    session.installLibraries = 0;
    BoxRecorder recorder({IDYES});
    runDialog([](HWND dialog) {
        EXPECT_TRUE(controlVisible(dialog, IDC_SKIP_LIBRARIES));
        EXPECT_TRUE(controlChecked(dialog, IDC_SKIP_LIBRARIES));
        click(dialog, IDC_CANCEL_INSTALL);
    });
}

TEST_F(Dialog, CheckBoxesSwitchTheSourceAndTheLibraryStep) {
    session.localFilesPresent = 1;
    BoxRecorder recorder({IDYES});
    runDialog([](HWND dialog) {
        click(dialog, IDC_LOCAL_RUN);  // cleared: internet mode, server 1 named
        EXPECT_EQ(session.sourceMode, 'I');
        EXPECT_EQ(controlText(dialog, IDC_SOURCE_NOTE), serverNote(VARNEL_UPDATE_SERVER_1));
        click(dialog, IDC_LOCAL_RUN);
        EXPECT_EQ(session.sourceMode, 'L');
        EXPECT_EQ(controlText(dialog, IDC_SOURCE_NOTE), kLocalNote);

        click(dialog, IDC_SKIP_LIBRARIES);
        EXPECT_EQ(session.installLibraries, 0);
        click(dialog, IDC_SKIP_LIBRARIES);
        EXPECT_EQ(session.installLibraries, 1);
        click(dialog, IDC_CANCEL_INSTALL);
    });
}

TEST_F(Dialog, CancelAsksFirstAndNoKeepsTheDialog) {
    BoxRecorder recorder({IDNO, IDNO, IDNO, IDYES});
    bool stillThere = false;
    runDialog([&](HWND dialog) {
        click(dialog, IDC_CANCEL_INSTALL);
        SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);  // the Esc key
        SendMessageW(dialog, WM_CLOSE, 0, 0);           // the close box
        stillThere = IsWindow(dialog) && IsWindowVisible(dialog);
        EXPECT_TRUE(controlVisible(dialog, IDC_START));
        click(dialog, IDC_CANCEL_INSTALL);
    });
    EXPECT_TRUE(stillThere);
    ASSERT_EQ(recorder.boxes().size(), 4u);
    for (const SeenBox& box : recorder.boxes()) {
        EXPECT_EQ(box.title, u8"Instalacja programu");
        EXPECT_EQ(box.text, u8"Czy na pewno chcesz anulować instalację ?");
        EXPECT_NE(box.owner, nullptr);
    }
}

TEST_F(Dialog, LocalStartThatFailsEndsTheDialogAndRefusesCommandsMeanwhile) {
    // The local set is missing: the copy's error box opens inside the run.
    std::string start = tempFolder() + "varnel_dialog_empty\\";
    removeTree(start.substr(0, start.size() - 1));
    makeFolders(start.substr(0, start.size() - 1));
    strcpy(session.startFolder, start.c_str());
    strcpy(session.downloadFolder, start.c_str());
    session.localFilesPresent = 1;
    BoxRecorder recorder;
    HWND shown = NULL;
    recorder.onBox = [&](HWND, const SeenBox&) {
        // A user clicking Start, Cancel and Esc while the box is open.
        if (shown == NULL) return;
        SendMessageW(shown, WM_COMMAND, IDC_START, 0);
        SendMessageW(shown, WM_COMMAND, IDC_CANCEL_INSTALL, 0);
        SendMessageW(shown, WM_COMMAND, IDCANCEL, 0);
    };
    runDialog([&](HWND dialog) {
        shown = dialog;
        clickLater(dialog, IDC_START);
    });
    // One run, one message, no cancel question, and the dialog ended.
    ASSERT_EQ(recorder.boxes().size(), 1u);
    EXPECT_EQ(recorder.boxes()[0].text, u8"Brak jest pliku " + start + "setup_sys.cab");
    EXPECT_FALSE(IsWindow(shown));
    removeTree(start.substr(0, start.size() - 1));
}

TEST_F(Dialog, SizeQueryToASilentServerKeepsTheWindowServedAndEndsOnItsFailure) {
    // Server 1 takes the connection and never answers: the dialog thread
    // waits 7 s for the size query, longer than Windows lets a window go
    // unserved before it counts as hung.
    TestHttpServer server("127.0.0.11", 80);
    ASSERT_TRUE(server.start(R"({"*": {"mode": "silent"}})"));
    silenceLimitMs = 7000;
    session.serverIndex = 1;
    session.exitCode = kExitFailed;  // as the session driver starts it
    BoxRecorder recorder;
    bool buttonsDuringBox = true, dialogDuringBox = false;
    HWND shown = NULL;
    recorder.onBox = [&](HWND, const SeenBox&) {
        buttonsDuringBox = controlVisible(shown, IDC_START) || controlVisible(shown, IDC_CANCEL_INSTALL);
        dialogDuringBox = IsWindow(shown) != FALSE;
    };
    bool repainted = false, hung = true;
    runDialog([&](HWND dialog) {
        shown = dialog;
        clickLater(dialog, IDC_START);
        Sleep(1500);
        // Uncovered while the call waits: the paint is served at once.
        InvalidateRect(dialog, NULL, TRUE);
        for (int i = 0; i < 20 && !repainted; ++i, Sleep(50))
            repainted = GetUpdateRect(dialog, NULL, FALSE) == FALSE;
        Sleep(4500);
        hung = IsHungAppWindow(dialog) != FALSE;
    });
    silenceLimitMs = kSilenceLimitMs;
    EXPECT_TRUE(repainted);
    EXPECT_FALSE(hung);
    ASSERT_EQ(recorder.boxes().size(), 1u);
    EXPECT_EQ(recorder.boxes()[0].text,
              u8"Nie można otworzyć pliku zdalnego " + std::string(session.systemCabinetUrl));
    EXPECT_FALSE(buttonsDuringBox);
    EXPECT_TRUE(dialogDuringBox);
    EXPECT_FALSE(IsWindow(shown));  // the dialog ended after the box
    EXPECT_EQ(session.exitCode, kExitFailed);
}
