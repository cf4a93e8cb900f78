#include "cabinet/extract.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "cabinet/texts.h"
#include "folders/file_exists.h"
#include "folders/system_library.h"
#include "session/log.h"
#include "session/session.h"
#include "session/text.h"
#include "ui/message_boxes.h"
#include "ui/progress.h"

namespace {

// The library is looked up by name at every use: it is loaded only for the
// one check or extraction and unloaded after it, so an entry point found
// earlier must never be kept.
typedef decltype(&FDICreate) FdiCreateFn;
typedef decltype(&FDIIsCabinet) FdiIsCabinetFn;
typedef decltype(&FDICopy) FdiCopyFn;
typedef decltype(&FDIDestroy) FdiDestroyFn;

// Read-only, hidden, system and archive; FDI also hands on its own flags
// (execute, UTF-8 name) in the same field, which are no file attributes.
const USHORT kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                               FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

// A set is a handful of cabinets; a chain this long is a broken or hostile
// one, and each link costs a full FDICopy.
const int kMaxSetCabinets = 100;

// FDI calls the notification handler without a context of ours (no user
// value is passed), so what it needs lives here; one extraction at a time.
char extractFolder[256];
char nextCabinetPath[256];
// The continuation named by the cabinet FDICopy was asked for. FDI reports
// every cabinet it opens, also those it crosses into to finish a file that
// continues; only the first report of a call belongs to the cabinet asked for.
char followingCabinetName[256];
bool followingCabinetNamed;
// The cabinets of the set already extracted, to stop a chain that loops.
char setCabinets[kMaxSetCabinets][256];
// Next-cabinet requests within one FDICopy: FDI asks again for as long as
// the handler says "go on", also when the file offered is not the cabinet
// it wants, so the requests are bounded.
int nextCabinetRequests;
// Files written by the extraction under way, for the log.
int extractedFiles;
// The set the cabinets of one extraction must all belong to, and the index
// of the last cabinet begun; checked for every cabinet after the first.
bool continuingSet;
USHORT setId;
USHORT cabinetIndex;

// The files this extraction has written, as the file system tells them
// apart. Windows takes "a.txt", "A.TXT", "a.txt." and a short name for one
// file: a second entry naming it would be written over the first.
struct FileIdentity {
    DWORD volume, high, low;
};
FileIdentity* writtenFiles;
size_t writtenCount, writtenRoom;

bool identify(HANDLE file, FileIdentity* identity) {
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file, &information)) return false;
    identity->volume = information.dwVolumeSerialNumber;
    identity->high = information.nFileIndexHigh;
    identity->low = information.nFileIndexLow;
    return true;
}

// Only a file that is already there is looked up: in a fresh folder that
// costs one failed open per file.
bool writtenBefore(const char* path) {
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    FileIdentity identity;
    bool known = identify(file, &identity);
    CloseHandle(file);
    for (size_t i = 0; known && i < writtenCount; ++i)
        if (writtenFiles[i].volume == identity.volume && writtenFiles[i].high == identity.high &&
            writtenFiles[i].low == identity.low)
            return true;
    return false;
}

bool rememberWritten(int descriptor) {
    FileIdentity identity;
    if (!identify(reinterpret_cast<HANDLE>(_get_osfhandle(descriptor)), &identity)) return false;
    if (writtenCount == writtenRoom) {
        size_t room = writtenRoom == 0 ? 64 : 2 * writtenRoom;
        void* grown = realloc(writtenFiles, room * sizeof *writtenFiles);
        if (grown == NULL) return false;
        writtenFiles = static_cast<FileIdentity*>(grown);
        writtenRoom = room;
    }
    writtenFiles[writtenCount++] = identity;
    return true;
}

void forgetWritten() {
    free(writtenFiles);
    writtenFiles = NULL;
    writtenCount = writtenRoom = 0;
}

FNALLOC(allocateMemory) { return malloc(cb); }

FNFREE(releaseMemory) { free(pv); }

// Deny-none sharing: another reader of a fresh download (a virus scanner)
// must never make an open fail.
FNOPEN(openFile) { return _sopen(pszFile, oflag, _SH_DENYNO, pmode); }

FNREAD(readFile) { return static_cast<UINT>(_read(static_cast<int>(hf), pv, cb)); }

FNWRITE(writeFile) {
    // A big cabinet takes a while: the window stays served meanwhile.
    keepWindowResponsive();
    return static_cast<UINT>(_write(static_cast<int>(hf), pv, cb));
}

FNCLOSE(closeFile) { return _close(static_cast<int>(hf)); }

FNSEEK(seekFile) { return _lseek(static_cast<int>(hf), dist, seektype); }

