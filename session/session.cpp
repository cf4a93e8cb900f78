#include "session/session.h"

#include <string.h>

// Zero-filled storage, so the record costs nothing in the program file.
SetupSession session;

void resetSession() {
    memset(&session, 0, sizeof session);
    session.serverIndex = 1;
}
