#include "ui/progress.h"

#include <windows.h>

#include "session/session.h"
#include "ui/shown_text.h"

void repaintDialog() { UpdateWindow(session.dialogWindow); }

void setControlText(int controlId, const char* text) {
    setShownText(session.dialogWindow, controlId, text);
    repaintDialog();
}

void showControl(int controlId) {
    ShowWindow(GetDlgItem(session.dialogWindow, controlId), SW_SHOW);
}

void hideControl(int controlId) {
    ShowWindow(GetDlgItem(session.dialogWindow, controlId), SW_HIDE);
}

namespace {

DWORD lastServed = 0;

}  // namespace

void servePaintRequests() {
    MSG message;
    while (PeekMessageA(&message, NULL, WM_PAINT, WM_PAINT, PM_REMOVE))
        DispatchMessageA(&message);
    lastServed = GetTickCount();
}

void keepWindowResponsive() {
    if (GetTickCount() - lastServed >= 100) servePaintRequests();
}

DWORD waitServingPaint(HANDLE object, DWORD limitMs) {
    DWORD start = GetTickCount();
    for (;;) {
        servePaintRequests();
        DWORD elapsed = GetTickCount() - start;
        DWORD left = elapsed < limitMs ? limitMs - elapsed : 0;
        DWORD result =
            MsgWaitForMultipleObjects(1, &object, FALSE, left, QS_PAINT | QS_SENDMESSAGE);
        if (result != WAIT_OBJECT_0 + 1) return result;
    }
}
