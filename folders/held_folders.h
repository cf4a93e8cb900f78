// The folders on the way to files that the elevated run is about to use.
#ifndef VARNEL_FOLDERS_HELD_FOLDERS_H
#define VARNEL_FOLDERS_HELD_FOLDERS_H

#include <windows.h>

// Every folder of a path, held open from a check until the checked files
// have been used; all are let go together.
struct HeldFolders {
    HANDLE handles[MAX_PATH];
    int count = 0;
    HeldFolders() = default;
    HeldFolders(const HeldFolders&) = delete;
    HeldFolders& operator=(const HeldFolders&) = delete;
    ~HeldFolders() { release(); }
    void release();
};

// Holds `folder` (a working folder, ending in a backslash) and every folder
// above it open without delete sharing, so that none can be renamed or
// removed, and a path through them names the same folders until `held` is
// let go. The last `ownLevels` levels (the working folder and the tree's
// root) must be plain folders that can be held: 0 (and the reason in the
// log) when one is a link or cannot be held. Above them, links are held as
// they are and a folder that cannot be held is passed over.
int holdWorkFolder(const char* folder, HeldFolders* held, int ownLevels = 2);

// True when the entry open as `handle` and the entry at `path` are both of
// the `kind` (FILE_ATTRIBUTE_DIRECTORY or 0) and neither is a link.
bool isPlainEntry(HANDLE handle, const char* path, DWORD kind);

#endif
