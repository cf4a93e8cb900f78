// The program's message boxes and the end of its dialog.
#ifndef VARNEL_UI_MESSAGE_BOXES_H
#define VARNEL_UI_MESSAGE_BOXES_H

// The error box every failure (and the few notices) goes through, titled by
// the run kind and the display name. The text is the program's own; a path,
// name or address that the message is about follows it as the subject, and
// a second text and subject may follow that ("from ... to ...").
void showErrorBox(const char* text, const char* subject = "", const char* textAfter = "",
                  const char* subject2 = "");

// The Yes/No question before the installation is abandoned; true for Yes.
bool confirmCancel();

// Ends the dialog with the session's end code; always 1.
int endSetupDialog();

#endif
