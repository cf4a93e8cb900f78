#include "startup/session_driver.h"

#include "download/probe.h"
#include "folders/working_folders.h"
#include "install/pipeline.h"
#include "install/version_probe.h"
#include "resources/resource.h"
#include "session/log.h"
#include "session/run_mode.h"
#include "session/session.h"
#include "session/text.h"
#include "session/variants.h"
#include "startup/texts.h"
#include "ui/dialog.h"
#include "ui/message_boxes.h"

namespace {

void reportServersUnreachable() {
    char message[1024];
    message[0] = '\0';
    appendText(message, kServersUnreachable);
    appendText(message, "\n");
    appendText(message, updateServerHosts[0]);
    appendText(message, kHostSeparator);
    appendText(message, updateServerHosts[1]);
    appendText(message, kHostSeparator);
    appendText(message, updateServerHosts[2]);
    appendText(message, kCheckConnection);
    appendText(message, kLocalModeOnly);
    showErrorBox(message);
}

}  // namespace

int runSession(char* commandLine) {
    // Until a step started the installer or the user cancelled, the run
    // has failed (a dialog that could not even be shown included).
    session.exitCode = kExitFailed;
    configureVariant();
    warnIfBeforeXp();
    if (!prepareWorkingFolders()) return session.exitCode;  // it has told the user why
    const char* const made[3] = {session.downloadFolder, session.librariesFolder,
                                 session.startWorkFolder};
    for (const char* folder : made) logText("folder made: ", folder);
    detectLocalFiles();
    // The user can still choose local mode in the dialog, so a probe that
    // finds no server only says so; the addresses then name server 1.
    if (session.sourceMode == 'I' && !probeUpdateServers()) reportServersUnreachable();
    configureVariant();
    // The command line is read only now, after the probe: every message so
    // far carries the installation title, even in an update.
    parseCommandLine(commandLine);
    session.installLibraries = probeSharedLibraries() ? 0 : 1;
    logEvent("run mode: %s from %s files, libraries %s", session.runKind == 'A' ? "update" : "installation",
             session.sourceMode == 'L' ? "local" : "internet",
             session.installLibraries ? "to be installed" : "current");
    if (session.runKind == 'A') {
        // No dialog: the install's status texts go nowhere, its message
        // boxes still appear.
        HWND guard = beginUpdateStep();
        if (copyLocalFiles()) session.exitCode = kExitInstallerStarted;
        endUpdateStep(guard);
    } else {
        // The dialog's commands set the exit code.
        INT_PTR ended =
            DialogBoxParamA(session.instanceHandle, MAKEINTRESOURCEA(IDD_SETUP), NULL, dialogProc, 0);
        // The dialog always ends itself with IDOK: anything else means it
        // never appeared or was destroyed from outside, which only the log
        // can tell afterwards.
        if (ended != IDOK)
            logEvent("dialog: not shown or destroyed from outside (result %d, error %lu)",
                     static_cast<int>(ended), GetLastError());
    }
    // The installer has started by now, or never will.
    releaseWorkingFolders();
    return session.exitCode;
}
