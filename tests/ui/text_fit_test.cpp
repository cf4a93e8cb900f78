// Every text of dialog 131 in the form the program gives it at run time,
// measured with the dialog's own font against its control. A text that
// needs more room than its control has is clipped on the user's screen
// (seen under Wine without Arial's metrics: "Nie instaluj DLL i OC").
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "download/texts.h"
#include "install/texts.h"
#include "resources/resource.h"
#include "session/session.h"
#include "session/variants.h"
#include "tests/support/boxes.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/session_setup.h"
#include "ui/texts.h"

namespace {

std::wstring wideText(HWND control) {
    std::wstring text(GetWindowTextLengthW(control) + 1, L'\0');
    text.resize(GetWindowTextW(control, &text[0], static_cast<int>(text.size())));
    return text;
}

bool isButton(HWND control) {
    wchar_t className[16] = L"";
    GetClassNameW(control, className, 16);
    return _wcsicmp(className, L"Button") == 0;
}

// Empty when the control's text fits, else what it needs against what it
// has. A static of these styles breaks its text at blanks and newlines; a
// check box draws one line beside its box.
std::string misfit(HWND control) {
    RECT client;
    GetClientRect(control, &client);
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    LONG room = client.right;
    UINT flags = DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS;
    if (isButton(control)) {
        // The box and the gap before the text, as the button control draws them.
        int zero = 0;
        GetCharWidthW(dc, L'0', L'0', &zero);
        room -= 12 * GetDeviceCaps(dc, LOGPIXELSX) / 96 + 1 + zero / 2;
        flags |= DT_SINGLELINE;
    } else {
        flags |= DT_WORDBREAK;
    }
    wchar_t face[64] = L"";
    GetTextFaceW(dc, 64, face);
    std::wstring text = wideText(control);
    RECT need = {0, 0, room, 0};
    DrawTextW(dc, text.c_str(), -1, &need, flags);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    if (need.right <= room && need.bottom <= client.bottom) return "";
    return "\"" + windowText(control) + "\" needs " + std::to_string(need.right) + "x" +
           std::to_string(need.bottom) + " px, has " + std::to_string(room) + "x" +
           std::to_string(client.bottom) + " in " + toUtf8(face);
}

// The second stage's text is left out: with Arial's metrics its run of
// blanks carries the break onto a third line, which its control (18 units
// high) cannot show. That is how the dialog is specified, and is reported
// rather than changed.
const int kTextControls[] = {IDC_HEADING,        IDC_STAGE1,    IDC_NOTE_HEADING, IDC_SOURCE_NOTE,
                             IDC_VERSION_LINE,   IDC_NOTICE,    IDC_LOCAL_RUN,    IDC_SKIP_LIBRARIES,
                             IDC_STATUS,         IDC_PERCENT,   IDC_PERCENT_SIGN, IDC_SIZE_TEXT};

void expectAllFit(HWND dialog) {
    for (int id : kTextControls) EXPECT_EQ(misfit(GetDlgItem(dialog, id)), "") << "control " << id;
}

class TextFit : public ::testing::Test {
protected:
    void SetUp() override {
        startConfiguredSession();
        session.instanceHandle = GetModuleHandleA(NULL);
        session.runKind = 'I';
        session.installLibraries = 1;
    }
};

}  // namespace

TEST_F(TextFit, EveryVariantsOpeningTextsFitTheirControls) {
    for (char letter : {'K', 'L', 'P', 'R', 'T'}) {
        for (int local : {0, 1}) {
            SCOPED_TRACE(std::string(1, letter) + (local ? " local" : " server 2"));
            session.variantLetter = letter;
            session.serverIndex = 2;
            session.localFilesPresent = local;
            ASSERT_TRUE(configureVariant());
            BoxRecorder recorder({IDYES});
            runDialog([](HWND dialog) {
                expectAllFit(dialog);
                click(dialog, IDC_CANCEL_INSTALL);
            });
        }
    }
}

TEST_F(TextFit, TheProgressRowsTextsFitTheirControls) {
    BoxRecorder recorder({IDYES});
    runDialog([](HWND dialog) {
        // The texts a run puts into the row, each as the program writes it;
        // the longest file name is the a-cabinet's.
        std::string file = std::string(kFileStatusPrefix) + session.cabinetAName;
        for (const char* status : {kConnecting, kQueryingFiles, file.c_str(), kClosingConnection,
                                   kCopyingFiles}) {
            SetDlgItemTextA(dialog, IDC_STATUS, status);
            EXPECT_EQ(misfit(GetDlgItem(dialog, IDC_STATUS)), "");
        }
        SetDlgItemTextA(dialog, IDC_PERCENT, kFullPercent);
        EXPECT_EQ(misfit(GetDlgItem(dialog, IDC_PERCENT)), "");
        // Two digits of megabytes. A total of 100 MB or more ("z 100 MB")
        // needs two lines in the control as specified: reported, not changed.
        SetDlgItemTextA(dialog, IDC_SIZE_TEXT, "z 99 MB");
        EXPECT_EQ(misfit(GetDlgItem(dialog, IDC_SIZE_TEXT)), "");
        click(dialog, IDC_CANCEL_INSTALL);
    });
}
