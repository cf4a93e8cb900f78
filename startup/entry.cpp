// The program's entry.
#include <windows.h>

#include <stdlib.h>

#include "build_config.h"
#include "folders/working_folders.h"
#include "session/log.h"
#include "session/session.h"
#include "session/text.h"
#include "startup/one_run.h"
#include "startup/session_driver.h"
#include "startup/startup_checks.h"
#include "startup/texts.h"

#if defined(__GNUC__) && !defined(__clang__)
// The run time's default handler for an exception nobody catches prints a
// demangled type name, which links the whole C++ demangler (some 80 KB)
// into a program that never throws.
namespace __gnu_cxx {
void __verbose_terminate_handler() { abort(); }
}  // namespace __gnu_cxx
#endif

namespace {

// The long steps serve only paint requests while they run; without this,
// Windows would still put a "not responding" ghost over the dialog, which a
// user may close in the middle of writing to the system folder. Looked up,
// not imported: systems before XP lack it, and must still get their warning.
void keepGhostsAway() {
    typedef void(WINAPI * DisableGhosting)();
    DisableGhosting disable = reinterpret_cast<DisableGhosting>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("user32.dll"), "DisableProcessWindowsGhosting")));
    if (disable != NULL) disable();
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    resetSession();
    hardenDllSearch();
    keepGhostsAway();
    static char noCommandLine[1] = "";
    if (commandLine == NULL) commandLine = noCommandLine;
    // Looked at before the log: a start while a run is under way (or while
    // another copy's relaunch is, which becomes one) leaves that run's log
    // alone and asks for no rights. A relaunched copy writes on after the
    // lines of the copy before it.
    RelaunchFound relaunch = findRelaunch();
    if (relaunch == kAnotherRelaunch || !holdRunLock(false)) {
        showRunningDialog();
        return kExitAnotherRun;
    }
    session.relaunched = relaunch == kRelaunchedHere;
    openRunLog(session.relaunched);
    DWORD windows = GetVersion();
    logEvent("varnel_setup %s, variant %c, Windows %u.%u build %u, WoW64 %s", kVersionText,
             VARNEL_VARIANT_LETTER, LOBYTE(LOWORD(windows)), HIBYTE(LOWORD(windows)),
             windows < 0x80000000 ? HIWORD(windows) : 0, isWow64() ? "yes" : "no");
    logText("command line: ", commandLine);
    if (session.relaunched) logText("rights: ", "started by the relaunch of another copy");
    int exitCode = -1;
    if (runStartupChecks(commandLine)) {
        // Only now, with the rights: a copy that relaunches never holds the
        // lock, so there is nothing to hand over.
        exitCode = kExitAnotherRun;
        if (holdRunLock(true)) {
            session.instanceHandle = instance;
            copyText(session.versionText, kVersionText);
            copyText(session.versionTag, kVersionTag);
            session.variantLetter = VARNEL_VARIANT_LETTER;
            exitCode = runSession(commandLine);
        } else {
            showRunningDialog();
        }
    }
    logEvent("exit code %d", exitCode);
    closeRunLog();
    return exitCode;
}

