// The program's entry.
#include <windows.h>

#include "build_config.h"
#include "session/session.h"
#include "session/text.h"
#include "startup/session_driver.h"
#include "startup/startup_checks.h"
#include "startup/texts.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    hardenDllSearch();
    if (!runStartupChecks(commandLine)) return -1;

    session.instanceHandle = instance;
    copyText(session.versionText, kVersionText);
    copyText(session.versionTag, kVersionTag);
    session.variantLetter = VARNEL_VARIANT_LETTER;

    runSession(commandLine);
    return 0;
}
