// Finding the update server that answers.
#ifndef VARNEL_DOWNLOAD_PROBE_H
#define VARNEL_DOWNLOAD_PROBE_H

// Asks update servers 1, 2 and 3, in this order, for the probe path, and
// takes the first in that order that answers, whatever its status. A server
// is asked only once the one before it refused, failed or stayed silent for
// kServerAnswerLimitMs (download/watchdog.h); a silent one is still waited
// for, and its late answer is preferred to that of a server after it, until
// kProbeLimitMs after the start. 1 and serverIndex naming the server; 0 and
// serverIndex 0 when none answered (reported by the caller).
int probeUpdateServers();

#endif
