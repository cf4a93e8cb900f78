// How the program asks for the Windows version.
#ifndef VARNEL_SESSION_WINDOWS_VERSION_H
#define VARNEL_SESSION_WINDOWS_VERSION_H

#include <windows.h>

// GetVersionExA, unless a test answers instead: a failing query cannot be
// arranged otherwise, and one test process cannot change its Windows.
extern BOOL(WINAPI* queryWindowsVersion)(LPOSVERSIONINFOA);

#endif
