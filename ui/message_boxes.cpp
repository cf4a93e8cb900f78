#include "ui/message_boxes.h"

#include <windows.h>

#include "session/log.h"
#include "session/session.h"
#include "session/text.h"
#include "ui/shown_text.h"
#include "ui/texts.h"

void showErrorBox(const char* text, const char* subject, const char* textAfter,
                  const char* subject2) {
    // Prefix and display name share 52 bytes; every display name of the
    // variant table fits with room to spare, and one that did not would
    // leave the prefix alone rather than a cut name.
    char title[52];
    copyText(title, session.runKind == 'A' ? kUpdateTitlePrefix : kInstallTitlePrefix);
    appendText(title, session.displayName);
    WCHAR wideTitle[64] = L"";
    appendWideText(wideTitle, title, kProgramCodePage);
    // The sentences are the program's, the subjects the system's. A message
    // whose subjects do not fit is shown without them rather than cut.
    WCHAR message[kShownTextMax] = L"";
    const char* pieces[4] = {text, subject, textAfter, subject2};
    for (int i = 0; i < 4; ++i) {
        if (!appendWideText(message, pieces[i], i % 2 == 0 ? kProgramCodePage : CP_ACP)) {
            message[0] = L'\0';
            appendWideText(message, text, kProgramCodePage);
            break;
        }
    }
    // Owned by the dialog while it is open, so that a second start finds the
    // box through it and brings the box forward, not the dialog beneath it.
    // Before the dialog and in an update there is no owner.
    logShownText("message box: ", message);
    MessageBoxW(session.dialogWindow, message, wideTitle, MB_OK | MB_ICONERROR);
}

bool confirmCancel() {
    WCHAR question[128] = L"", title[64] = L"";
    appendWideText(question, kCancelQuestion, kProgramCodePage);
    appendWideText(title, kCancelQuestionTitle, kProgramCodePage);
    logShownText("message box: ", question);
    bool yes = MessageBoxW(session.dialogWindow, question, title, MB_YESNO | MB_ICONQUESTION) ==
               IDYES;
    logText("answer: ", yes ? "yes" : "no");
    return yes;
}

int endSetupDialog() {
    // Ending a dialog that is already gone (or never existed) does nothing.
    EndDialog(session.dialogWindow, session.endCode);
    return 1;
}
