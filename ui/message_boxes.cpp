#include "ui/message_boxes.h"

#include <windows.h>

#include "session/log.h"
#include "session/session.h"
#include "session/text.h"
#include "ui/texts.h"

void showErrorBox(const char* text) {
    // Prefix and display name share 52 bytes; every display name of the
    // variant table fits with room to spare, and one that did not would
    // leave the prefix alone rather than a cut name.
    char title[52];
    copyText(title, session.runKind == 'A' ? kUpdateTitlePrefix : kInstallTitlePrefix);
    appendText(title, session.displayName);
    // No owner: the box must also appear before the dialog exists and in an
    // update, which has no dialog.
    logText("message box: ", text);
    MessageBoxA(NULL, text, title, MB_OK | MB_ICONERROR);
}

bool confirmCancel() {
    logText("message box: ", kCancelQuestion);
    bool yes = MessageBoxA(session.dialogWindow, kCancelQuestion, kCancelQuestionTitle,
                           MB_YESNO | MB_ICONQUESTION) == IDYES;
    logText("answer: ", yes ? "yes" : "no");
    return yes;
}

int endSetupDialog() {
    // Ending a dialog that is already gone (or never existed) does nothing.
    EndDialog(session.dialogWindow, session.endCode);
    return 1;
}
