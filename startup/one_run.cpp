// The lock and the relaunch mark are named objects in the machine-wide
// namespace: the lock guards the system folder and HKLM, which a run of
// another session shares (a deployment tool running as SYSTEM, a second
// user over remote desktop or fast user switching).
//
// Any program may make an object under a name first. So a name counts only
// when it is this program's: the expected kind of object (opening another
// kind fails), owned by Administrators, SYSTEM or this copy's user (which
// is the owner a copy's own objects get when it is not Administrators).
// Anything else is logged and left alone; it never ends a start with 1618.
//
// The relaunch mark names its copy by process id, which the shell's process
// handle gives: a start that is not that copy cannot take its place, and
// the copy that relaunched waits on the handle, which no other program can
// signal. The id is known only once the shell returns, possibly after the
// copy's first lines, so a second, unnamed mark says "a relaunch is under
// way" from before the shell call until the copy ends.
#include "startup/one_run.h"

#include <aclapi.h>
#include <sddl.h>

#include "folders/system_library.h"
#include "session/log.h"
#include "ui/dialog.h"

namespace {

const char kRunLockName[] = "Global\\VarnelSetup.Run";
const char kRelaunchMarkName[] = "Global\\VarnelSetup.Relaunch";

// How long a start waits for a relaunch under way to name its copy: the
// shell returns as soon as the elevation prompt was answered.
const DWORD kHandOverMs = 30000;

// Administrators and SYSTEM may do anything with the objects; everyone else
// only what a look needs: wait on them, read their owner, and let the lock
// go again after holding it for an instant (MUTEX_MODIFY_STATE; for an
// event the same bit only reads its state).
// Owned by Administrators where the token may give them an object (XP makes
// the creator the owner, which another administrator's start would not
// take for a run); from the fifth character on, the default owner.
const char kSecurity[] = "O:BAD:(A;;GA;;;BA)(A;;GA;;;SY)(A;;0x120001;;;WD)";
const DWORD kLookAccess = SYNCHRONIZE | READ_CONTROL | MUTEX_MODIFY_STATE;
const BYTE kAdministrators[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};
const BYTE kSystem[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};

// `object` when it is this program's; otherwise NULL, and a log line (error
// 6: another kind of object, 5: closed to this copy, 1307: another owner).
HANDLE ours(HANDLE object, const char* name) {
    DWORD error = GetLastError(), size;
    PSID owner, user[24];
    PSECURITY_DESCRIPTOR descriptor;
    HANDLE token;
    if (object != NULL) {
        error = ERROR_INVALID_OWNER;
        bool known = false;
        if (GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, NULL,
                            NULL, NULL, &descriptor) == ERROR_SUCCESS) {
            // The user counts as well: the copy without rights that relaunched
            // runs as the same user, and its marks are the user's.
            if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
                known = GetTokenInformation(token, TokenUser, user, sizeof user, &size) &&
                        EqualSid(owner, user[0]);
                CloseHandle(token);
            }
            known = known || EqualSid(owner, const_cast<BYTE*>(kAdministrators)) ||
                    EqualSid(owner, const_cast<BYTE*>(kSystem));
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

HANDLE openOurs(OpenObject open, const char* name) {
    return ours(open(kLookAccess, FALSE, name), name);
}

// A mutex, or a manual-reset event that is not set.
HANDLE makeOurs(bool mutex, const char* name) {
    for (int skip = 0;; skip += 4) {
        PSECURITY_DESCRIPTOR descriptor;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kSecurity + skip,
                                                                  SDDL_REVISION_1, &descriptor,
                                                                  NULL))
            return NULL;
        SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
        HANDLE object = mutex ? CreateMutexA(&attributes, FALSE, name)
                              : CreateEventA(&attributes, TRUE, FALSE, name);
        DWORD error = GetLastError();
        LocalFree(descriptor);
        if (object != NULL || error != ERROR_INVALID_OWNER || skip > 0) {
            SetLastError(error);
            return ours(object, name);  // one made before may be anybody's
        }
    }
}

// The name of the mark that names the copy `id` (0: any copy).
void nameCopy(char* name, DWORD id) { wsprintfA(name, "%s.%lu", kRelaunchMarkName, id); }

bool isNamed(DWORD id) {
    char name[48];
    nameCopy(name, id);
    HANDLE mark = openOurs(OpenEventA, name);
    if (mark != NULL) CloseHandle(mark);
    return mark != NULL;
}

BOOL CALLBACK findRunningDialog(HWND window, LPARAM found) {
    if (GetPropA(window, kDialogMark) == NULL) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

}  // namespace

RelaunchFound findRelaunch() {
    for (int look = 0;; ++look) {
        if (isNamed(GetCurrentProcessId()) || isNamed(0)) return kRelaunchedHere;
        HANDLE underWay = openOurs(OpenEventA, kRelaunchMarkName);
        if (underWay == NULL) return kNoRelaunch;
        if (look == 0) WaitForSingleObject(underWay, kHandOverMs);  // set once named
        CloseHandle(underWay);
        // Named, and not this copy: the run is the other copy's. Gone: the
        // relaunch was refused.
        if (look == 1) return kAnotherRelaunch;
    }
}

bool holdRunLock(bool keep) {
    HANDLE lock = keep ? makeOurs(true, kRunLockName) : openOurs(OpenMutexA, kRunLockName);
    // None, or not this program's: the run goes on unguarded.
    if (lock == NULL) return true;
    // A look holds the lock for an instant, which a start taking it waits out.
    if (WaitForSingleObject(lock, keep ? 2000 : 0) == WAIT_TIMEOUT) {
        CloseHandle(lock);
        return false;
    }
    // Kept (or abandoned by a copy that ended): the handle stays open until
    // the process ends, which lets the lock go on every way out.
    if (!keep) {
        ReleaseMutex(lock);
        CloseHandle(lock);
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
    // Without the id (before Windows XP SP1) the name with 0 makes any start
    // the copy while this one waits, as the mark always did.
    typedef DWORD(WINAPI * ProcessId)(HANDLE);
    ProcessId processId;
    DWORD id = copy != NULL && findFunction(GetModuleHandleA("kernel32.dll"), "GetProcessId",
                                            processId)
                   ? processId(copy)
                   : 0;
    char name[48];
    nameCopy(name, id);
    HANDLE named = makeOurs(false, name);
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
