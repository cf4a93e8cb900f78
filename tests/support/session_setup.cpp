#include "tests/support/session_setup.h"

#include <string.h>

#include "session/session.h"
#include "session/variants.h"

void startConfiguredSession() {
    resetSession();
    strcpy(session.versionText, "3.xx");
    strcpy(session.versionTag, "3_xx");
    session.variantLetter = 'L';
    configureVariant();
}
