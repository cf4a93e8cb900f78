#include "install/copy.h"

#include <string.h>
#include <windows.h>

#include "folders/file_exists.h"
#include "install/texts.h"
#include "session/text.h"
#include "ui/message_boxes.h"

int mayOverwrite(const char* source, const char* destination) {
    if (!fileExists(source)) return 0;
    WIN32_FIND_DATAA existing;
    HANDLE search = FindFirstFileA(destination, &existing);
    if (search == INVALID_HANDLE_VALUE) return 1;
    FindClose(search);

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

// Windows refuses to copy over a read-only file, and CopyFileA gives the
// copy the source's attributes: a read-only copy left in the system folder
// would stop every later update at that file. The other bits stay.
void clearReadOnly(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0)
        return;
    SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
}

}  // namespace

int copyComponentFile(const char* source, const char* destination) {
    char message[3 * 260 + 64];
    if (!fileExists(source)) {
        joinText(message, kMissingFile, source);
        showErrorBox(message);
        return 0;
    }
    if (!mayOverwrite(source, destination)) return 1;
    clearReadOnly(destination);
    // CopyFileA carries the source's last-write time over, which the
    // libraries' minute comparison on the next run relies on.
    if (CopyFileA(source, destination, FALSE)) {
        clearReadOnly(destination);
        return 1;
    }
    joinText(message, kCannotCopy, source, kCopyTarget, destination);
    showErrorBox(message);
    return 0;
}
