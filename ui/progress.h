// The dialog's controls as the long-running steps update them. The thread
// does not return to the dialog's message loop until a run is over, so every
// text is followed by an explicit repaint. Without a dialog (an update run)
// every call does nothing.
#ifndef VARNEL_UI_PROGRESS_H
#define VARNEL_UI_PROGRESS_H

void setControlText(int controlId, const char* text);  // then repaints
void showControl(int controlId);
void hideControl(int controlId);
void repaintDialog();

#endif
