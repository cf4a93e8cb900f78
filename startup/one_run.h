// One run at a time, and the hand-over from a copy to its elevated relaunch.
#ifndef VARNEL_STARTUP_ONE_RUN_H
#define VARNEL_STARTUP_ONE_RUN_H

#include <windows.h>

// A start while another run is under way: deployment tools know the code as
// "another installation is already in progress".
const int kExitAnotherRun = 1618;

// True when another copy started this one through its relaunch; that copy
// is told, so that it can end.
bool startedByRelaunch();
// Takes the run's lock for the rest of the process; false when another run
// holds it. A relaunched copy first waits for the copy that started it.
bool holdRunLock(bool relaunched);
// Brings the running copy's dialog, or the box open over it, to the front.
void showRunningDialog();

// Made before a relaunch, for the copy it starts to find; NULL when it
// cannot be made.
HANDLE markRelaunch();
// After a started relaunch: waits until the copy has found the mark or has
// ended, then closes both handles.
void awaitRelaunchedCopy(HANDLE mark, HANDLE copy);

#endif
