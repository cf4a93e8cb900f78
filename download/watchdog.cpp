#include "download/watchdog.h"

#include "session/text.h"
#include "ui/progress.h"

DWORD silenceLimitMs = kSilenceLimitMs;

namespace {

// Time for a call to return once its session is closed, as Windows makes it
// do. Taken out of the limit, so that a server never gets more than that.
const DWORD kMaxGraceMs = 500;

enum CallKind { kOpenAddress, kReadBlock, kQuit };

// Who owns the helper's call: the dialog thread while it waits for it, the
// helper thread alone once the dialog thread has given it up. Changed only
// by compare-and-exchange, so the helper finishing and the dialog thread
// giving up cannot both win.
enum CallState { kIdle, kBusy, kLeftBehind };

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
    char headers[64];  // extra request headers, or empty
    char* buffer;
    DWORD size;

    HINTERNET opened;
    // Set before an open is given up for good: the helper then closes what
    // the call returns, and the session, itself.
    BOOL closeOnReturn;
    BOOL readOk;
    DWORD got;
    // Body bytes WinINet already holds after the last read: reading them
    // cannot block, so they are read on the dialog thread, without the
    // round trip through the helper that a read which may wait needs.
    DWORD available;
    DWORD buffered;
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
    return InternetOpenUrlA(session, address, extra ? headers : NULL, extra ? (DWORD)-1 : 0,
                            INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
}

// A plain read of a whole block waits until the block is full (Windows and
// Wine alike), so a server trickling a few bytes a second would look silent.
// Asking first what is there waits only for the next bytes, and the read
// then takes no more than has arrived.
BOOL readBlock(HINTERNET request, char* buffer, DWORD size, DWORD* got, DWORD* available) {
    *got = 0;
    *available = 0;
    if (!InternetQueryDataAvailable(request, available, 0, 0)) return FALSE;
    // Nothing available means the body has ended; the read then says so.
    DWORD wanted = (*available == 0 || *available > size) ? size : *available;
    return InternetReadFile(request, buffer, wanted, got);
}

void perform(CallHelper* helper) {
    if (helper->kind == kOpenAddress)
        helper->opened = openAddress(helper->handle, helper->address, helper->headers);
    else
        helper->readOk = readBlock(helper->handle, helper->buffer, helper->size, &helper->got,
                                   &helper->available);
}

DWORD WINAPI helperMain(LPVOID parameter) {
    CallHelper* helper = static_cast<CallHelper*>(parameter);
    for (;;) {
        WaitForSingleObject(helper->start, INFINITE);
        if (helper->kind == kQuit) break;
        perform(helper);
        if (InterlockedCompareExchange(&helper->state, kIdle, kBusy) == kLeftBehind) {
            if (helper->closeOnReturn) {
                // The session was handed over with the call: nobody else
                // holds these handles any more.
                if (helper->opened != NULL) InternetCloseHandle(helper->opened);
                InternetCloseHandle(helper->handle);
            }
            // Otherwise the session was closed under the call, and its
            // request with it: a request handle it returned is never closed
            // again, since the value may already name a newer handle of the
            // dialog thread.
            if (helper->kind == kReadBlock) HeapFree(GetProcessHeap(), 0, helper->buffer);
            break;
        }
        SetEvent(helper->done);
    }
    releaseHelper(helper);
    InterlockedDecrement(&helperCount);
    return 0;
}

// Runs the call set up in the helper. 1 when it returned within limitMs;
// 0 when it was given up (the session is then closed).
int runWithin(CallHelper*& helper, HINTERNET& session, DWORD limitMs) {
    InterlockedExchange(&helper->state, kBusy);
    SetEvent(helper->start);
    DWORD grace = limitMs / 10 < kMaxGraceMs ? limitMs / 10 : kMaxGraceMs;
    if (waitServingPaint(helper->done, limitMs - grace) == WAIT_OBJECT_0) return 1;

    // Closing the session ends the call on Windows (the documented way to
    // cancel a blocking WinINet call) and closes the request under it: a
    // parent's handle takes its children along, on Windows and in Wine.
    InternetCloseHandle(session);
    session = NULL;
    if (WaitForSingleObject(helper->done, grace) == WAIT_OBJECT_0) return 0;
    if (InterlockedCompareExchange(&helper->state, kLeftBehind, kBusy) != kBusy) {
        // It returned at this very moment; its signal is on the way.
        WaitForSingleObject(helper->done, INFINITE);
        return 0;
    }
    CloseHandle(helper->thread);
    releaseHelper(helper);
    helper = NULL;
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
    helper->buffered = 0;
    helper->opened = NULL;
    helper->closeOnReturn = FALSE;
    return 1;
}

}  // namespace

int startOpenAddress(CallHelper* helper, HINTERNET session, const char* address) {
    if (!setUpOpen(helper, session, address, NULL)) return 0;
    InterlockedExchange(&helper->state, kBusy);
    SetEvent(helper->start);
    return 1;
}

HANDLE callReturnedEvent(CallHelper* helper) { return helper->done; }

HINTERNET openedRequest(CallHelper* helper) { return helper->opened; }

void abandonOpenAddress(CallHelper* helper) {
    helper->closeOnReturn = TRUE;
    if (InterlockedCompareExchange(&helper->state, kLeftBehind, kBusy) == kBusy) {
        CloseHandle(helper->thread);
        releaseHelper(helper);
        return;
    }
    // It has just returned: what it opened is closed here, as after any
    // call that returned in time.
    if (helper->opened != NULL) InternetCloseHandle(helper->opened);
    HINTERNET session = helper->handle;
    stopCallHelper(helper);
    InternetCloseHandle(session);
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

int readWithin(CallHelper*& helper, HINTERNET& session, HINTERNET request, char*& buffer,
               DWORD size, BOOL* readOk, DWORD* got, DWORD limitMs) {
    DWORD available = 0;
    if (helper == NULL) {
        *readOk = readBlock(request, buffer, size, got, &available);
        return 1;
    }
    if (helper->handle == request && helper->buffered > 0) {
        *readOk = readBlock(request, buffer, size, got, &available);
        helper->buffered = *readOk && available > *got ? available - *got : 0;
        return 1;
    }
    helper->kind = kReadBlock;
    helper->handle = request;
    helper->buffer = buffer;
    helper->size = size;
    helper->got = 0;
    if (!runWithin(helper, session, limitMs)) {
        // A helper still running owns the buffer now.
        if (helper == NULL) buffer = NULL;
        *readOk = FALSE;
        *got = 0;
        return 0;
    }
    *readOk = helper->readOk;
    *got = helper->got;
    helper->buffered =
        helper->readOk && helper->available > helper->got ? helper->available - helper->got : 0;
    return 1;
}

LONG runningCallHelpers() { return InterlockedCompareExchange(&helperCount, 0, 0); }
