// The program's one dialog: its texts, its commands and the run it starts.
#ifndef VARNEL_UI_DIALOG_H
#define VARNEL_UI_DIALOG_H

#include <windows.h>

// The property that marks the open dialog, for a second start to find it.
inline constexpr char kDialogMark[] = "VarnelSetupDialog";

// An update has no dialog: while its step runs, a hidden top-level window
// of the run refuses a logoff or shutdown in the dialog's place (the waits
// inside the step deliver the query), which would otherwise end the process
// between copying and registering the libraries.
inline constexpr char kEndSessionGuard[] = "VarnelSetupGuard";
HWND beginUpdateStep();
void endUpdateStep(HWND guard);

// Fits the dialog to the session when it opens; always 1.
int setDialogTexts();

// The dialog procedure of dialog 131.
INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The Start command in internet mode: sizes, downloads, then the install
// pipeline. 1 when all of it succeeded.
int startInternetInstall();

// The source note naming the update server of `serverIndex` (five lines).
void composeServerNote(char* note, size_t capacity);

#endif
