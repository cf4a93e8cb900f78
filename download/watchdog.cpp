#include "download/watchdog.h"

#include "download/wininet.h"
#include "session/text.h"
#include "ui/progress.h"

DWORD silenceLimitMs = kSilenceLimitMs;
DWORD longestBody = kLongestBody;

namespace {

// Time for a call to return once its session is closed, as Windows makes it
// do. Taken out of the limit, so that a server never gets more than that.
const DWORD kMaxGraceMs = 500;

// How often the dialog thread looks at a body being read: the progress
// shown and the silence limit's precision.
const DWORD kBodyWatchMs = 100;

enum CallKind { kOpenAddress, kReceiveBody, kQuit };

// Who owns the helper's call: the dialog thread while it waits for it, the
// helper thread alone once the dialog thread has given it up. Changed only
// by compare-and-exchange, so the helper finishing and the dialog thread
// giving up cannot both win. While a body's block is being written the
// call cannot be given up: a helper given up inside a read finds out when
// the read returns, before it writes anything.
enum CallState { kIdle, kBusy, kLeftBehind, kWriting };

// What the reading of a body needs, copied out of the caller's receipt: a
// left-behind helper touches nothing of the dialog thread's.
struct BodyJob {
    HINTERNET request;
    HANDLE file;
    DWORD blockSize;
    BOOL lengthKnown;
    DWORD expectedEnd;
    volatile LONG stored;
    // GetTickCount() | 1 while a read is under way, 0 between reads.
    volatile LONG readingSince;
    int outcome;
};

// The body loop's outcome when its helper was given up inside a read.
const int kGivenUp = -1;

volatile LONG helperCount = 0;

}  // namespace

struct CallHelper {
    LONG references;  // the dialog thread's and the helper thread's
    volatile LONG state;
    HANDLE thread;  // the dialog thread's alone
    HANDLE start;   // auto-reset: a call has been set up
    HANDLE done;    // auto-reset: the call has returned

    CallKind kind;
    HINTERNET handle;  // the session of an open, the request of a read
    // A copy: a left-behind open may outlive the caller's text.
    char address[INTERNET_MAX_URL_LENGTH + 1];
    char headers[kRequestHeadersCapacity];  // extra request headers, or empty
    BodyJob body;

    HINTERNET opened;
};

