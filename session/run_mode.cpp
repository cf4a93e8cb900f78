#include "session/run_mode.h"

#include <string.h>
#include <windows.h>

#include "folders/file_exists.h"
#include "session/session.h"
#include "session/text.h"
#include "session/texts.h"
#include "session/windows_version.h"
#include "ui/message_boxes.h"

bool warnIfBeforeXp() {
    OSVERSIONINFOEXA version;
    ZeroMemory(&version, sizeof version);
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);  // 156
    if (!queryWindowsVersion(reinterpret_cast<LPOSVERSIONINFOA>(&version))) {
        ZeroMemory(&version, sizeof version);
        version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);  // 148
        // A version that cannot be queried counts as new enough.
        if (!queryWindowsVersion(reinterpret_cast<LPOSVERSIONINFOA>(&version))) return true;
    }
    if (version.dwMajorVersion > 5 || (version.dwMajorVersion == 5 && version.dwMinorVersion >= 1))
        return true;
    showErrorBox(kOldWindowsWarning);
    return true;
}

bool detectLocalFiles() {
    session.localFilesPresent = 0;
    session.sourceMode = 'I';
    session.installLibraries = 1;
    const char* const cabinets[3] = {session.systemCabinetName, session.cabinetAName,
                                      session.cabinetBName};
    for (const char* name : cabinets) {
        char path[MAX_PATH];
        // A path that cannot be formed cannot be found either.
        if (!joinText(path, session.startFolder, name) || !fileExists(path)) return false;
    }
    session.localFilesPresent = 1;
    session.sourceMode = 'L';
    return true;
}

namespace {

// Upper- or lower-case letters a to z compare equal; nothing else does.
bool startsWithIgnoringCase(const char* text, const char* prefix) {
    for (; *prefix != '\0'; ++text, ++prefix) {
        char a = *text, b = *prefix;
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

// Moves the last word of `line` into `field` and cuts the line at the space
// before it. False when there is no space left, or when the word does not
// fit its field: the parser then stops and the field stays as it was.
bool takeLastWord(char* line, char* field, size_t capacity) {
    char* space = strrchr(line, ' ');
    if (space == NULL) return false;
    if (!copyText(field, capacity, space + 1)) return false;
    *space = '\0';
    return true;
}

}  // namespace

bool parseCommandLine(const char* commandLine) {
    session.runKind = 'I';
    if (commandLine[0] == '\0') {
        session.installerArg1[0] = '\0';
        session.installerArg2[0] = '\0';
        session.installerArg3[0] = '\0';
        return true;
    }

    // The working copy holds at most 259 characters. A longer command line
    // is not read at all rather than cut: cutting it would hand the
    // installer a shortened last argument (a path) as if it were whole, so
    // the run stays an installation with its dialog.
    char line[MAX_PATH];
    if (!copyText(line, commandLine)) return true;

    char* space = strrchr(line, ' ');
    if (space != NULL && startsWithIgnoringCase(space + 1, kClientMarker)) {
        session.clientFlag = 'K';
        *space = '\0';
    }

    // Words are separated by single spaces; two in a row make an empty word.
    // A word longer than its field (50, 11 or 259 characters) stops the
    // parser there: the run stays an installation, and the arguments found
    // before it keep their values.
    if (!takeLastWord(line, session.installerArg3, sizeof session.installerArg3)) return true;
    if (!takeLastWord(line, session.installerArg2, sizeof session.installerArg2)) return true;
    if (!takeLastWord(line, session.installerArg1, sizeof session.installerArg1)) return true;

    session.runKind = 'A';
    session.sourceMode = 'L';
    return true;
}