template <typename Function>
Function lookUp(HMODULE library, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

HFDI createContext(HMODULE library, ERF* error) {
    FdiCreateFn create = lookUp<FdiCreateFn>(library, "FDICreate");
    if (create == NULL) return NULL;
    return create(allocateMemory, releaseMemory, openFile, readFile, writeFile, closeFile,
                  seekFile, cpu80386, error);
}

void destroyContext(HMODULE library, HFDI context) {
    FdiDestroyFn destroy = lookUp<FdiDestroyFn>(library, "FDIDestroy");
    if (destroy != NULL) destroy(context);
}

// ".." climbs out of the folder; Windows also drops trailing dots and blanks
// from a name, so "..." or ".. " must not be trusted to stay a plain name.
// A lone "." stays where it is.
bool climbsOut(const char* part, size_t length) {
    if (length == 1 && part[0] == '.') return false;
    size_t dots = 0;
    for (size_t i = 0; i < length; ++i) {
        if (part[i] == '.')
            ++dots;
        else if (part[i] != ' ')
            return false;
    }
    return dots >= 2;
}

// CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9 name devices in any folder,
// in any case, also with an extension or trailing blanks ("con .txt"):
// writing such an entry would write to the device.
bool namesDevice(const char* part, size_t length) {
    size_t base = 0;
    while (base < length && part[base] != '.') ++base;
    while (base > 0 && part[base - 1] == ' ') --base;
    char name[5] = "";
    if (base < 3 || base > 4) return false;
    for (size_t i = 0; i < base; ++i)
        name[i] = static_cast<char>(part[i] >= 'a' && part[i] <= 'z' ? part[i] - 32 : part[i]);
    name[base] = '\0';
    if (base == 3)
        return strcmp(name, "CON") == 0 || strcmp(name, "PRN") == 0 || strcmp(name, "AUX") == 0 ||
               strcmp(name, "NUL") == 0;
    return (strncmp(name, "COM", 3) == 0 || strncmp(name, "LPT", 3) == 0) && name[3] >= '1' &&
           name[3] <= '9';
}

// A stored name comes from a downloaded file and must never choose where a
// file lands: absolute names, drives (and ':' streams), climbing parts and
// device names are refused. Both separators count; the file calls take
// either.
bool staysInside(const char* name) {
    if (name[0] == '\\' || name[0] == '/' || strchr(name, ':') != NULL) return false;
    const char* part = name;
    for (;;) {
        size_t length = strcspn(part, "\\/");
        if (climbsOut(part, length) || namesDevice(part, length)) return false;
        if (part[length] == '\0') return true;
        part += length + 1;
    }
}

// The cabinets of a set lie side by side in the download folder; a name
// with a folder part would lead FDI elsewhere.
bool isPlainName(const char* name) {
    return name[0] != '\0' && strcspn(name, "\\/:") == strlen(name) &&
           !climbsOut(name, strlen(name));
}

// Creation and last-write time from the cabinet, which stores local time;
// the last-access time stays that of the extraction.
void stampFile(const char* path, USHORT date, USHORT time, USHORT attributes) {
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        FILETIME local;
        FILETIME utc;
        if (DosDateTimeToFileTime(date, time, &local) && LocalFileTimeToFileTime(&local, &utc))
            SetFileTime(file, &utc, NULL, &utc);
        CloseHandle(file);
    }
    // Last, as read-only would refuse the reopen above.
    SetFileAttributesA(path, attributes & kKeptAttributes);
}

// Runs FDICopy on the cabinet and on every cabinet it continues in. FDI
// extracts only the files that start in the cabinet it is given; for a file
// that runs on into the next one it follows by itself, and the next call
// skips that file's tail (fdintPARTIAL_FILE) and takes the files that start
// there.
int copyCabinetSet(HMODULE library, HFDI context, const char* cabinetName,
                   const char* destinationFolder) {
    char name[256];
    char folder[256];
    if (!copyText(extractFolder, destinationFolder) || !copyText(name, cabinetName) ||
        !copyText(folder, session.downloadFolder))
        return 0;
    FdiCopyFn copy = lookUp<FdiCopyFn>(library, "FDICopy");
    if (copy == NULL) return 0;

    for (int used = 0;; ++used) {
        // A name met before closes a loop: every cabinet the chain names is
        // out already. A chain that runs past the bound may still hold files
        // that were never reached.
        for (int i = 0; i < used; ++i)
            if (lstrcmpiA(setCabinets[i], name) == 0) return 1;
        if (used == kMaxSetCabinets) return 0;
        copyText(setCabinets[used], name);

        followingCabinetName[0] = '\0';
        followingCabinetNamed = false;
        continuingSet = used > 0;
        nextCabinetRequests = 0;
        if (copy(context, name, folder, 0, extractionNotify, NULL, NULL) < 1) return 0;
        if (followingCabinetName[0] == '\0') return 1;
        if (!isPlainName(followingCabinetName)) return 0;
        // This cabinet came out whole. The rest of the set is extracted
        // where it lies beside it; where it does not (an internet run
        // fetches only the first cabinet), no file needed it.
        char following[2 * MAX_PATH];
        if (!joinText(following, folder, followingCabinetName) || !fileExists(following))
            return 1;
        copyText(name, followingCabinetName);
    }
}

}  // namespace

