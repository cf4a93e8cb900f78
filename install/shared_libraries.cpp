#include "install/shared_libraries.h"

#include <windows.h>

#include <shellapi.h>

#include "folders/file_exists.h"
#include "install/copy.h"
#include "install/texts.h"
#include "resources/resource.h"
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

// One entry; 0 fails the whole step.
int installEntry(const SharedLibrary& library) {
    JoinedPath source, destination;
    joinText(source, session.librariesFolder, library.fileName);
    joinText(destination, session.systemFolder, library.fileName);

    switch (library.rule) {
    case ruleCopyIfMissing:
        if (fileExists(destination)) return 1;
        return copyComponentFile(source, destination);
    case ruleCopyIfMissingUnsettled:
        // Whether these two are registered is not settled: only a copy that
        // failed while the file is there all the same leads to a
        // registration, and otherwise the step fails as for any other copy.
        if (fileExists(destination)) return 1;
        if (copyComponentFile(source, destination)) return 1;
        return registerComponent(destination);
    case ruleCopyAndRegister:
        // A component that cannot be copied has been reported; the others
        // still get their chance.
        if (fileExists(destination)) return 1;
        if (!copyComponentFile(source, destination)) return 1;
        return registerComponent(destination);
    case ruleSameMinute:
        // Equality, not age: an installed copy newer than the cabinet's is
        // replaced as well.
        if (sameWriteMinute(source, destination)) return 1;
        return copyComponentFile(source, destination);
    }
    return 0;
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
    // Not waited for; "/s" keeps the tool silent, so its outcome is unseen.
    ShellExecuteA(NULL, "open", kRegistrationTool, parameters, session.systemFolder, SW_SHOWNA);
    return 1;
}

int installSharedLibraries() {
    setControlText(IDC_STATUS, kCopyingFiles);
    for (const SharedLibrary& library : sharedLibraryTable) {
        keepWindowResponsive();
        if (!installEntry(library)) return 0;
    }
    return 1;
}
