#include "folders/working_folders.h"

#include <io.h>
#include <sddl.h>
#include <shlobj.h>
#include <string.h>
#include <sys/stat.h>

#include "folders/held_folders.h"
#include "folders/texts.h"
#include "session/log.h"
#include "session/session.h"
#include "session/text.h"
#include "ui/message_boxes.h"

IsWow64ProcessFn findIsWow64Process() {
    HMODULE kernel = GetModuleHandleA("kernel32");
    if (kernel == NULL) return NULL;
    return reinterpret_cast<IsWow64ProcessFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
}

IsWow64ProcessFn (*lookupIsWow64Process)() = findIsWow64Process;

void (*oldTreeDeleted)() = NULL;

namespace {

// The tree and every folder on the way to it, from their making to the end
// of the run.
HeldFolders workTree;

// A link on the way to the temporary folder (a profile moved by a junction,
// say) is followed once, here, where Windows can name the real folder: the
// tree's paths then name it, and the folders on that way are held for the
// run, so re-pointing the link later changes nothing the run uses. Where it
// cannot (before Vista; a volume mounted as a folder without a drive letter)
// the way stays as it is and is held as it is.
void followLinksOnce(char (&temp)[MAX_PATH]) {
    char part[MAX_PATH];
    bool linked = false;
    for (const char* at = strchr(temp, '\\'); at != NULL && (at = strchr(at + 1, '\\')) != NULL;) {
        part[0] = '\0';
        appendTextPart(part, temp, static_cast<size_t>(at - temp));
        DWORD attributes = GetFileAttributesA(part);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            linked = true;
    }
    if (!linked) return;
    typedef DWORD(WINAPI * FinalPathFn)(HANDLE, LPSTR, DWORD, DWORD);
    FinalPathFn finalPath = reinterpret_cast<FinalPathFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32"), "GetFinalPathNameByHandleA")));
    HANDLE folder = CreateFileA(temp, FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    char real[MAX_PATH + 4];
    DWORD length = finalPath != NULL && folder != INVALID_HANDLE_VALUE
                       ? finalPath(folder, real, sizeof real, 0 /* VOLUME_NAME_DOS */)
                       : 0;
    if (folder != INVALID_HANDLE_VALUE) CloseHandle(folder);
    // "\\?\C:\..." names a local drive's folder.
    if (length > 6 && length < sizeof real && strncmp(real, "\\\\?\\", 4) == 0 &&
        real[5] == ':' && joinText(temp, real + 4, "\\"))
        logText("temporary folder through a link, really: ", temp);
}

}  // namespace

void releaseWorkingFolders() { workTree.release(); }

bool isWow64() {
    IsWow64ProcessFn isWow64Process = lookupIsWow64Process();
    if (isWow64Process == NULL) return false;  // older Windows: never WOW64
    BOOL wow64 = FALSE;
    if (!isWow64Process(GetCurrentProcess(), &wow64)) return false;
    return wow64 != FALSE;
}

int createFolderPath(const char* path) {
    char part[MAX_PATH];
    if (strlen(path) >= sizeof part) return 0;
    // The text before the first backslash is the drive; it is never created.
    const char* backslash = strchr(path, '\\');
    while (backslash != NULL && (backslash = strchr(backslash + 1, '\\')) != NULL) {
        part[0] = '\0';
        appendTextPart(part, path, static_cast<size_t>(backslash - path));
        // A parent that cannot be made shows up as the failure of the last step.
        if (GetFileAttributesA(part) == INVALID_FILE_ATTRIBUTES) CreateDirectoryA(part, NULL);
    }
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES && !CreateDirectoryA(path, NULL))
        return 0;
    return 1;
}

namespace {

// Whether the entry can be opened for deletion with no sharing at all: any
// handle that another program holds on it, in whatever mode, refuses that.
// One that is gone in the meantime needs no deleting.
int inUseForDeletion(const char* path, DWORD attributes) {
    DWORD flags = FILE_FLAG_OPEN_REPARSE_POINT;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) flags |= FILE_FLAG_BACKUP_SEMANTICS;
    HANDLE entry = CreateFileA(path, DELETE, 0, NULL, OPEN_EXISTING, flags, NULL);
    if (entry != INVALID_HANDLE_VALUE) {
        CloseHandle(entry);
        return 0;
    }
    DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

// A junction or directory link carries the directory attribute too. Only the
// link is removed: what it points at lies outside the tree and must never be
// touched, however the link got there.
int removeFolderLink(const char* link) {
    if (RemoveDirectoryA(link)) return 1;
    return DeleteFileA(link) ? 1 : 0;
}

}  // namespace

int deleteFolderTree(const char* folder) {
    DWORD attributes = GetFileAttributesA(folder);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return removeFolderLink(folder);

    char pattern[MAX_PATH];
    if (!joinText(pattern, folder, "\\*")) return 0;  // too deep to search with ANSI calls
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE) return 1;  // absent or unreadable: nothing to do

    int result = 1;
    do {
        if (strcmp(entry.cFileName, ".") == 0 || strcmp(entry.cFileName, "..") == 0) continue;
        char path[MAX_PATH];
        if (!joinText(path, folder, "\\", entry.cFileName)) {
            result = 0;
            break;
        }
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!deleteFolderTree(path)) {
                result = 0;
                break;
            }
            RemoveDirectoryA(path);  // already gone; the inner call removed it
        } else {
            // Hidden and system files delete as they are; read-only ones do not.
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY) _chmod(path, _S_IWRITE);
            if (!DeleteFileA(path)) {
                result = 0;
                break;
            }
        }
    } while (FindNextFileA(search, &entry));
    if (result && GetLastError() != ERROR_NO_MORE_FILES) result = 0;
    FindClose(search);
    if (!result) return 0;
    return RemoveDirectoryA(folder) ? 1 : 0;
}

