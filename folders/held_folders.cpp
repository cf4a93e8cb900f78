#include "folders/held_folders.h"

#include <string.h>

#include "session/log.h"

void HeldFolders::release() {
    while (count > 0) CloseHandle(handles[--count]);
}

bool isPlainEntry(HANDLE handle, const char* path, DWORD kind) {
    // Asked twice: Wine opens what a Unix link points at even when told not
    // to follow it, and only the path's attributes show the link then.
    // Once held, the entry cannot be swapped for a link any more.
    BY_HANDLE_FILE_INFORMATION information;
    DWORD attributes = GetFileAttributesA(path);
    const DWORD mask = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;
    return GetFileInformationByHandle(handle, &information) &&
           (information.dwFileAttributes & mask) == kind && attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & mask) == kind;
}

int holdWorkFolder(const char* folder, HeldFolders* held, int ownLevels) {
    size_t length = strlen(folder);
    if (length == 0 || length >= MAX_PATH || folder[length - 1] != '\\') return 0;
    int levels = 0;
    for (const char* at = strchr(folder, '\\'); (at = strchr(at + 1, '\\')) != NULL;) ++levels;

    char part[MAX_PATH];
    int level = 0;
    // The text before the first backslash is the drive.
    for (const char* at = strchr(folder, '\\'); (at = strchr(at + 1, '\\')) != NULL;) {
        memcpy(part, folder, at - folder);
        part[at - folder] = '\0';
        // The tree's own levels were made by this run: a link there was put
        // in since, by someone who could re-point it, and nobody writes to
        // them (a folder becomes a link through a write). Above them lie the
        // user's folders: links of the system's or an administrator's making
        // (a profile disk mounted as a folder) are held as they are, and a
        // folder that another program holds with delete access is passed
        // over.
        bool own = ++level > levels - ownLevels;
        HANDLE handle =
            held->count == sizeof held->handles / sizeof held->handles[0]
                ? INVALID_HANDLE_VALUE
                : CreateFileA(part, GENERIC_READ,
                              own ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | (own ? FILE_FLAG_OPEN_REPARSE_POINT : 0),
                              NULL);
        if (handle == INVALID_HANDLE_VALUE) {
            if (!own) continue;
            logEvent("folder cannot be held: %s, error %lu", part, GetLastError());
            return 0;
        }
        held->handles[held->count++] = handle;
        if (own && !isPlainEntry(handle, part, FILE_ATTRIBUTE_DIRECTORY)) {
            logText("folder refused, a link or no folder: ", part);
            return 0;
        }
    }
    return 1;
}
