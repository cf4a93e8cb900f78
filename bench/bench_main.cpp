// varnel_bench: times the program's own transfer, extraction, probe and tree
// deletion, next to bare WinINet loops that read the same body in other ways,
// so bench/run.sh can put them side by side in one Wine.
//
//   varnel_bench download URL OUTPUT         downloadFile, as the dialog calls it
//   varnel_bench bare URL OUTPUT BLOCK [qda] InternetReadFile loop, BLOCK bytes
//                                            per read; "qda" asks
//                                            InternetQueryDataAvailable first
//   varnel_bench handoff URL OUTPUT BLOCK [BATCH]
//                                            the "qda" loop with every read made
//                                            on a helper thread, as the watchdog
//                                            does; with BATCH, up to BATCH reads
//                                            of BLOCK bytes per hand-off
//   varnel_bench extract FOLDER\ CAB DEST\   extractCabinet
//   varnel_bench probe                       probeUpdateServers
//   varnel_bench deltree FOLDER              deleteFolderTree
//   varnel_bench deltree-basic FOLDER        the same walk with FindFirstFileExA
//                                            (basic information, large fetch)
//   varnel_bench deltree-shares FOLDER       two threads delete the files at
//                                            once (each the names of its share),
//                                            then one walk deletes what is left
//   varnel_bench rename FOLDER NEWNAME       MoveFileA of the whole tree aside
//   varnel_bench press READY LIMIT_MS        waits (LIMIT_MS at most) for the
//                                            program's dialog and presses Start
//                                            (BM_CLICK, as the tests do); writes
//                                            READY once it is looking, and
//                                            prints the Unix time of the press
//                                            in ms as its value
//
// Prints one line "ms=<elapsed> ..." on stdout; exit code 0 on success.
#include <windows.h>

#include <wininet.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "cabinet/extract.h"
#include "download/probe.h"
#include "download/transfer.h"
#include "folders/working_folders.h"
#include "session/session.h"
#include "resources/resource.h"
#include "session/variants.h"

