#include "ui/progress.h"

#include <windows.h>

#include "session/session.h"

void repaintDialog() { UpdateWindow(session.dialogWindow); }

void setControlText(int controlId, const char* text) {
    SetDlgItemTextA(session.dialogWindow, controlId, text);
    repaintDialog();
}

void showControl(int controlId) {
    ShowWindow(GetDlgItem(session.dialogWindow, controlId), SW_SHOW);
}

void hideControl(int controlId) {
    ShowWindow(GetDlgItem(session.dialogWindow, controlId), SW_HIDE);
}
