#include "startup/one_run.h"

#include "ui/dialog.h"

namespace {

// Per logon session: the elevated copy of a user under User Account Control
// runs in the same one.
const char kRunLockName[] = "Local\\VarnelSetup.Run";
const char kRelaunchMarkName[] = "Local\\VarnelSetup.Relaunch";

// How long a copy waits for the other side of a relaunch: the shell returns
// only once the elevation prompt was answered, so the copy already runs.
const DWORD kHandOverMs = 30000;

// The elevated copy, another user's included (an administrator's password
// typed over a standard user's shoulder), must open what the first copy
// made; the default security would give it to the first copy's user alone.
struct OpenToEveryone {
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES attributes;
    OpenToEveryone() {
        InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorDacl(&descriptor, TRUE, NULL, FALSE);
        attributes.nLength = sizeof attributes;
        attributes.lpSecurityDescriptor = &descriptor;
        attributes.bInheritHandle = FALSE;
    }
};

BOOL CALLBACK findRunningDialog(HWND window, LPARAM found) {
    if (GetPropA(window, kDialogMark) == NULL) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

}  // namespace

bool startedByRelaunch() {
    HANDLE mark = OpenEventA(EVENT_MODIFY_STATE, FALSE, kRelaunchMarkName);
    // A mark this copy may not touch is still the mark.
    if (mark == NULL) return GetLastError() == ERROR_ACCESS_DENIED;
    SetEvent(mark);
    CloseHandle(mark);
    return true;
}

bool holdRunLock(bool relaunched) {
    OpenToEveryone everyone;
    HANDLE lock = CreateMutexA(&everyone.attributes, FALSE, kRunLockName);
    // Made by an elevated run, the lock is out of a plain copy's reach: that
    // run is under way. Any other failure leaves the run unguarded, as
    // before there was a lock.
    if (lock == NULL) return GetLastError() != ERROR_ACCESS_DENIED;
    DWORD waited = WaitForSingleObject(lock, relaunched ? 2 * kHandOverMs : 0);
    if (waited == WAIT_TIMEOUT) {
        CloseHandle(lock);
        return false;
    }
    // Held (or abandoned by a copy that ended): the handle stays open until
    // the process ends, which releases the lock on every way out.
    return true;
}

void showRunningDialog() {
    HWND dialog = NULL;
    EnumWindows(findRunningDialog, reinterpret_cast<LPARAM>(&dialog));
    if (dialog == NULL) return;  // an update, or the dialog not open yet
    if (IsIconic(dialog)) ShowWindow(dialog, SW_RESTORE);
    SetForegroundWindow(GetLastActivePopup(dialog));
}

HANDLE markRelaunch() {
    OpenToEveryone everyone;
    return CreateEventA(&everyone.attributes, TRUE, FALSE, kRelaunchMarkName);
}

void awaitRelaunchedCopy(HANDLE mark, HANDLE copy) {
    HANDLE waited[2];
    DWORD count = 0;
    if (mark != NULL) waited[count++] = mark;
    if (copy != NULL) waited[count++] = copy;
    if (count > 0) WaitForMultipleObjects(count, waited, FALSE, kHandOverMs);
    for (DWORD i = 0; i < count; ++i) CloseHandle(waited[i]);
}