namespace {

double nowMs() {
    static LARGE_INTEGER frequency;
    if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart * 1000.0 / frequency.QuadPart;
}

void startSession() {
    resetSession();
    strcpy(session.versionText, "3.xx");
    strcpy(session.versionTag, "3_xx");
    session.variantLetter = 'L';
    configureVariant();
    session.instanceHandle = GetModuleHandleA(NULL);
    session.dialogWindow = NULL;
}

// The read loop every comparison starts from: one session, one request, one
// buffer, no thread.
int bareLoop(const char* url, const char* output, DWORD block, bool askAvailable,
             unsigned long long* total) {
    HINTERNET internet = InternetOpenA("varnel_bench", INTERNET_OPEN_TYPE_PRECONFIG, NULL, NULL, 0);
    if (internet == NULL) return 0;
    HINTERNET request = InternetOpenUrlA(internet, url, NULL, 0,
                                         INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    if (request == NULL) return 0;
    HANDLE file = CreateFileA(output, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return 0;
    char* buffer = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, block));
    int ok = 1;
    for (;;) {
        DWORD wanted = block;
        if (askAvailable) {
            DWORD available = 0;
            if (!InternetQueryDataAvailable(request, &available, 0, 0)) { ok = 0; break; }
            if (available != 0 && available < block) wanted = available;
        }
        DWORD got = 0;
        if (!InternetReadFile(request, buffer, wanted, &got)) { ok = 0; break; }
        if (got == 0) break;
        DWORD written = 0;
        WriteFile(file, buffer, got, &written, NULL);
        *total += got;
    }
    HeapFree(GetProcessHeap(), 0, buffer);
    CloseHandle(file);
    InternetCloseHandle(request);
    InternetCloseHandle(internet);
    return ok;
}

// The hand-off alone: each read runs on a second thread woken by an event,
// the caller waits for its completion event, as with a deadline.
struct HandOff {
    HANDLE start, done;
    HINTERNET request;
    char* buffer;
    DWORD size, got, batch;
    BOOL ok;
    volatile LONG quit;
};

DWORD WINAPI handOffMain(LPVOID parameter) {
    HandOff* h = static_cast<HandOff*>(parameter);
    for (;;) {
        WaitForSingleObject(h->start, INFINITE);
        if (h->quit) break;
        h->got = 0;
        h->ok = TRUE;
        // Several block-sized reads per wake-up, ending early at the end of
        // the body; each read still asks for at most one block.
        for (DWORD i = 0; i < h->batch && h->ok; ++i) {
            DWORD available = 0;
            h->ok = InternetQueryDataAvailable(h->request, &available, 0, 0);
            if (!h->ok) break;
            DWORD wanted = (available == 0 || available > h->size) ? h->size : available;
            DWORD got = 0;
            h->ok = InternetReadFile(h->request, h->buffer + h->got, wanted, &got);
            h->got += got;
            if (got == 0) break;
        }
        SetEvent(h->done);
    }
    return 0;
}

int handOffLoop(const char* url, const char* output, DWORD block, DWORD batch,
                unsigned long long* total) {
    HINTERNET internet = InternetOpenA("varnel_bench", INTERNET_OPEN_TYPE_PRECONFIG, NULL, NULL, 0);
    HINTERNET request = internet == NULL ? NULL
                        : InternetOpenUrlA(internet, url, NULL, 0,
                                           INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    if (request == NULL) return 0;
    HANDLE file = CreateFileA(output, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return 0;
    HandOff h = {};
    h.start = CreateEventA(NULL, FALSE, FALSE, NULL);
    h.done = CreateEventA(NULL, FALSE, FALSE, NULL);
    h.request = request;
    h.size = block;
    h.batch = batch;
    h.buffer = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, block * batch));
    HANDLE thread = CreateThread(NULL, 0, handOffMain, &h, 0, NULL);
    int ok = 1;
    for (;;) {
        SetEvent(h.start);
        if (WaitForSingleObject(h.done, 60000) != WAIT_OBJECT_0 || !h.ok) { ok = 0; break; }
        if (h.got == 0) break;
        DWORD written = 0;
        WriteFile(file, h.buffer, h.got, &written, NULL);
        *total += h.got;
    }
    h.quit = 1;
    SetEvent(h.start);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    HeapFree(GetProcessHeap(), 0, h.buffer);
    CloseHandle(file);
    InternetCloseHandle(request);
    InternetCloseHandle(internet);
    return ok;
}

// The tree walk of deleteFolderTree with the cheaper search Windows 7
// offers: no 8.3 names, larger directory reads.
int deleteTreeBasic(const char* folder) {
    char pattern[MAX_PATH];
    snprintf(pattern, sizeof pattern, "%s\\*", folder);
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileExA(pattern, FindExInfoBasic, &entry, FindExSearchNameMatch,
                                     NULL, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) return 1;
    int result = 1;
    do {
        if (strcmp(entry.cFileName, ".") == 0 || strcmp(entry.cFileName, "..") == 0) continue;
        char path[MAX_PATH];
        snprintf(path, sizeof path, "%s\\%s", folder, entry.cFileName);
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!deleteTreeBasic(path)) { result = 0; break; }
        } else {
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileA(path)) { result = 0; break; }
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    if (!result) return 0;
    return RemoveDirectoryA(folder) ? 1 : 0;
}

// Two threads delete the tree's files at once, each those whose name falls
// to its share (the parity of the sum of its bytes), passing over whatever
// they cannot delete; then one walk, deleteFolderTree's own, deletes what is
// left and removes the folders, and alone decides the answer. Neither share
// goes into a link. One path per walk, lengthened and shortened in place.
struct ShareWalk {
    char path[MAX_PATH];
    unsigned share;
};

void deleteShareBelow(ShareWalk* walk, size_t length) {
    if (length + 2 >= MAX_PATH) return;
    memcpy(walk->path + length, "\\*", 3);
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(walk->path, &entry);
    walk->path[length] = '\0';
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const char* name = entry.cFileName;
        DWORD attributes = entry.dwFileAttributes;
        size_t nameLength = strlen(name);
        if (length + 1 + nameLength >= MAX_PATH) continue;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
            if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
        } else {
            unsigned sum = 0;
            for (const char* c = name; *c != '\0'; ++c) sum += static_cast<unsigned char>(*c);
            if ((sum & 1) != walk->share) continue;
        }
        walk->path[length] = '\\';
        memcpy(walk->path + length + 1, name, nameLength + 1);
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            deleteShareBelow(walk, length + 1 + nameLength);
        } else {
            if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(walk->path, FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(walk->path);
        }
        walk->path[length] = '\0';
    } while (FindNextFileA(search, &entry));
    FindClose(search);
}

DWORD WINAPI deleteShareMain(LPVOID parameter) {
    ShareWalk* walk = static_cast<ShareWalk*>(parameter);
    deleteShareBelow(walk, strlen(walk->path));
    return 0;
}

