// The Internet session and request of one download step.
#ifndef VARNEL_DOWNLOAD_INTERNET_H
#define VARNEL_DOWNLOAD_INTERNET_H

#include <windows.h>

#include <wininet.h>

#include "download/watchdog.h"

// One Internet session with at most one request on it, and the helper thread
// that makes its blocking calls (download/watchdog.h). Each handle is closed
// exactly once: by closeInternetRequest and closeInternetSession, by the
// destructor on a way out that did not, or, after a call that overran, by
// the closing of the session that ended it, which takes the request along.
struct InternetLink {
    HINTERNET session;
    HINTERNET request;
    CallHelper* helper;

    InternetLink() : session(NULL), request(NULL), helper(NULL) {}
    ~InternetLink();
    InternetLink(const InternetLink&) = delete;
    InternetLink& operator=(const InternetLink&) = delete;
};

// A session with the program's agent name and the system's proxy settings.
int openInternetSession(InternetLink& link);
// A request for the address (fetched from the server, never cached), given
// at most limitMs to be answered. 0 when no request handle resulted.
int openInternetAddress(InternetLink& link, const char* address, DWORD limitMs,
                        const char* headers = NULL);
// The system's proxy settings as the session has them, whole, in a heap
// block the caller frees (HeapFree); NULL when its requests go direct. For
// the log only: which host WinINet sends through the proxy is its own
// business (bypass lists, automatic configuration).
INTERNET_PROXY_INFO* readProxySettings(InternetLink& link);
// The open request's HTTP status; 0 when there is none.
DWORD readStatusCode(InternetLink& link);
// Any header of the open request's answer as text (info is an HTTP_QUERY_
// level): 1 when it fits `capacity`; 0 when the answer has none; -1 when it
// cannot be read (too long). The text is "" unless 1.
int readHeaderText(InternetLink& link, DWORD info, char* text, DWORD capacity);
// A header's text whole, however long, on the heap while this lives.
struct HeaderText {
    char* text;
    HeaderText() : text(NULL) {}
    ~HeaderText();
    HeaderText(const HeaderText&) = delete;
    HeaderText& operator=(const HeaderText&) = delete;
};
// As readHeaderText, whole: 1 and the text; 0 when the answer has none; -1
// when it cannot be read (no memory). header.text is the text only when 1.
int readWholeHeader(InternetLink& link, DWORD info, HeaderText& header);
// Reads the decimal digits at the start of `text` as a count below 4 GiB
// (the counts are of 32 bits): where they end, or NULL when there are none
// or the count is larger.
const char* parseCount(const char* text, DWORD* value);
// Reads the open request's body into receipt.file (download/watchdog.h),
// allowing limitMs of silence per read. A read given up at its limit took
// the session and the request along.
BodyOutcome receiveInternetBody(InternetLink& link, BodyReceipt& receipt, DWORD blockSize,
                                DWORD limitMs);
// The Content-Length of the open request's answer: 1 and the count; 0 when
// there is none; -1 when it is there but not a count below 4 GiB.
int readBodyLength(InternetLink& link, DWORD* length);
// Logs the open request's status and Content-Length text for the step and
// address.
void logAnswer(const char* step, const char* address, InternetLink& link);
void closeInternetRequest(InternetLink& link);
// Also ends the helper thread, before the session is closed.
void closeInternetSession(InternetLink& link);

#endif
