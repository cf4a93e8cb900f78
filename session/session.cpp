#include "session/session.h"

SetupSession session;

void resetSession() {
    session = SetupSession{};
}
