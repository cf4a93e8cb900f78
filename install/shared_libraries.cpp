#include "install/shared_libraries.h"

#include <windows.h>

#include <shellapi.h>
#include <string.h>

#include "folders/file_exists.h"
#include "folders/held_folders.h"
#include "install/copy.h"
#include "install/publisher.h"
#include "install/texts.h"
#include "install/whole_file.h"
#include "resources/resource.h"
#include "session/log.h"
#include "session/session.h"
#include "session/text.h"
#include "ui/progress.h"

const SharedLibrary sharedLibraryTable[14] = {
    {"libeay32.dll", ruleCopyIfMissing, NULL},
    {"ssleay32.dll", ruleCopyIfMissing, NULL},
    {"msvcr70.dll", ruleCopyIfMissing, NULL},
    {"msvcr71.dll", ruleCopyIfMissing, NULL},
    {"vfp7r.dll", ruleCopyIfMissingUnsettled, NULL},
    {"vfp7renu.dll", ruleCopyIfMissingUnsettled, NULL},
    {"ChilKatFtp2.dll", ruleCopyAndRegister, NULL},
    {"DebenuPDFLibraryAX0912.dll", ruleCopyAndRegister, NULL},
    {"mscomm32.ocx", ruleCopyAndRegister, NULL},
    {"msmapi32.ocx", ruleCopyAndRegister, NULL},
    {"mscomctl.ocx", ruleCopyAndRegister, NULL},
    {"richtx32.ocx", ruleCopyAndRegister, NULL},
    {"vncab.dll", ruleSameMinute, "_VNCAB_Wersja"},
    {"vnapiwin.dll", ruleSameMinute, "_VNAPIWIN_Wersja"},
};

