// Finding the update server that answers.
#ifndef VARNEL_DOWNLOAD_PROBE_H
#define VARNEL_DOWNLOAD_PROBE_H

// Asks update servers 1, 2 and 3, in this order, for the probe path and
// stops at the first that answers, whatever its status. 1 and serverIndex
// naming it; 0 and serverIndex 0 when none did (reported by the caller).
// Each server gets kServerAnswerLimitMs (download/watchdog.h).
int probeUpdateServers();

#endif