namespace {

void releaseHelper(CallHelper* helper) {
    if (InterlockedDecrement(&helper->references) != 0) return;
    CloseHandle(helper->start);
    CloseHandle(helper->done);
    HeapFree(GetProcessHeap(), 0, helper);
}

HINTERNET openAddress(HINTERNET session, const char* address, const char* headers) {
    // Always from the server, never into the local cache.
    bool extra = headers != NULL && headers[0] != '\0';
    return winInet.InternetOpenUrlA(session, address, extra ? headers : NULL,
                                    extra ? (DWORD)-1 : 0,
                                    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
}

// A plain read of a whole block waits until the block is full (Windows and
// Wine alike), so a server trickling a few bytes a second would look silent.
// Asking first what is there waits only for the next bytes, and the read
// then takes no more than has arrived.
BOOL readBlock(HINTERNET request, char* buffer, DWORD size, DWORD* got) {
    *got = 0;
    DWORD available = 0;
    if (!winInet.InternetQueryDataAvailable(request, &available, 0, 0)) return FALSE;
    // Nothing available means the body has ended; the read then says so.
    DWORD wanted = (available == 0 || available > size) ? size : available;
    return winInet.InternetReadFile(request, buffer, wanted, got);
}

// Reads the body into the file until it ends, breaks off or cannot be
// written. On the helper thread `state` is the call's; without a helper
// (state NULL) the loop runs on the dialog thread and reports each block to
// `receipt` itself.
int readBodyIntoFile(BodyJob& job, volatile LONG* state, BodyReceipt* receipt) {
    for (;;) {
        // A fresh, zero-filled block for every read. One that cannot be had
        // is a read that cannot be made.
        char* buffer = static_cast<char*>(
            HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, job.blockSize));
        if (buffer == NULL) return kBodyBroken;
        DWORD got = 0;
        InterlockedExchange(&job.readingSince, static_cast<LONG>(GetTickCount() | 1));
        BOOL readOk = readBlock(job.request, buffer, job.blockSize, &got);
        InterlockedExchange(&job.readingSince, 0);
        if (state != NULL && InterlockedCompareExchange(state, kWriting, kBusy) != kBusy) {
            HeapFree(GetProcessHeap(), 0, buffer);
            return kGivenUp;
        }
        int outcome = kBodyComplete;
        bool more = false;
        DWORD stored = static_cast<DWORD>(job.stored);
        // Bytes past the announced end (a chunked range that runs on), or
        // past the end of a body without a length, are never kept: the body
        // is cut there and has broken off.
        bool over = got > job.expectedEnd - stored;
        if (over) got = job.expectedEnd - stored;
        if (!readOk || (got == 0 && job.lengthKnown && stored < job.expectedEnd)) {
            // A server that closes before the announced length has arrived
            // ends the body with a successful empty read: broken off too.
            outcome = kBodyBroken;
        } else {
            // The last, empty read is written too; it changes nothing.
            DWORD written = 0;
            if (!WriteFile(job.file, buffer, got, &written, NULL) || written != got) {
                outcome = kWriteFailed;
            } else {
                InterlockedExchange(&job.stored, static_cast<LONG>(stored + got));
                more = got != 0 && !over;
                if (over) outcome = kBodyBroken;
            }
        }
        HeapFree(GetProcessHeap(), 0, buffer);
        if (state != NULL) {
            InterlockedExchange(state, kBusy);
        } else {
            keepWindowResponsive();
            receipt->progress(receipt->context, static_cast<DWORD>(job.stored));
        }
        if (!more) return outcome;
    }
}

void perform(CallHelper* helper) {
    if (helper->kind == kOpenAddress)
        helper->opened = openAddress(helper->handle, helper->address, helper->headers);
    else
        helper->body.outcome = readBodyIntoFile(helper->body, &helper->state, NULL);
}

DWORD WINAPI helperMain(LPVOID parameter) {
    CallHelper* helper = static_cast<CallHelper*>(parameter);
    for (;;) {
        WaitForSingleObject(helper->start, INFINITE);
        if (helper->kind == kQuit) break;
        perform(helper);
        if (InterlockedCompareExchange(&helper->state, kIdle, kBusy) == kLeftBehind) {
            // The session was closed under the call, and its request with
            // it: a request handle it returned is never closed again, since
            // the value may already name a newer handle of the dialog thread.
            break;
        }
        SetEvent(helper->done);
    }
    releaseHelper(helper);
    InterlockedDecrement(&helperCount);
    return 0;
}

// Hands the call set up in the helper over to it.
void startCall(CallHelper* helper) {
    InterlockedExchange(&helper->state, kBusy);
    SetEvent(helper->start);
}

// The part of a limit kept for a call to return after its session closed.
DWORD graceWithin(DWORD limitMs) {
    return limitMs / 10 < kMaxGraceMs ? limitMs / 10 : kMaxGraceMs;
}

// Leaves a call still under way to its helper thread, which then ends on
// its own; the helper is no longer the caller's. false when the call has
// returned (or is writing) at this very moment: the caller keeps it.
bool leaveBehind(CallHelper*& helper) {
    if (InterlockedCompareExchange(&helper->state, kLeftBehind, kBusy) != kBusy) return false;
    CloseHandle(helper->thread);
    releaseHelper(helper);
    helper = NULL;
    return true;
}

// Runs the call set up in the helper. 1 when it returned within limitMs;
// 0 when it was given up (the session is then closed).
int runWithin(CallHelper*& helper, HINTERNET& session, DWORD limitMs) {
    startCall(helper);
    DWORD grace = graceWithin(limitMs);
    if (waitServingPaint(helper->done, limitMs - grace) == WAIT_OBJECT_0) return 1;

    // Closing the session ends the call on Windows (the documented way to
    // cancel a blocking WinINet call) and closes the request under it: a
    // parent's handle takes its children along, on Windows and in Wine.
    winInet.InternetCloseHandle(session);
    session = NULL;
    if (WaitForSingleObject(helper->done, grace) == WAIT_OBJECT_0) return 0;
    // One that returned at this very moment has its signal on the way.
    if (!leaveBehind(helper)) WaitForSingleObject(helper->done, INFINITE);
    return 0;
}

}  // namespace

CallHelper* startCallHelper() {
    CallHelper* helper = static_cast<CallHelper*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(CallHelper)));
    if (helper == NULL) return NULL;
    helper->references = 2;
    helper->start = CreateEventA(NULL, FALSE, FALSE, NULL);
    helper->done = CreateEventA(NULL, FALSE, FALSE, NULL);
    if (helper->start != NULL && helper->done != NULL) {
        InterlockedIncrement(&helperCount);
        helper->thread = CreateThread(NULL, 0, helperMain, helper, 0, NULL);
        if (helper->thread != NULL) return helper;
        InterlockedDecrement(&helperCount);
    }
    if (helper->start != NULL) CloseHandle(helper->start);
    if (helper->done != NULL) CloseHandle(helper->done);
    HeapFree(GetProcessHeap(), 0, helper);
    return NULL;
}

