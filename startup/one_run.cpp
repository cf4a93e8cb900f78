// The lock is a named object in the machine-wide namespace: it guards the
// system folder and HKLM, which a run of another session shares (a
// deployment tool running as SYSTEM, a second user over remote desktop or
// fast user switching). The relaunch marks live in the session's own.
//
// Any program may make an object under a name first. So a name counts only
// when it is this program's: the expected kind of object (opening another
// kind fails) with the expected owner: Administrators or SYSTEM for the
// lock, which only a copy with the rights makes; for the marks, which the
// copy without rights makes, also this copy's user. Anything else is logged
// and left alone; it never ends a start with 1618.
//
// Nobody but Administrators and SYSTEM may wait on the lock: whoever can
// wait on a mutex can own it and keep it, and every later start would end
// 1618. A look only asks whether it is owned (MUTANT_QUERY_STATE). The
// marks are the user's own: a second start of the same user sees them,
// nobody else can open them, and in the machine-wide namespace anyone
// could have taken a copy's name beforehand.
//
// The relaunch mark names its copy by process id, which the shell's process
// handle gives: a start that is not that copy cannot take its place, and
// the copy that relaunched waits on the handle, which no other program can
// signal. The id is known only once the shell returns, possibly after the
// copy's first lines, so a second, unnamed mark says "a relaunch is under
// way" from before the shell call until the copy ends. A copy that cannot
// be named (someone took the name) is not waited for: the mark goes, and
// the copy starts as any start with the rights does.
#include "startup/one_run.h"

#include <aclapi.h>
#include <sddl.h>

#include "folders/system_library.h"
#include "session/log.h"
#include "ui/dialog.h"

namespace {

const char kRunLockName[] = "Global\\VarnelSetup.Run";
// A relaunch happens within one session: its marks are the session's, where
// no other user can make an object first.
const char kRelaunchMarkName[] = "Local\\VarnelSetup.Relaunching";

// How long a start waits for a relaunch under way to name its copy: the
// shell returns as soon as the elevation prompt was answered.
const DWORD kHandOverMs = 30000;

// Administrators and SYSTEM may do anything with the lock; everyone else
// may read its owner and whether it is owned. Owned by Administrators where
// the token may give them an object (XP makes the creator the owner, which
// another administrator's start would not take for a run); from the fifth
// character on, the default owner.
const char kLockSecurity[] = "O:BAD:(A;;GA;;;BA)(A;;GA;;;SY)(A;;0x20001;;;WD)";
const DWORD kLockLookAccess = READ_CONTROL | MUTANT_QUERY_STATE;
const DWORD kMarkLookAccess = SYNCHRONIZE | READ_CONTROL;
const BYTE kAdministrators[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};
const BYTE kSystem[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};

// This copy's user, in `buffer` (NULL when it cannot be read).
PSID tokenUser(PSID (&buffer)[24]) {
    HANDLE token;
    DWORD size;
    bool read = false;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        read = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) != FALSE;
        CloseHandle(token);
    }
    return read ? buffer[0] : NULL;
}

// `object` when it is this program's (`userToo`: also when its owner is
// this copy's user); otherwise NULL, and a log line (error 6: another kind
// of object, 5: closed to this copy, 1307: another owner).
HANDLE ours(HANDLE object, const char* name, bool userToo) {
    DWORD error = GetLastError();
    PSID owner, user[24];
    PSECURITY_DESCRIPTOR descriptor;
    if (object != NULL) {
        error = ERROR_INVALID_OWNER;
        bool known = false;
        if (GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, NULL,
                            NULL, NULL, &descriptor) == ERROR_SUCCESS) {
            PSID self = userToo ? tokenUser(user) : NULL;
            known = owner != NULL && ((self != NULL && EqualSid(owner, self)) ||
                                      EqualSid(owner, const_cast<BYTE*>(kAdministrators)) ||
                                      EqualSid(owner, const_cast<BYTE*>(kSystem)));
            LocalFree(descriptor);
        }
        if (known) return object;
        CloseHandle(object);
    }
    if (error != ERROR_FILE_NOT_FOUND)
        logEvent("one run: %s is not this program's (error %lu); left alone", name, error);
    return NULL;
}

typedef HANDLE(WINAPI* OpenObject)(DWORD, BOOL, LPCSTR);

// The lock (a mutex), or a mark: a manual-reset event that is not set, the
// user's own.
HANDLE makeOurs(bool lock, const char* name) {
    char security[2 * 192 + 48] = "";  // a SID's text is at most 184 characters
    PSID user[24];
    char* userText = NULL;
    if (!lock) {
        if (tokenUser(user) == NULL || !ConvertSidToStringSidA(user[0], &userText)) return NULL;
        if (lstrlenA(userText) < 192)
            wsprintfA(security, "O:%sD:(A;;GA;;;BA)(A;;GA;;;SY)(A;;GA;;;%s)", userText, userText);
        LocalFree(userText);
        if (security[0] == '\0') return NULL;
    }
    for (int skip = 0;; skip += 4) {
        PSECURITY_DESCRIPTOR descriptor;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(
                lock ? kLockSecurity + skip : security, SDDL_REVISION_1, &descriptor, NULL))
            return NULL;
        SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
        HANDLE object = lock ? CreateMutexA(&attributes, FALSE, name)
                             : CreateEventA(&attributes, TRUE, FALSE, name);
        DWORD error = GetLastError();
        LocalFree(descriptor);
        if (object != NULL || error != ERROR_INVALID_OWNER || skip > 0 || !lock) {
            SetLastError(error);
            return ours(object, name, !lock);  // one made before may be anybody's
        }
    }
}

