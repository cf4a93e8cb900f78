#include "startup/startup_checks.h"

#include <string.h>

#include "session/log.h"
#include "session/session.h"
#include "session/text.h"
#include "session/windows_version.h"
#include "startup/rights.h"
#include "startup/texts.h"
#include "ui/message_boxes.h"

void hardenDllSearch() {
    // The program runs elevated and loads cabinet.dll and the maker's
    // libraries by bare name: a DLL planted beside the executable (a
    // downloads folder) or in the current folder must never be picked up.
    // Both are looked up: Windows 2000 has neither, and must still start.
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
    typedef BOOL(WINAPI * SetDllDirectoryFn)(LPCSTR);
    HMODULE kernel = GetModuleHandleA("kernel32");
    if (kernel == NULL) return;
    SetDefaultDllDirectoriesFn setDefaultDllDirectories =
        reinterpret_cast<SetDefaultDllDirectoriesFn>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefaultDllDirectories != NULL &&
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return;
    // Older systems: at least take the current folder out of the search.
    SetDllDirectoryFn setDllDirectory = reinterpret_cast<SetDllDirectoryFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
    if (setDllDirectory != NULL) setDllDirectory("");
}

void showStartupError(const char* situation, DWORD errorCode) {
    char message[512];
    message[0] = '\0';
    appendText(message, situation);
    appendText(message, kErrorNumber);
    appendNumber(message, static_cast<int>(errorCode));
    appendText(message, kSetupImpossible);
    appendText(message, kContactMaker);
    showErrorBox(message);
}

namespace {

// Only a to z change: Polish letters keep their case, as the C locale does.
void upperCaseAscii(char* text) {
    for (; *text != '\0'; ++text)
        if (*text >= 'a' && *text <= 'z') *text = static_cast<char>(*text - 'a' + 'A');
}

}  // namespace

bool runStartupChecks(char* commandLine) {
    if (commandLine[0] != '\0') upperCaseAscii(commandLine);
    if (strcmp(commandLine, kBypassLong) == 0 || strcmp(commandLine, kBypassShort) == 0) {
        logText("rights: ", "not checked (bypass word)");
        return true;
    }

    OSVERSIONINFOA version;
    ZeroMemory(&version, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;  // 148
    if (!queryWindowsVersion(&version)) {
        session.lastError = GetLastError();
        logEvent("rights: Windows version unknown, error %lu", session.lastError);
        if (session.lastError == 0) return false;
        showStartupError(kNoWindowsInfo, session.lastError);
        return false;
    }

    if (version.dwMajorVersion < 6) {
        // Before Vista there is no token elevation: a user who may write
        // under HKLM is an administrator.
        bool administrator = probeRegistryWriteAccess();
        logEvent("rights: write access under HKLM %s", administrator ? "yes" : "no");
        if (administrator) return true;
        relaunchElevated();  // ends the process when a copy was started
        return false;
    }
    // The check may have shown its own message; the elevation step follows
    // regardless, as a process that is elevated may still run.
    bool administrator = checkAdministratorRights();
    logEvent("rights: administrator %s", administrator ? "yes" : "no");
    if (administrator) return true;
    bool elevated = ensureElevated();
    logEvent("rights: elevated %s", elevated ? "yes" : "no");
    return elevated;
}
