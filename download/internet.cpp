#include "download/internet.h"

#include "download/texts.h"
#include "download/wininet.h"
#include "session/log.h"

InternetLink::~InternetLink() {
    closeInternetRequest(*this);
    closeInternetSession(*this);
}

int openInternetSession(InternetLink& link) {
    if (!loadWinInet()) return 0;
    // Synchronous (flags 0): the blocking calls get their limit from the
    // helper thread, not from WinINet.
    link.session =
        winInet.InternetOpenA(kInternetAgent, INTERNET_OPEN_TYPE_PRECONFIG, NULL, NULL, 0);
    if (link.session == NULL) return 0;
    // A helper survives a session that was closed under an overrun when the
    // call returned in time; one that was left behind is replaced.
    if (link.helper == NULL) link.helper = startCallHelper();
    return 1;
}

int openInternetAddress(InternetLink& link, const char* address, DWORD limitMs,
                        const char* headers) {
    if (link.session == NULL) return 0;
    closeInternetRequest(link);
    if (!openAddressWithin(link.helper, link.session, address, headers, limitMs, &link.request))
        return 0;
    return link.request != NULL;
}

namespace {

// A numeric header of the open request's answer. The headers have arrived
// with the request handle: this never waits.
int queryNumber(InternetLink& link, DWORD info, DWORD* value) {
    *value = 0;
    DWORD size = sizeof *value;
    return winInet.HttpQueryInfoA(link.request, info | HTTP_QUERY_FLAG_NUMBER, value, &size,
                                  NULL)
               ? 1
               : 0;
}

}  // namespace

DWORD readStatusCode(InternetLink& link) {
    DWORD status = 0;
    queryNumber(link, HTTP_QUERY_STATUS_CODE, &status);
    return status;
}

int readContentRange(InternetLink& link, char* text, DWORD capacity) {
    text[0] = '\0';
    DWORD size = capacity;
    return winInet.HttpQueryInfoA(link.request, HTTP_QUERY_CONTENT_RANGE, text, &size, NULL)
               ? 1
               : 0;
}

BodyOutcome receiveInternetBody(InternetLink& link, BodyReceipt& receipt, DWORD blockSize,
                                DWORD limitMs) {
    if (link.request == NULL) return kBodyBroken;
    receipt.request = link.request;
    BodyOutcome outcome = receiveWithin(link.helper, link.session, receipt, blockSize, limitMs);
    if (link.session == NULL) link.request = NULL;  // closed with the session
    return outcome;
}

int readContentLength(InternetLink& link, DWORD* length) {
    return queryNumber(link, HTTP_QUERY_CONTENT_LENGTH, length);
}

void closeInternetRequest(InternetLink& link) {
    if (link.request == NULL) return;
    winInet.InternetCloseHandle(link.request);
    link.request = NULL;
}

void closeInternetSession(InternetLink& link) {
    // Between calls the helper is idle, so a request is closed under no
    // running call; the helper is ended before the session itself closes.
    stopCallHelper(link.helper);
    link.helper = NULL;
    // The session would take an open request along, leaving its handle
    // value to be closed a second time.
    closeInternetRequest(link);
    if (link.session == NULL) return;
    winInet.InternetCloseHandle(link.session);
    link.session = NULL;
}

void logAnswer(const char* step, const char* address, InternetLink& link) {
    DWORD length = 0;
    if (readContentLength(link, &length))
        logEvent("%s %s: status %lu, Content-Length %lu", step, address, readStatusCode(link),
                 length);
    else
        logEvent("%s %s: status %lu, no Content-Length", step, address, readStatusCode(link));
}
