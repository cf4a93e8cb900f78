// The dialog's controls as the long-running steps update them. The thread
// does not return to the dialog's message loop until a run is over, so every
// text is followed by an explicit repaint. Without a dialog (an update run)
// every call does nothing.
#ifndef VARNEL_UI_PROGRESS_H
#define VARNEL_UI_PROGRESS_H

#include <windows.h>

void setControlText(int controlId, const char* text);  // then repaints
void showControl(int controlId);
void hideControl(int controlId);
void repaintDialog();

// While a step runs, the thread answers paint requests (and messages other
// threads send it) and nothing else: the window repaints when uncovered and
// Windows never takes it for hung and puts a ghost in its place, yet no
// input reaches the dialog before the step is over.
void servePaintRequests();
// The same at most every 100 ms, for loops that work without waiting.
void keepWindowResponsive();
// Waits up to limitMs for the object, serving paint requests meanwhile:
// WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED.
DWORD waitServingPaint(HANDLE object, DWORD limitMs);

#endif
