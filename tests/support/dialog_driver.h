// Drives the real dialog 131 as a user would: the dialog runs modally on the
// test's thread, the "user" acts from a second thread once it is shown.
#ifndef VARNEL_TESTS_SUPPORT_DIALOG_DRIVER_H
#define VARNEL_TESTS_SUPPORT_DIALOG_DRIVER_H

#include <windows.h>

#include <functional>
#include <string>

// Shows dialog 131 of the test program with the program's dialog procedure
// and returns when it has ended; `user` gets the dialog window.
void runDialog(const std::function<void(HWND dialog)>& user);

bool controlVisible(HWND dialog, int id);
bool controlChecked(HWND dialog, int id);
std::string controlText(HWND dialog, int id);
// A mouse click on a button or check box (waits until it was handled).
void click(HWND dialog, int id);
// The same, without waiting (for commands that open a box or run long).
void clickLater(HWND dialog, int id);

#endif
