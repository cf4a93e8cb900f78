#include "startup/session_driver.h"

#include "folders/working_folders.h"
#include "session/session.h"
#include "session/variants.h"

bool runSession(char* commandLine) {
    (void)commandLine;  // read by the command-line parser
    configureVariant();
    if (!prepareWorkingFolders()) return false;
    return true;
}
