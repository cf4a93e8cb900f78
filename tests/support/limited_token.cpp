// Linked into varnel_setup_limited.exe, a test build of the program that
// sees the token of an administrator under User Account Control while it has
// a command line. Wine's own token is always full, so this is how the
// "runas" relaunch is made to happen; the relaunch itself is the real one.
// Every start writes its command line to varnel_relaunch.log in %TEMP%.
// The relaunched copy (started without a command line) then stops at its
// start-up gate, silently, so that no window of a process the test did not
// start is left behind. With VARNEL_NEVER_ELEVATED set (inherited by the
// copies, as Wine's "runas" is a plain start) no copy ever gets the rights,
// as for a standard user with User Account Control switched off; a fuse
// then ends a chain of copies at the fifth start in that log. With
// VARNEL_RELAUNCH_DELAY set, the relaunched copy waits 1.5 s after its record
// (for a second start to come in) and then runs on for real.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "session/windows_version.h"
#include "startup/rights.h"
#include "tools/fixtures/append_line.h"

namespace {

bool hasArguments() {
    const char* line = GetCommandLineA();
    // Skip the program's own path, quoted or not.
    if (*line == '"') {
        line = strchr(line + 1, '"');
        line = line == NULL ? "" : line + 1;
    } else {
        while (*line != '\0' && *line != ' ') ++line;
    }
    while (*line == ' ') ++line;
    return *line != '\0';
}

bool answerAdministrator(DWORD* error) { return *error = 0, true; }
bool neverElevated() { return GetEnvironmentVariableA("VARNEL_NEVER_ELEVATED", NULL, 0) != 0; }
bool answerGroupEnabled(DWORD* error) { return *error = 0, !hasArguments() && !neverElevated(); }
bool answerElevated(DWORD* error) { return *error = 0, !hasArguments() && !neverElevated(); }

BOOL WINAPI versionUnknown(LPOSVERSIONINFOA) {
    SetLastError(0);
    return FALSE;
}

struct LimitedToken {
    LimitedToken() {
        tokenQueries = {answerAdministrator, answerGroupEnabled, answerElevated};
        bool delayed =
            !hasArguments() && GetEnvironmentVariableA("VARNEL_RELAUNCH_DELAY", NULL, 0) != 0;
        if (!hasArguments() && !neverElevated() && !delayed) queryWindowsVersion = versionUnknown;
        char path[MAX_PATH];
        GetTempPathA(MAX_PATH, path);
        strcat(path, "varnel_relaunch.log");
        FILE* log = fopen(path, "rb");
        int starts = 0;
        for (int c; log != NULL && (c = fgetc(log)) != EOF;) starts += c == '\n';
        if (log != NULL) fclose(log);
        if (neverElevated() && starts >= 4) ExitProcess(99);
        char record[4096];
        snprintf(record, sizeof record, "%s|%s\n", hasArguments() ? "args" : "none",
                 GetCommandLineA());
        appendLine(path, record);
        if (delayed) Sleep(1500);
    }
} limitedToken;

}  // namespace
