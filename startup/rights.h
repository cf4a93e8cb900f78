// Administrator rights and the elevated relaunch.
#ifndef VARNEL_STARTUP_RIGHTS_H
#define VARNEL_STARTUP_RIGHTS_H

// Before Vista: true when a key can be created and deleted under HKLM.
bool probeRegistryWriteAccess();
// Starts this program again through "runas" and ends this process with
// exit code 0; false only when nothing was started.
bool relaunchElevated();
// Vista and later: an administrator whose running token has the
// Administrators group enabled.
bool checkAdministratorRights();
// Vista and later: true when already elevated; otherwise as relaunchElevated.
bool ensureElevated();

// Token queries: each answers with *error 0, or fails with false and the
// Windows error code of the step that failed in *error.
#include <windows.h>

typedef bool (*TokenQuery)(DWORD* error);
bool isAdministratorUser(DWORD* error);
bool isAdministratorsGroupEnabled(DWORD* error);
bool isProcessElevated(DWORD* error);

// Where the checks get the token's answers. Wine's token is always full and
// elevated, so tests of a limited token or a failing query answer here.
struct TokenQueries {
    TokenQuery administratorUser;
    TokenQuery administratorsGroupEnabled;
    TokenQuery processElevated;
};
extern TokenQueries tokenQueries;

#endif
