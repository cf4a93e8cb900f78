// One run at a time on the machine, and the mark of a relaunch.
#ifndef VARNEL_STARTUP_ONE_RUN_H
#define VARNEL_STARTUP_ONE_RUN_H

#include <windows.h>

// A start while another run is under way: deployment tools know the code as
// "another installation is already in progress".
const int kExitAnotherRun = 1618;

// What a start finds of a relaunch through "runas".
enum RelaunchFound { kNoRelaunch, kRelaunchedHere, kAnotherRelaunch };
// Asked before anything is written. A relaunch under way that has not yet
// named its copy is waited for (at most 30 s): this may be that copy.
RelaunchFound findRelaunch();

// Takes the run's lock; false when a run holds it. With `keep` it is held to
// the end of the process (only a copy that passed the rights gate keeps it:
// no copy hands it on); without, it is let go at once, which is a look.
bool holdRunLock(bool keep);
// Brings the running copy's dialog, or the box open over it, to the front.
void showRunningDialog();

// Made before a relaunch: a relaunch is under way, its copy not yet named.
// NULL when it cannot be made.
HANDLE markRelaunch();
// After a started relaunch: names the copy for it to find, and waits until
// it has ended; then closes both handles.
void awaitRelaunchedCopy(HANDLE mark, HANDLE copy);
// After a refused one: the starts waiting for the name go on.
void dropRelaunchMark(HANDLE mark);

#endif