int deleteTreeShares(const char* folder) {
    ShareWalk walks[2];
    for (unsigned i = 0; i < 2; ++i) {
        if (strlen(folder) >= MAX_PATH) return 0;
        strcpy(walks[i].path, folder);
        walks[i].share = i;
    }
    DWORD attributes = GetFileAttributesA(folder);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        HANDLE helper = CreateThread(NULL, 0, deleteShareMain, &walks[1], 0, NULL);
        if (helper != NULL) {
            deleteShareMain(&walks[0]);
            WaitForSingleObject(helper, INFINITE);
            CloseHandle(helper);
        }
    }
    return deleteFolderTree(folder);
}

// The dialog of another process: a visible dialog-class window with a Start
// button.
BOOL CALLBACK findSetupDialog(HWND window, LPARAM context) {
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    if (strcmp(className, "#32770") == 0 && IsWindowVisible(window) &&
        GetDlgItem(window, IDC_START) != NULL) {
        *reinterpret_cast<HWND*>(context) = window;
        return FALSE;
    }
    return TRUE;
}

unsigned long long unixMs() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    unsigned long long ticks = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) |
                               now.dwLowDateTime;
    return (ticks - 116444736000000000ULL) / 10000;
}

int pressStart(const char* ready, DWORD limitMs, unsigned long long* pressedAt) {
    HANDLE mark = CreateFileA(ready, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (mark == INVALID_HANDLE_VALUE) return 0;
    CloseHandle(mark);
    DWORD begin = GetTickCount();
    HWND dialog = NULL;
    while (dialog == NULL && GetTickCount() - begin < limitMs) {
        EnumWindows(findSetupDialog, reinterpret_cast<LPARAM>(&dialog));
        // As often as the tests look: more would load the wineserver that
        // the starting program needs.
        if (dialog == NULL) Sleep(10);
    }
    if (dialog == NULL) return 0;
    // Posted: a sent click would wait here for the whole installation.
    *pressedAt = unixMs();
    return PostMessageA(GetDlgItem(dialog, IDC_START), BM_CLICK, 0, 0);
}

unsigned long long fileSize(const char* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return 0;
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    startSession();
    const char* what = argv[1];
    double begin = nowMs();
    int ok = 0;
    unsigned long long bytes = 0;
    if (strcmp(what, "download") == 0 && argc == 4) {
        session.remoteTotalBytes = 268435456.0f;
        ok = downloadFile(argv[2], argv[3], "bench.bin");
        bytes = fileSize(argv[3]);
    } else if (strcmp(what, "bare") == 0 && argc >= 5) {
        ok = bareLoop(argv[2], argv[3], static_cast<DWORD>(atol(argv[4])),
                      argc > 5 && strcmp(argv[5], "qda") == 0, &bytes);
    } else if (strcmp(what, "handoff") == 0 && argc >= 5) {
        DWORD batch = argc > 5 ? static_cast<DWORD>(atol(argv[5])) : 1;
        ok = handOffLoop(argv[2], argv[3], static_cast<DWORD>(atol(argv[4])),
                         batch == 0 ? 1 : batch, &bytes);
    } else if (strcmp(what, "extract") == 0 && argc == 5) {
        strcpy(session.downloadFolder, argv[2]);
        ok = extractCabinet(argv[3], argv[4]);
    } else if (strcmp(what, "probe") == 0) {
        ok = probeUpdateServers();
        bytes = static_cast<unsigned long long>(session.serverIndex);
    } else if (strcmp(what, "deltree") == 0 && argc == 3) {
        ok = deleteFolderTree(argv[2]);
    } else if (strcmp(what, "deltree-basic") == 0 && argc == 3) {
        ok = deleteTreeBasic(argv[2]);
    } else if (strcmp(what, "deltree-shares") == 0 && argc == 3) {
        ok = deleteTreeShares(argv[2]);
    } else if (strcmp(what, "rename") == 0 && argc == 4) {
        ok = MoveFileA(argv[2], argv[3]);
    } else if (strcmp(what, "press") == 0 && argc == 4) {
        ok = pressStart(argv[2], static_cast<DWORD>(atol(argv[3])), &bytes);
    } else {
        return 2;
    }
    double elapsed = nowMs() - begin;
    printf("ms=%.1f ok=%d value=%llu\n", elapsed, ok, bytes);
    fflush(stdout);
    return ok ? 0 : 1;
}
