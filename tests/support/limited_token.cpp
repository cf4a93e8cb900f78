// Linked into varnel_setup_limited.exe, a test build of the program that
// sees the token of an administrator under User Account Control while it has
// a command line. Wine's own token is always full, so this is how the
// "runas" relaunch is made to happen; the relaunch itself is the real one.
// Every start writes its command line to relaunch.log beside the program.
// The relaunched copy (started without a command line) then stops at its
// start-up gate, silently, so that no window of a process the test did not
// start is left behind.
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
bool answerGroupEnabled(DWORD* error) { return *error = 0, !hasArguments(); }
bool answerElevated(DWORD* error) { return *error = 0, !hasArguments(); }

BOOL WINAPI versionUnknown(LPOSVERSIONINFOA) {
    SetLastError(0);
    return FALSE;
}

struct LimitedToken {
    LimitedToken() {
        tokenQueries = {answerAdministrator, answerGroupEnabled, answerElevated};
        if (!hasArguments()) queryWindowsVersion = versionUnknown;
        char path[MAX_PATH];
        GetModuleFileNameA(NULL, path, MAX_PATH);
        strcpy(strrchr(path, '\\') + 1, "relaunch.log");
        char record[4096];
        snprintf(record, sizeof record, "%s|%s\n", hasArguments() ? "args" : "none",
                 GetCommandLineA());
        appendLine(path, record);
    }
} limitedToken;

}  // namespace
