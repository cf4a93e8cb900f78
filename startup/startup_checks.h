// The gate in front of everything else.
#ifndef VARNEL_STARTUP_STARTUP_CHECKS_H
#define VARNEL_STARTUP_STARTUP_CHECKS_H

#include <windows.h>

// Upper-cases the command line in place (a to z only), honours the "WYM" and
// "W" bypass, queries the Windows version and checks the rights. False stops
// the program with exit code -1.
bool runStartupChecks(char* commandLine);

// Shows the start-up error message: the situation text, the error number and
// the two closing lines.
void showStartupError(const char* situation, DWORD errorCode);

// Restricts the DLL search to the system folder before anything is loaded.
void hardenDllSearch();

#endif
