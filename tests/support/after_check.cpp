// A program racing the run, at the moment that matters: right after a file
// has passed its signature check (built into varnel_setup_trusting.exe
// only). With VARNEL_TEST_SWAP naming a file, the folder of that file is
// renamed to "<folder>.checked" and a new folder of the old name takes its
// place, holding %VARNEL_TEST_SUBSTITUTE% under the file's name.
#include <windows.h>

#include <string.h>

void afterFileChecked(const char* path) {
    char name[MAX_PATH], substitute[MAX_PATH], folder[MAX_PATH], aside[MAX_PATH + 8];
    const char* base = strrchr(path, '\\');
    if (base == NULL || GetEnvironmentVariableA("VARNEL_TEST_SWAP", name, MAX_PATH) == 0 ||
        GetEnvironmentVariableA("VARNEL_TEST_SUBSTITUTE", substitute, MAX_PATH) == 0 ||
        lstrcmpiA(base + 1, name) != 0)
        return;
    lstrcpynA(folder, path, static_cast<int>(base - path) + 1);
    wsprintfA(aside, "%s.checked", folder);
    if (!MoveFileA(folder, aside)) return;
    CreateDirectoryA(folder, NULL);
    CopyFileA(substitute, path, FALSE);
}
