#include "ui/shown_text.h"

#include "session/text.h"

namespace {

// An empty text for one that does not fit: no compiled-in text comes near.
void widen(WCHAR (&wide)[kShownTextMax], const char* text) {
    wide[0] = L'\0';
    if (!appendWideText(wide, text, kProgramCodePage)) wide[0] = L'\0';
}

}  // namespace

void setShownText(HWND dialog, int controlId, const char* text) {
    WCHAR wide[kShownTextMax];
    widen(wide, text);
    SetDlgItemTextW(dialog, controlId, wide);
}

void setShownTitle(HWND window, const char* text) {
    WCHAR wide[kShownTextMax];
    widen(wide, text);
    SetWindowTextW(window, wide);
}
