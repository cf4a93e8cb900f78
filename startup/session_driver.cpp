#include "startup/session_driver.h"

#include "folders/working_folders.h"
#include "install/pipeline.h"
#include "install/version_probe.h"
#include "session/run_mode.h"
#include "session/session.h"
#include "session/variants.h"

bool runSession(char* commandLine) {
    configureVariant();
    warnIfBeforeXp();
    if (!prepareWorkingFolders()) return false;  // it has told the user why
    detectLocalFiles();
    configureVariant();
    // The command line is read only now, after everything above: messages
    // shown so far carry the installation title even in an update.
    parseCommandLine(commandLine);
    session.installLibraries = probeSharedLibraries() ? 0 : 1;
    if (session.runKind == 'A') {
        // No dialog: the install's status texts go nowhere, its message
        // boxes still appear.
        copyLocalFiles();
    }
    return true;
}
