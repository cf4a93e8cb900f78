// The controller of one run.
#ifndef VARNEL_STARTUP_SESSION_DRIVER_H
#define VARNEL_STARTUP_SESSION_DRIVER_H

// Runs every step of a session in its fixed order and returns the process's
// exit code: kExitInstallerStarted, kExitCancelled or kExitFailed.
int runSession(char* commandLine);

#endif
