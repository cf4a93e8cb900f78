// The program's message boxes and the end of its dialog.
#ifndef VARNEL_UI_MESSAGE_BOXES_H
#define VARNEL_UI_MESSAGE_BOXES_H

// The error box every failure (and the few notices) goes through, titled by
// the run kind and the display name.
void showErrorBox(const char* text);

// The Yes/No question before the installation is abandoned; true for Yes.
bool confirmCancel();

// Ends the dialog with the session's end code; always 1.
int endSetupDialog();

#endif
