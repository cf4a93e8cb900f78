#include "install/copy.h"

#include <string.h>
#include <windows.h>

#include "folders/file_exists.h"
#include "install/publisher.h"
#include "install/texts.h"
#include "install/whole_file.h"
#include "session/log.h"
#include "session/text.h"
#include "ui/message_boxes.h"

int mayOverwrite(const char* source, const char* destination) {
    if (!fileExists(source)) return 0;
    WIN32_FIND_DATAA existing;
    HANDLE search = FindFirstFileA(destination, &existing);
    if (search == INVALID_HANDLE_VALUE) return 1;
    FindClose(search);
    // A cut or empty file counts as absent, whatever its kind.
    if (!wholeFileExists(destination)) return 1;

    // The name as the file system reports it, compared in lower case. A
    // substring test, not a test of the ending: "x.dll.bak" is replaced too,
    // while an existing ".ocx" or ".txt" is kept.
    char name[MAX_PATH];
    copyText(name, existing.cFileName);
    for (char* c = name; *c != '\0'; ++c)
        if (*c >= 'A' && *c <= 'Z') *c = static_cast<char>(*c - 'A' + 'a');
    const char* const replaced[] = {".dll", ".exe", ".app", ".pdf", ".chm", ".cab"};
    for (const char* kind : replaced)
        if (strstr(name, kind) != NULL) return 1;
    return 0;
}

namespace {

// Bits that stand in the way of replacing a file: Windows refuses to write
// over a read-only file and, unless the new file carries them too, over a
// hidden or system one. A copy left with them would block the next update.
const DWORD kBlockingAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// The old attributes, for putting them back when the replacement fails.
DWORD clearBlocking(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kBlockingAttributes) != 0)
        SetFileAttributesA(path, attributes & ~kBlockingAttributes);
    return attributes;
}

// The source's bytes, read from the handle that was opened (and checked)
// for the copy, into a new file: nothing that bears the source's name by
// now can slip in between. The last-write time goes with them, as the
// libraries' minute comparison on the next run relies on it.
bool writeCopy(HANDLE source, const char* target) {
    HANDLE file = CreateFileA(target, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                              NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    static char buffer[64 * 1024];
    DWORD read = 0, written = 0;
    FILETIME modified;
    // A signature check has read the file already.
    bool copied = SetFilePointer(source, 0, NULL, FILE_BEGIN) == 0;
    while (copied && (copied = ReadFile(source, buffer, sizeof buffer, &read, NULL) != FALSE) &&
           read != 0)
        copied = WriteFile(file, buffer, read, &written, NULL) && written == read;
    copied = copied && GetFileTime(source, NULL, NULL, &modified) &&
             SetFileTime(file, NULL, NULL, &modified) && FlushFileBuffers(file);
    CloseHandle(file);
    return copied;
}

// A name of this run's own beside `destination`: "<name>.<process id><kind>".
// The process id keeps two runs apart; where the name would pass the ANSI
// path limit, the destination's own name is left out of it.
bool besideName(JoinedPath& name, const char* destination, const char* kind) {
    char id[16] = ".";
    appendNumber(id, static_cast<int>(GetCurrentProcessId()));
    if (joinText(name, destination, id, kind) && strlen(name) < MAX_PATH) return true;
    const char* slash = strrchr(destination, '\\');
    name[0] = '\0';
    return slash != NULL &&
           appendTextPart(name, destination, static_cast<size_t>(slash - destination) + 1) &&
           appendText(name, id + 1) && appendText(name, kind) && strlen(name) < MAX_PATH;
}

// Writes the copy under a name of its own beside the destination and only
// then moves it over the real name in one step. A run killed or a disk that
// fills up half-way leaves the old file whole: a cut shared library under
// its real name would break every program that uses it, and the rules that
// copy only what is absent would never repair it.
//
// A library that a running program has loaded (the product starts an
// update with its own libraries loaded) cannot be replaced under its name,
// but it can be renamed: the old copy is moved aside, the new one into its
// name, and the old one is deleted at the next restart, when nothing holds
// it any more. Only a file held with no sharing at all cannot even be moved.
bool replaceFile(HANDLE source, const char* destination) {
    JoinedPath interim, aside;
    if (!besideName(interim, destination, kInterimSuffix)) return false;
    // A run of the same process id may have left it.
    DeleteFileA(interim);
    if (!writeCopy(source, interim)) {
        logEvent("copy: %s cannot be written, error %lu", interim, GetLastError());
        DeleteFileA(interim);
        return false;
    }
    DWORD old = clearBlocking(destination);
    if (MoveFileExA(interim, destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    logEvent("copy: %s cannot be replaced, error %lu", destination, GetLastError());
    if (old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        besideName(aside, destination, kAsideSuffix)) {
        if (!MoveFileExA(destination, aside, MOVEFILE_WRITE_THROUGH)) {
            logEvent("copy: %s cannot be moved aside, error %lu", destination, GetLastError());
        } else if (!MoveFileExA(interim, destination, MOVEFILE_WRITE_THROUGH)) {
            logEvent("copy: %s cannot take the new copy, error %lu", destination, GetLastError());
            MoveFileExA(aside, destination, MOVEFILE_WRITE_THROUGH);
        } else {
            bool later = MoveFileExA(aside, NULL, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
            logEvent(later ? "copy: old copy moved aside to %s, deleted at restart"
                           : "copy: old copy moved aside to %s, error %lu at its deletion",
                     aside, GetLastError());
            return true;
        }
    }
    if (old != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(destination, old);
    DeleteFileA(interim);
    return false;
}

}  // namespace

int copyHeldFile(HANDLE held, const char* source, const char* destination) {
    if (held == INVALID_HANDLE_VALUE && !fileExists(source)) {
        showErrorBox(kMissingFile, source);
        return 0;
    }
    if (!mayOverwrite(source, destination)) return 1;
    if (held != INVALID_HANDLE_VALUE && replaceFile(held, destination)) return 1;
    showErrorBox(kCannotCopy, source, kCopyTarget, destination);
    return 0;
}

int copyComponentFile(const char* source, const char* destination) {
    // The local set lies in the user's own folder, where a file may be a
    // link or a placeholder of a cloud drive: it is followed, as any copy
    // would, and never checked (only what runs is).
    HeldFile held;
    held.handle = CreateFileA(source, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    return copyHeldFile(held.handle, source, destination);
}
