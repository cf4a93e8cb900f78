// The way every text reaches the screen. The program's texts are
// Windows-1250 bytes; handed to the narrow functions they would be read in
// the system's code page, and a Western or Cyrillic Windows would garble
// every Polish letter. They therefore go through the wide functions,
// converted from 1250, while texts that come from the system (paths, names,
// a command line) are converted from the system's code page; a text that
// joins both is joined after each piece has been converted.
#ifndef VARNEL_UI_SHOWN_TEXT_H
#define VARNEL_UI_SHOWN_TEXT_H

#include <windows.h>

// Room for the longest text shown: a message around two paths or around the
// installer's command line (eight path-sized fields).
const int kShownTextMax = 8 * 260 + 128;

// Sets a control of the dialog to a text of the program's own.
void setShownText(HWND dialog, int controlId, const char* text);
// Sets a window's title to a text of the program's own.
void setShownTitle(HWND window, const char* text);

#endif
