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

int readHeaderText(InternetLink& link, DWORD info, char* text, DWORD capacity) {
    text[0] = '\0';
    DWORD size = capacity;
    return winInet.HttpQueryInfoA(link.request, info, text, &size, NULL) ? 1 : 0;
}

const char* parseByteCount(const char* text, ULONGLONG* value) {
    *value = 0;
    if (*text < '0' || *text > '9') return NULL;
    for (; *text >= '0' && *text <= '9'; ++text) {
        // More than eighteen digits are no size of any file.
        if (*value >= 100000000000000000ULL) return NULL;
        *value = *value * 10 + static_cast<ULONGLONG>(*text - '0');
    }
    return text;
}

BodyOutcome receiveInternetBody(InternetLink& link, BodyReceipt& receipt, DWORD blockSize,
                                DWORD limitMs) {
    if (link.request == NULL) return kBodyBroken;
    receipt.request = link.request;
    BodyOutcome outcome = receiveWithin(link.helper, link.session, receipt, blockSize, limitMs);
    if (link.session == NULL) link.request = NULL;  // closed with the session
    return outcome;
}

int readBodyLength(InternetLink& link, ULONGLONG* length) {
    // Read as text: the numeric query has only 32 bits, and what it makes of
    // a longer number differs between systems.
    char text[32];
    const char* end = NULL;
    if (readHeaderText(link, HTTP_QUERY_CONTENT_LENGTH, text, sizeof text))
        end = parseByteCount(text, length);
    return end != NULL && *end == '\0';
}

int readContentLength(InternetLink& link, DWORD* length) {
    ULONGLONG value = 0;
    *length = 0;
    if (!readBodyLength(link, &value) || value > 0xFFFFFFFFULL) return 0;
    *length = static_cast<DWORD>(value);
    return 1;
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
