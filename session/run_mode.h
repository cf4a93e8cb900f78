// Run-mode detection and the checks of the environment made before the
// dialog opens or an update starts.
#ifndef VARNEL_SESSION_RUN_MODE_H
#define VARNEL_SESSION_RUN_MODE_H

// Warns, without stopping, on Windows older than XP. Always true.
bool warnIfBeforeXp();

// Local mode when the system cabinet and both product cabinets lie in the
// start folder. True when all three were found.
bool detectLocalFiles();

// Reads the client marker and the three installer arguments from the end of
// the (upper-cased) command line; three arguments make the run an update.
// Always true.
bool parseCommandLine(const char* commandLine);

#endif