namespace {

bool lastWriteTime(const char* path, SYSTEMTIME* time) {
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(path, &entry);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    // UTC, without conversion to local time: both files are judged alike.
    return FileTimeToSystemTime(&entry.ftLastWriteTime, time) != FALSE;
}

// Registrations under way: regsvr32 runs beside the copies, and its exit
// codes are collected for the log once every copy is done.
const DWORD kRegistrationWaitMs = 10000;
HANDLE registrations[14];
char registered[14][64];  // the file names
int registrationCount;

void collectRegistrations() {
    DWORD start = GetTickCount();
    for (int i = 0; i < registrationCount; ++i) {
        DWORD elapsed = GetTickCount() - start;
        DWORD code = STILL_ACTIVE;
        if (elapsed < kRegistrationWaitMs)
            waitServingPaint(registrations[i], kRegistrationWaitMs - elapsed);
        GetExitCodeProcess(registrations[i], &code);
        if (code == STILL_ACTIVE)
            logEvent("library %s: regsvr32 still running", registered[i]);
        else
            logEvent("library %s: regsvr32 exit code %lu", registered[i], code);
        CloseHandle(registrations[i]);
    }
    registrationCount = 0;
}

// The copy of a library that will run as administrator: a signature the
// build does not trust, or a file missing at the check, is refused
// (`refused` set) before anything is copied, and the copy is read from the
// very handle that was checked.
int copyLibrary(const char* source, const char* destination, bool* refused) {
    HeldFile held;
    if (!holdTrustedFile(source, &held)) {
        *refused = true;
        return 0;
    }
    return copyHeldFile(held.handle, source, destination);
}

// One entry; 0 fails the whole step.
int installEntry(const SharedLibrary& library, const char* source, const char* destination) {
    bool refused = false;
    switch (library.rule) {
    case ruleCopyIfMissing:
        if (wholeFileExists(destination)) return 1;
        return copyLibrary(source, destination, &refused);
    case ruleCopyIfMissingUnsettled:
        // Whether these two are registered is not settled: only a copy that
        // failed while the file is there all the same leads to a
        // registration, and otherwise the step fails as for any other copy.
        if (wholeFileExists(destination)) return 1;
        if (copyLibrary(source, destination, &refused)) return 1;
        return refused ? 0 : registerComponent(destination);
    case ruleCopyAndRegister:
        // A component that cannot be copied has been reported; the others
        // still get their chance. A refused one ends the step: whoever
        // changed it may have changed the others too.
        if (wholeFileExists(destination)) return 1;
        if (!copyLibrary(source, destination, &refused)) return refused ? 0 : 1;
        return registerComponent(destination);
    case ruleSameMinute:
        // Equality, not age: an installed copy newer than the cabinet's is
        // replaced as well. A cut copy is replaced whatever its time, or the
        // probe would ask for the libraries on every run for ever.
        if (sameWriteMinute(source, destination) && wholeFileExists(destination)) return 1;
        return copyLibrary(source, destination, &refused);
    }
    return 0;
}

// "<name>.varnel_nowy" (the form before process ids), or
// "<name>.<digits>.varnel_nowy" or ".varnel_stary": a copy that a run
// killed between its copy and its move left, or an old copy moved aside.
bool isLeftover(const char* found, const char* name) {
    size_t length = strlen(name);
    if (_strnicmp(found, name, length) != 0) return false;
    const char* rest = found + length;
    if (_stricmp(rest, kInterimSuffix) == 0) return true;
    if (*rest++ != '.' || *rest < '0' || *rest > '9') return false;
    while (*rest >= '0' && *rest <= '9') ++rest;
    return _stricmp(rest, kInterimSuffix) == 0 || _stricmp(rest, kAsideSuffix) == 0;
}

// What earlier runs left beside the fourteen libraries goes first; one still
// in use is deleted at the next restart.
void removeLeftovers() {
    for (const SharedLibrary& library : sharedLibraryTable) {
        JoinedPath pattern, path;
        WIN32_FIND_DATAA entry;
        if (!joinText(pattern, session.systemFolder, library.fileName, ".*varnel_*")) continue;
        HANDLE search = FindFirstFileA(pattern, &entry);
        if (search == INVALID_HANDLE_VALUE) continue;
        do {
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
                !isLeftover(entry.cFileName, library.fileName) ||
                !joinText(path, session.systemFolder, entry.cFileName))
                continue;
            SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
            if (DeleteFileA(path))
                logText("leftover removed: ", path);
            else if (MoveFileExA(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT))
                logText("leftover in use, deleted at restart: ", path);
            else
                logEvent("leftover %s cannot be removed, error %lu", path, GetLastError());
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
}

int decideEntry(const SharedLibrary& library) {
    JoinedPath source, destination;
    joinText(source, session.librariesFolder, library.fileName);
    joinText(destination, session.systemFolder, library.fileName);
    // The installed copy's write time before and after tells what was done.
    WIN32_FILE_ATTRIBUTE_DATA before, after;
    BOOL present = GetFileAttributesExA(destination, GetFileExInfoStandard, &before);
    int result = installEntry(library, source, destination);
    BOOL now = GetFileAttributesExA(destination, GetFileExInfoStandard, &after);
    const char* outcome = !now ? "absent"
                          : present && CompareFileTime(&before.ftLastWriteTime,
                                                       &after.ftLastWriteTime) == 0
                              ? "kept"
                              : "copied";
    logEvent("library %s: rule %d, %s, %s", library.fileName, static_cast<int>(library.rule),
             outcome, result ? "ok" : "failed");
    return result;
}

}  // namespace

int sameWriteMinute(const char* first, const char* second) {
    SYSTEMTIME a, b;
    if (!lastWriteTime(first, &a) || !lastWriteTime(second, &b)) return 0;
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay &&
           a.wHour == b.wHour && a.wMinute == b.wMinute;
}

int registerComponent(const char* path) {
    // Quoted: a system folder with blanks must reach the tool as one word.
    char parameters[2 * 260 + 8];
    if (!joinText(parameters, "/s \"", path, "\"")) return 0;
    if (!fileExists(path)) return 0;
    // "/s" keeps the tool silent; its exit code goes to the log.
    SHELLEXECUTEINFOA request;
    ZeroMemory(&request, sizeof request);
    request.cbSize = sizeof request;
    request.fMask = SEE_MASK_NOCLOSEPROCESS;
    request.lpVerb = "open";
    request.lpFile = kRegistrationTool;
    request.lpParameters = parameters;
    request.lpDirectory = session.systemFolder;
    request.nShow = SW_SHOWNA;
    if (ShellExecuteExA(&request) && request.hProcess != NULL) {
        if (registrationCount < 14) {
            const char* name = strrchr(path, '\\');
            copyText(registered[registrationCount], name != NULL ? name + 1 : path);
            registrations[registrationCount++] = request.hProcess;
        } else {
            CloseHandle(request.hProcess);
        }
    }
    logText("library registered with regsvr32: ", path);
    return 1;
}

int installSharedLibraries() {
    setControlText(IDC_STATUS, kCopyingFiles);
    // The libraries are checked and copied by their paths in the working
    // tree: its folders stay put until the last copy is made. One that
    // cannot be held fails the step (the reason is in the log).
    HeldFolders folders;
    if (!holdWorkFolder(session.librariesFolder, &folders)) return 0;
    removeLeftovers();
    int result = 1;
    for (const SharedLibrary& library : sharedLibraryTable) {
        keepWindowResponsive();
        if (!decideEntry(library)) {
            result = 0;
            break;
        }
    }
    collectRegistrations();
    return result;
}