FNFDINOTIFY(extractionNotify) {
    switch (fdint) {
    case fdintCABINET_INFO:
        if (!followingCabinetNamed) {
            followingCabinetNamed = true;
            // FDI compares the set only for a cabinet it crosses into itself.
            // A next cabinet begun by a call of its own is checked here,
            // before any of it is written: the version tag stays the same
            // between builds, so an old b-cabinet can lie beside a new
            // a-cabinet under the name that the a-cabinet gives.
            if (continuingSet && (pfdin->setID != setId || pfdin->iCabinet != cabinetIndex + 1))
                return -1;
            setId = pfdin->setID;
            cabinetIndex = pfdin->iCabinet;
            // FDI keeps cabinet names within 256 bytes; one that did not fit
            // would lose the rest of the set, so it stops the extraction.
            if (!copyText(followingCabinetName, pfdin->psz1 != NULL ? pfdin->psz1 : ""))
                return -1;
        }
        return 0;
    case fdintCOPY_FILE: {
        char path[MAX_PATH];
        if (!staysInside(pfdin->psz1) || !joinText(path, extractFolder, pfdin->psz1) ||
            writtenBefore(path))
            return -1;
        // Truncated: an older file of the name must not keep its tail.
        int file = _sopen(path, _O_BINARY | _O_CREAT | _O_TRUNC | _O_WRONLY | _O_SEQUENTIAL,
                          _SH_DENYNO, _S_IREAD | _S_IWRITE);
        if (file != -1 && !rememberWritten(file)) {
            _close(file);
            return -1;
        }
        return file;
    }
    case fdintCLOSE_FILE_INFO: {
        char path[MAX_PATH];
        bool named = joinText(path, extractFolder, pfdin->psz1);
        _close(static_cast<int>(pfdin->hf));
        // The name was joined the same way when the file was opened.
        if (named) stampFile(path, pfdin->date, pfdin->time, pfdin->attribs);
        ++extractedFiles;
        return 1;
    }
    case fdintNEXT_CABINET:
        // 0 with the cabinet absent, or with a file there that is not the
        // cabinet FDI wants (it then reports an error for the one offered),
        // would make FDI ask again for ever.
        if (pfdin->fdie != FDIERROR_NONE || ++nextCabinetRequests > kMaxSetCabinets ||
            !isPlainName(pfdin->psz1) ||
            !joinText(nextCabinetPath, pfdin->psz3, pfdin->psz1) || !fileExists(nextCabinetPath))
            return -1;
        return 0;
    default:
        return 0;
    }
}

namespace {

// cabinet.dll is loaded, and an FDI context made, for one check or one
// extraction only, and both are let go before the result is returned.
int withFdiContext(int (*work)(HMODULE, HFDI, const void*), const void* data) {
    HMODULE library = loadSystemLibrary("cabinet.dll");
    if (library == NULL) return 0;
    int result = 0;
    ERF error;
    HFDI context = createContext(library, &error);
    if (context != NULL) {
        result = work(library, context, data);
        destroyContext(library, context);
    }
    FreeLibrary(library);
    return result;
}

int checkCabinet(HMODULE library, HFDI context, const void* data) {
    int file = _sopen(static_cast<const char*>(data), _O_BINARY | _O_RDONLY | _O_SEQUENTIAL,
                      _SH_DENYNO, 0);
    if (file == -1) return 0;
    int result = 0;
    FdiIsCabinetFn isCabinet = lookUp<FdiIsCabinetFn>(library, "FDIIsCabinet");
    FDICABINETINFO information;
    if (isCabinet != NULL) result = isCabinet(context, file, &information);
    _close(file);
    return result;
}

struct Extraction {
    const char* cabinetName;
    const char* destinationFolder;
};

int extractSet(HMODULE library, HFDI context, const void* data) {
    const Extraction* extraction = static_cast<const Extraction*>(data);
    return copyCabinetSet(library, context, extraction->cabinetName,
                          extraction->destinationFolder);
}

}  // namespace

int isCabinetFile(const char* path) { return withFdiContext(checkCabinet, path); }

int extractCabinet(const char* cabinetName, const char* destinationFolder) {
    char cabinetPath[MAX_PATH];
    // A path that does not fit cannot be reached with the ANSI calls: to the
    // program that cabinet is not there.
    if (!joinText(cabinetPath, session.downloadFolder, cabinetName) || !fileExists(cabinetPath)) {
        showErrorBox(kMissingCabinet, session.downloadFolder, "", cabinetName);
        return 0;
    }
    if (!isCabinetFile(cabinetPath)) {
        showErrorBox(kNotCabinetStart, cabinetPath, kNotCabinetEnd);
        return 0;
    }

    // Every other failure (a damaged cabinet, a refused entry, a wrong or
    // missing next cabinet, a file that cannot be made) is reported too:
    // a run must never end in silence after an extraction that failed.
    Extraction extraction = {cabinetName, destinationFolder};
    extractedFiles = 0;
    int extracted = withFdiContext(extractSet, &extraction);
    forgetWritten();
    logEvent("extract: %s into %s: %d files, %s", cabinetPath, destinationFolder, extractedFiles,
             extracted ? "done" : "failed");
    if (extracted) return 1;
    showErrorBox(kCannotExtract, cabinetPath);
    return 0;
}
