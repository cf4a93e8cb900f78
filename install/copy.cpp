#include "install/copy.h"

#include <string.h>
#include <windows.h>

#include "folders/file_exists.h"
#include "install/texts.h"
#include "install/whole_file.h"
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

// Writes the copy under a name of its own beside the destination and only
// then moves it over the real name in one step. A run killed or a disk that
// fills up half-way leaves the old file whole: a cut shared library under
// its real name would break every program that uses it, and the rules that
// copy only what is absent would never repair it.
bool replaceFile(const char* source, const char* destination) {
    char interim[MAX_PATH];
    if (!joinText(interim, destination, kInterimSuffix)) return false;
    // A run killed earlier may have left its own interim copy.
    clearBlocking(interim);
    DeleteFileA(interim);
    // CopyFileA carries the source's last-write time over, which the
    // libraries' minute comparison on the next run relies on.
    bool copied = CopyFileA(source, interim, TRUE) != FALSE;
    if (copied) {
        clearBlocking(interim);
        HANDLE file = CreateFileA(interim, GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, NULL);
        copied = file != INVALID_HANDLE_VALUE && FlushFileBuffers(file);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    if (copied) {
        DWORD old = clearBlocking(destination);
        if (MoveFileExA(interim, destination,
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        if (old != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(destination, old);
    }
    clearBlocking(interim);
    DeleteFileA(interim);
    return false;
}

}  // namespace

int copyComponentFile(const char* source, const char* destination) {
    if (!fileExists(source)) {
        showErrorBox(kMissingFile, source);
        return 0;
    }
    if (!mayOverwrite(source, destination)) return 1;
    if (replaceFile(source, destination)) return 1;
    showErrorBox(kCannotCopy, source, kCopyTarget, destination);
    return 0;
}
