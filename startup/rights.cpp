#include "startup/rights.h"

#include <windows.h>

#include <shellapi.h>
#include <stdlib.h>

#include "session/log.h"
#include "session/session.h"
#include "startup/one_run.h"
#include "startup/startup_checks.h"
#include "startup/texts.h"
#include "ui/message_boxes.h"

TokenQueries tokenQueries = {isAdministratorUser, isAdministratorsGroupEnabled,
                             isProcessElevated};

namespace {

// Closes a token handle on every way out.
struct TokenHandle {
    HANDLE handle = NULL;
    ~TokenHandle() {
        if (handle != NULL) CloseHandle(handle);
    }
};

// A query's failure: the code of the step that failed, and no answer.
bool failed(DWORD* error) {
    *error = GetLastError();
    return false;
}

// Runs a token query; a failure's code is kept in lastError and counts as "no".
bool guarded(TokenQuery query) {
    DWORD error = 0;
    bool answer = query(&error);
    if (error == 0) return answer;
    session.lastError = error;
    return false;
}

bool relaunch() {
    // Where "runas" cannot raise the rights (a standard user with User
    // Account Control switched off), the copy would start the next one, and
    // so on without end.
    if (session.relaunched) {
        logText("rights: relaunch refused: ", "this copy was started by a relaunch");
        session.lastError = 0;
        return false;
    }
    // The wide path: the ANSI code page cannot spell every folder's name,
    // and puts '?' where it cannot.
    WCHAR path[MAX_PATH];
    DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH);
    // A path cut to the buffer would start some other file, or none.
    if (length == 0 || length >= MAX_PATH) return false;

    HANDLE mark = markRelaunch();
    SHELLEXECUTEINFOW request;
    ZeroMemory(&request, sizeof request);
    request.cbSize = sizeof request;
    request.fMask = SEE_MASK_NOCLOSEPROCESS;
    request.lpVerb = L"runas";
    request.lpFile = path;
    request.nShow = SW_SHOWNORMAL;
    // The command line is not handed on: the elevated copy starts afresh.
    logShownText("rights: relaunching through runas: ", path);
    if (ShellExecuteExW(&request)) {
        // The copy writes on in this log, which both append to.
        awaitRelaunchedCopy(mark, request.hProcess);
        logText("rights: ", "the elevated copy has ended");
        logEvent("exit code %d", 0);
        exit(0);
    }
    logEvent("rights: relaunch refused, error %lu", GetLastError());
    dropRelaunchMark(mark);
    session.lastError = 0;
    return false;
}

}  // namespace

bool probeRegistryWriteAccess() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProbeKey, 0, KEY_WRITE, &key) == ERROR_SUCCESS) {
        RegCloseKey(key);
        showErrorBox(kProbeKeyLeftOver);
        return RegDeleteKeyA(HKEY_LOCAL_MACHINE, kProbeKey) == ERROR_SUCCESS;
    }
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProbeKey, 0, NULL, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, NULL, &key, NULL) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return RegDeleteKeyA(HKEY_LOCAL_MACHINE, kProbeKey) == ERROR_SUCCESS;
}

bool relaunchElevated() { return relaunch(); }

bool isAdministratorUser(DWORD* error) {
    *error = 0;
    TokenHandle process, checked;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &process.handle))
        return failed(error);
    TOKEN_ELEVATION_TYPE type;
    DWORD size = 0;
    if (!GetTokenInformation(process.handle, TokenElevationType, &type, sizeof type, &size))
        return failed(error);
    // Under User Account Control the running token is the limited one; the
    // membership is judged on the full token linked to it.
    if (type == TokenElevationTypeLimited) {
        TOKEN_LINKED_TOKEN linked;
        if (!GetTokenInformation(process.handle, TokenLinkedToken, &linked, sizeof linked, &size))
            return failed(error);
        checked.handle = linked.LinkedToken;
    }
    if (checked.handle == NULL &&
        !DuplicateToken(process.handle, SecurityIdentification, &checked.handle))
        return failed(error);

    BYTE sid[SECURITY_MAX_SID_SIZE];  // 68 bytes
    DWORD sidSize = sizeof sid;
    // Windows XP and later: looked up, so that Windows 2000 starts at all.
    typedef BOOL(WINAPI * CreateWellKnownSidFn)(WELL_KNOWN_SID_TYPE, PSID, PSID, DWORD*);
    CreateWellKnownSidFn createWellKnownSid =
        reinterpret_cast<CreateWellKnownSidFn>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleA("advapi32.dll"), "CreateWellKnownSid")));
    if (createWellKnownSid == NULL) return failed(error);
    if (!createWellKnownSid(WinBuiltinAdministratorsSid, NULL, sid, &sidSize))
        return failed(error);
    BOOL member = FALSE;
    if (!CheckTokenMembership(checked.handle, sid, &member)) return failed(error);
    return member != FALSE;
}

bool isAdministratorsGroupEnabled(DWORD* error) {
    *error = 0;
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID administrators = NULL;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators))
        return failed(error);
    // With no token the caller's own is asked, where a limited token carries
    // the group for deny only.
    BOOL member = FALSE;
    BOOL asked = CheckTokenMembership(NULL, administrators, &member);
    DWORD code = GetLastError();
    FreeSid(administrators);
    if (!asked) {
        SetLastError(code);
        return failed(error);
    }
    return member != FALSE;
}

bool isProcessElevated(DWORD* error) {
    *error = 0;
    TokenHandle process;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &process.handle)) return failed(error);
    TOKEN_ELEVATION elevation;
    DWORD size = 0;
    if (!GetTokenInformation(process.handle, TokenElevation, &elevation, sizeof elevation, &size))
        return failed(error);
    return elevation.TokenIsElevated != 0;
}

bool checkAdministratorRights() {
    bool administrator = guarded(tokenQueries.administratorUser);
    bool enabled = administrator && guarded(tokenQueries.administratorsGroupEnabled);
    if (administrator && enabled) return true;
    if (session.lastError != 0) showStartupError(kNoUserInfo, session.lastError);
    return false;
}

bool ensureElevated() {
    DWORD error = 0;
    bool elevated = tokenQueries.processElevated(&error);
    if (error != 0) {
        session.lastError = error;
        return false;
    }
    return elevated || relaunch();
}