int folderTreeInUse(const char* folder) {
    DWORD attributes = GetFileAttributesA(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
    // A link is deleted as a link: what it points at is none of our business.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return inUseForDeletion(folder, attributes);
    char pattern[MAX_PATH];
    if (!joinText(pattern, folder, "\\*")) return 1;  // cannot be deleted either
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (search != INVALID_HANDLE_VALUE) {
        int inUse = 0;
        do {
            if (strcmp(entry.cFileName, ".") == 0 || strcmp(entry.cFileName, "..") == 0) continue;
            char path[MAX_PATH];
            if (!joinText(path, folder, "\\", entry.cFileName)) {
                inUse = 1;
            } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                inUse = folderTreeInUse(path);
            } else {
                inUse = inUseForDeletion(path, entry.dwFileAttributes);
            }
        } while (!inUse && FindNextFileA(search, &entry));
        FindClose(search);
        if (inUse) return 1;
    }
    // A folder that is some program's current folder (the installer of the
    // earlier run works in start) is open as well.
    return inUseForDeletion(folder, attributes);
}

namespace {

int failWith(const char* text, const char* detail = "") {
    releaseWorkingFolders();
    showErrorBox(text, detail);
    return 0;
}

}  // namespace

int prepareWorkingFolders() {
    // Each path goes into a 260-byte field with its trailing backslash; a
    // longer one cannot be used with the ANSI calls and is refused with the
    // message of its step instead of being cut.
    char current[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(MAX_PATH, current);
    if (length == 0 || length >= MAX_PATH || !joinText(session.startFolder, current, "\\"))
        return failWith(kNoCurrentFolder);

    releaseWorkingFolders();
    char temp[MAX_PATH];
    length = GetTempPathA(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH) return failWith(kNoTempFolder);
    followLinksOnce(temp);
    length = static_cast<DWORD>(strlen(temp));

    char system[MAX_PATH];
    if (!SHGetSpecialFolderPathA(session.dialogWindow, system, CSIDL_SYSTEM, FALSE))
        return failWith(kNoWindowsFolder);
    char* lastBackslash = strrchr(system, '\\');
    if (lastBackslash != NULL) *lastBackslash = '\0';
    copyText(session.windowsFolder, system);
    if (!joinText(session.systemFolder, session.windowsFolder,
                  isWow64() ? "\\SysWOW64\\" : "\\System32\\"))
        return failWith(kNoWindowsFolder);

    // The way to the tree is held from here on: the old tree is deleted,
    // and the new one made, where the path names them now.
    holdWorkFolder(temp, &workTree, 0);

    // The tree is looked over whole before anything of it is deleted: a
    // second run started while the first one's installer still works from it
    // must not take that installer's files away one by one until it meets
    // the first one in use.
    char workRoot[MAX_PATH];
    if (!joinText(workRoot, temp, kWorkRootName) || folderTreeInUse(workRoot) ||
        !deleteFolderTree(workRoot)) {
        char shown[2 * MAX_PATH];
        joinText(shown, temp, kWorkRootName);
        return failWith(kCannotDeleteTemp, shown);
    }

    // Every path is measured before anything is made.
    const char* const subfolders[3] = {kStartSubfolder, kLibrariesSubfolder, kDownloadSubfolder};
    char(*const fields[3])[MAX_PATH] = {&session.startWorkFolder, &session.librariesFolder,
                                        &session.downloadFolder};
    char folders[3][MAX_PATH];
    for (int i = 0; i < 3; ++i) {
        bool fits = joinText(folders[i], temp, subfolders[i]) &&
                    strlen(folders[i]) + 1 < MAX_PATH;  // room for the trailing backslash
        if (!fits) {
            char shown[2 * MAX_PATH];
            joinText(shown, temp, subfolders[i]);
            return failWith(kCannotCreateFolder, shown);
        }
    }

    if (oldTreeDeleted != NULL) oldTreeDeleted();
    // The tree must be this run's own. An elevated run, or one as SYSTEM
    // whose temporary folder is the Windows one where every user may make
    // folders, would otherwise unpack and start code in a folder that
    // someone else made between the deletion and now, and can still change.
    // The root is made with a protected DACL that the subfolders inherit:
    // Administrators and SYSTEM in full, Users to read and run.
    temp[length - 1] = '\0';
    createFolderPath(temp);  // the temporary folder itself may be missing
    temp[length - 1] = '\\';
    SECURITY_ATTRIBUTES security = {sizeof security, NULL, FALSE};
    bool made = false;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorA(
            "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)", SDDL_REVISION_1,
            &security.lpSecurityDescriptor, NULL)) {
        made = CreateDirectoryA(workRoot, &security) != FALSE;
        LocalFree(security.lpSecurityDescriptor);
    }
    if (!made) return failWith(kCannotCreateFolder, workRoot);
    // Held from now on, none of the tree's folders or those on the way to
    // it can be renamed, replaced or re-pointed while the run uses them.
    for (int i = 0; i < 3; ++i) {
        char held[MAX_PATH];
        if (!CreateDirectoryA(folders[i], NULL) || !joinText(held, folders[i], "\\") ||
            !holdWorkFolder(held, &workTree))
            return failWith(kCannotCreateFolder, folders[i]);
        copyText(*fields[i], held);
    }
    return 1;
}