// The name of the mark that names the copy `id` (0: any copy).
void nameCopy(char* name, DWORD id) { wsprintfA(name, "%s.%lu", kRelaunchMarkName, id); }

HANDLE openMark(const char* name) {
    return ours(OpenEventA(kMarkLookAccess, FALSE, name), name, true);
}

bool isNamed(DWORD id) {
    char name[48];
    nameCopy(name, id);
    HANDLE mark = openMark(name);
    if (mark != NULL) CloseHandle(mark);
    return mark != NULL;
}

// GetProcessId, looked up: before Windows XP SP1 the first copy cannot name
// its copy by id, and names "any copy" (0) instead.
typedef DWORD(WINAPI* ProcessIdFn)(HANDLE);
ProcessIdFn processIdFunction() {
    ProcessIdFn processId;
    return findFunction(GetModuleHandleA("kernel32.dll"), "GetProcessId", processId) ? processId
                                                                                    : NULL;
}

BOOL CALLBACK findRunningDialog(HWND window, LPARAM found) {
    if (GetPropA(window, kDialogMark) == NULL) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

}  // namespace

RelaunchFound findRelaunch() {
    for (int look = 0;; ++look) {
        if (isNamed(GetCurrentProcessId())) return kRelaunchedHere;
        HANDLE underWay = openMark(kRelaunchMarkName);
        if (underWay == NULL) return kNoRelaunch;
        // Set once the first copy has named its copy.
        bool named = WaitForSingleObject(underWay, look == 0 ? kHandOverMs : 0) == WAIT_OBJECT_0;
        CloseHandle(underWay);
        // "Any copy" (id 0), where the first copy had no id to give (no
        // GetProcessId, no process handle from the shell) or its copy's own
        // name was taken: it counts only while that relaunch is under way.
        if (named && isNamed(0)) return kRelaunchedHere;
        // Named, and not this copy: the run is the other copy's. Gone: the
        // relaunch was refused, or no name could be given at all.
        if (look == 1) return kAnotherRelaunch;
    }
}

bool holdRunLock(bool keep) {
    if (!keep) {
        // A look: whether the lock is owned, asked without waiting on it
        // (none, or not this program's: the run goes on unguarded).
        HANDLE lock = ours(OpenMutexA(kLockLookAccess, FALSE, kRunLockName), kRunLockName, false);
        if (lock == NULL) return true;
        struct {
            LONG count;  // 1 when not owned
            BOOLEAN ownedByCaller, abandoned;
        } state = {1, FALSE, FALSE};
        typedef LONG(WINAPI * QueryMutantFn)(HANDLE, int, void*, ULONG, ULONG*);
        QueryMutantFn query;
        if (findFunction(GetModuleHandleA("ntdll.dll"), "NtQueryMutant", query))
            query(lock, 0, &state, sizeof state, NULL);
        CloseHandle(lock);
        return state.count > 0;
    }
    HANDLE lock = makeOurs(true, kRunLockName);
    if (lock == NULL) return true;
    // Kept (or abandoned by a copy that ended): the handle stays open until
    // the process ends, which lets the lock go on every way out.
    if (WaitForSingleObject(lock, 2000) == WAIT_TIMEOUT) {
        CloseHandle(lock);
        return false;
    }
    return true;
}

void showRunningDialog() {
    HWND dialog = NULL;
    EnumWindows(findRunningDialog, reinterpret_cast<LPARAM>(&dialog));
    if (dialog == NULL) return;  // an update, or the dialog not open yet
    if (IsIconic(dialog)) ShowWindow(dialog, SW_RESTORE);
    SetForegroundWindow(GetLastActivePopup(dialog));
}

HANDLE markRelaunch() { return makeOurs(false, kRelaunchMarkName); }

void awaitRelaunchedCopy(HANDLE mark, HANDLE copy) {
    ProcessIdFn processId = processIdFunction();
    DWORD id = copy != NULL && processId != NULL ? processId(copy) : 0;
    char name[48];
    nameCopy(name, id);
    HANDLE named = makeOurs(false, name);
    if (named == NULL && id != 0) {
        // Someone took the copy's own name: "any copy" then, as without an id.
        nameCopy(name, 0);
        named = makeOurs(false, name);
    }
    if (named == NULL) {
        // No name at all: the copy would find the mark and not its name.
        // Without the marks it starts as any start with the rights.
        dropRelaunchMark(mark);
        mark = NULL;
    }
    logEvent("rights: waiting for the elevated copy, process %lu", id);
    if (mark != NULL) SetEvent(mark);
    // The marks last as long as the copy's run: a start meanwhile leaves the
    // run to it.
    if (copy != NULL) {
        WaitForSingleObject(copy, INFINITE);
        CloseHandle(copy);
    } else {
        Sleep(kHandOverMs);
    }
    if (named != NULL) CloseHandle(named);
    dropRelaunchMark(mark);
}

void dropRelaunchMark(HANDLE mark) {
    if (mark == NULL) return;
    SetEvent(mark);
    CloseHandle(mark);
}