void stopCallHelper(CallHelper* helper) {
    if (helper == NULL) return;
    helper->kind = kQuit;
    SetEvent(helper->start);
    WaitForSingleObject(helper->thread, INFINITE);
    CloseHandle(helper->thread);
    releaseHelper(helper);
}

namespace {

// Sets the helper up for an open; 0 when the address or the headers do not
// fit (WinINet could not take them either).
int setUpOpen(CallHelper* helper, HINTERNET session, const char* address, const char* headers) {
    if (!copyText(helper->address, address) ||
        !copyText(helper->headers, headers != NULL ? headers : ""))
        return 0;
    helper->kind = kOpenAddress;
    helper->handle = session;
    helper->opened = NULL;
    return 1;
}

}  // namespace

int startOpenAddress(CallHelper* helper, HINTERNET session, const char* address) {
    if (!setUpOpen(helper, session, address, NULL)) return 0;
    startCall(helper);
    return 1;
}

HANDLE callReturnedEvent(CallHelper* helper) { return helper->done; }

HINTERNET openedRequest(CallHelper* helper) { return helper->opened; }

void abandonOpenAddress(CallHelper* helper) {
    // As at a limit: closing the session ends the call on Windows, and
    // takes along whatever request it has opened or is opening, so that
    // nothing of the probe stays connected once it has chosen.
    winInet.InternetCloseHandle(helper->handle);
    CallHelper* given = helper;
    if (leaveBehind(given)) return;
    // It has just returned, and what it opened went with the session.
    stopCallHelper(helper);
}

int openAddressWithin(CallHelper*& helper, HINTERNET& session, const char* address,
                      const char* headers, DWORD limitMs, HINTERNET* request) {
    *request = NULL;
    if (helper == NULL) {
        *request = openAddress(session, address, headers);
        return 1;
    }
    // An address WinINet could not take either is not worth a thread.
    if (!setUpOpen(helper, session, address, headers)) return 1;
    if (!runWithin(helper, session, limitMs)) return 0;
    *request = helper->opened;
    return 1;
}

BodyOutcome receiveWithin(CallHelper*& helper, HINTERNET& session, BodyReceipt& receipt,
                          DWORD blockSize, DWORD limitMs) {
    BodyJob local;
    BodyJob& job = helper != NULL ? helper->body : local;
    job.request = receipt.request;
    job.file = receipt.file;
    job.blockSize = blockSize;
    job.lengthKnown = receipt.lengthKnown;
    job.expectedEnd = receipt.expectedEnd;
    job.stored = static_cast<LONG>(receipt.stored);
    job.readingSince = 0;
    if (helper == NULL) {
        int outcome = readBodyIntoFile(job, NULL, &receipt);
        receipt.stored = static_cast<DWORD>(job.stored);
        return static_cast<BodyOutcome>(outcome);
    }

    helper->kind = kReceiveBody;
    startCall(helper);
    DWORD firstStored = receipt.stored;
    DWORD grace = 0;
    DWORD closedAt = 0;
    for (;;) {
        DWORD result = waitServingPaint(helper->done, kBodyWatchMs);
        receipt.stored = static_cast<DWORD>(InterlockedCompareExchange(&job.stored, 0, 0));
        receipt.progress(receipt.context, receipt.stored);
        if (result == WAIT_OBJECT_0) return static_cast<BodyOutcome>(job.outcome);
        DWORD since = static_cast<DWORD>(InterlockedCompareExchange(&job.readingSince, 0, 0));
        DWORD now = GetTickCount();
        if (session != NULL) {
            // A read silent for its limit: closing the session ends it on
            // Windows and makes every later read fail at once.
            // Signed: the read may have begun in the very tick read as now,
            // its time made odd by the marking bit.
            DWORD limit = receipt.stored == firstStored ? receipt.firstByteLimitMs : limitMs;
            grace = graceWithin(limit);
            if (since != 0 &&
                static_cast<LONG>(now - since) >= static_cast<LONG>(limit - grace)) {
                winInet.InternetCloseHandle(session);
                session = NULL;
                closedAt = now;
            }
        } else if (now - closedAt >= grace && leaveBehind(helper)) {
            // Still inside the read: left to finish on its own. (A helper
            // writing what its read brought goes on to a read that fails.)
            return kBodyBroken;
        }
    }
}

LONG runningCallHelpers() { return InterlockedCompareExchange(&helperCount, 0, 0); }
