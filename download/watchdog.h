// Blocking WinINet calls with a time limit.
//
// A dead or silent update server must not freeze the program, yet WinINet
// offers no limit that holds everywhere: Wine ignores the time-out options on
// the session handle that InternetOpenUrlA takes and the connect time-out on
// every handle, and, unlike Windows, it does not end a blocking call when
// another thread closes the call's handle (a connect whose SYNs are dropped
// blocks about two minutes, a server that never answers for ever). So the
// call itself runs on a helper thread, and the dialog thread, which does all
// the rest, waits for it with a deadline. At the deadline it closes the
// session, which ends the call on Windows; a call that still has not
// returned after a short grace is left to its helper thread, which finishes
// on its own whenever the call returns and touches nothing shared after that.
#ifndef VARNEL_DOWNLOAD_WATCHDOG_H
#define VARNEL_DOWNLOAD_WATCHDOG_H

#include <windows.h>

#include <wininet.h>

// Each update server gets this long to take the probe's connection and
// answer it, before the probe asks the next one as well.
const DWORD kServerAnswerLimitMs = 5000;
// A probe in which every server asked stays silent ends this long after
// it began: servers still asked may answer late over a slow line.
const DWORD kProbeLimitMs = 20000;
// A size query or a download gives up after this long without an answer to
// its request, or without a single byte of the body.
const DWORD kSilenceLimitMs = 60000;
// What the size query and the downloads use: kSilenceLimitMs, shortened by
// tests that would otherwise wait a minute for a stalled server.
extern DWORD silenceLimitMs;
// The most a body without a length may bring: a download's counts are of 32
// bits. longestBody is shortened by tests that would otherwise send 4 GiB.
const DWORD kLongestBody = MAXDWORD;
extern DWORD longestBody;

// The helper thread of one Internet session and what it shares with the
// dialog thread.
struct CallHelper;

// Starts a helper thread. NULL when none can be started: the calls then run
// directly on the dialog thread, without a limit, as they always did.
CallHelper* startCallHelper();
// Ends an idle helper thread and waits for it.
void stopCallHelper(CallHelper* helper);

// Room for the extra request headers of one open: a range and its validator.
const DWORD kRequestHeadersCapacity = 320;

// InternetOpenUrlA of the address on the session, with the extra request
// headers (NULL for none, shorter than kRequestHeadersCapacity), given at
// most limitMs.
// 1 when the call returned in time (*request is what it returned, NULL when
// the server could not be reached). 0 when it overran: the session has been
// closed and set to NULL, and with it went every request it had; the helper
// is set to NULL when it had to be left behind.
int openAddressWithin(CallHelper*& helper, HINTERNET& session, const char* address,
                      const char* headers, DWORD limitMs, HINTERNET* request);

// How the reading of a body into its local file ended.
enum BodyOutcome { kBodyComplete, kBodyBroken, kWriteFailed };

// A response body on its way into a local file.
struct BodyReceipt {
    HINTERNET request;
    HANDLE file;
    // Bytes in the file: where the body continues it, and, after the call,
    // how far it got.
    DWORD stored;
    // The file never holds more than expectedEnd bytes: a body that brings
    // more has broken off, and so, with lengthKnown, has one that ends
    // before.
    BOOL lengthKnown;
    DWORD expectedEnd;
    // The silence allowed before the body's first byte, at most limitMs: a
    // retry gets only what is left of its file's share.
    DWORD firstByteLimitMs;
    // Told on the dialog thread how many bytes the file holds as they grow.
    void (*progress)(void* context, DWORD stored);
    void* context;
};

// Reads the body into the file, block by block: each read waits until body
// bytes are available (or the body has ended), takes at most blockSize of
// them into a fresh zero-filled block, and is given at most limitMs of
// silence (receipt.firstByteLimitMs until the first byte). The helper thread reads and writes on its own, so nothing is
// handed over per block; the dialog thread meanwhile serves paint requests,
// shows the progress and watches the limit. A read that overruns has its
// session closed as above (kBodyBroken); a helper still inside that read is
// left behind and writes nothing more.
BodyOutcome receiveWithin(CallHelper*& helper, HINTERNET& session, BodyReceipt& receipt,
                          DWORD blockSize, DWORD limitMs);

// The probe's open calls, which run side by side, each on a session and
// helper of its own, and are waited for together.
// Starts InternetOpenUrlA of the address on the session in the helper;
// 0 when the address does not fit (nothing started).
int startOpenAddress(CallHelper* helper, HINTERNET session, const char* address);
// Signalled (auto-reset) when the started call has returned.
HANDLE callReturnedEvent(CallHelper* helper);
// What the call returned once it has: the request, NULL for no answer.
HINTERNET openedRequest(CallHelper* helper);
// Gives a started call up without waiting: its session is closed at once,
// with any request the call opens, and the helper thread ends on its own
// once the call returns. The helper and the session are no longer the
// caller's.
void abandonOpenAddress(CallHelper* helper);

// Helper threads that exist, left-behind ones included.
LONG runningCallHelpers();

#endif
