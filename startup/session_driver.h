// The controller of one run.
#ifndef VARNEL_STARTUP_SESSION_DRIVER_H
#define VARNEL_STARTUP_SESSION_DRIVER_H

// Runs every step of a session in its fixed order. False only when the
// working folders cannot be prepared.
bool runSession(char* commandLine);

#endif
