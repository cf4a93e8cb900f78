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

INTERNET_PROXY_INFO* readProxySettings(InternetLink& link) {
    // Asked first for the room it needs: a long bypass list must not cut
    // the record short.
    DWORD size = 0;
    winInet.InternetQueryOptionA(link.session, INTERNET_OPTION_PROXY, NULL, &size);
    INTERNET_PROXY_INFO* info = NULL;
    if (size >= sizeof *info)
        info = static_cast<INTERNET_PROXY_INFO*>(HeapAlloc(GetProcessHeap(), 0, size));
    if (info != NULL &&
        (!winInet.InternetQueryOptionA(link.session, INTERNET_OPTION_PROXY, info, &size) ||
         info->dwAccessType != INTERNET_OPEN_TYPE_PROXY || info->lpszProxy == NULL)) {
        HeapFree(GetProcessHeap(), 0, info);
        info = NULL;
    }
    return info;
}

DWORD readStatusCode(InternetLink& link) {
    DWORD status = 0;
    queryNumber(link, HTTP_QUERY_STATUS_CODE, &status);
    return status;
}

int readHeaderText(InternetLink& link, DWORD info, char* text, DWORD capacity) {
    DWORD size = capacity;
    if (winInet.HttpQueryInfoA(link.request, info, text, &size, NULL)) return 1;
    text[0] = '\0';
    return GetLastError() == ERROR_HTTP_HEADER_NOT_FOUND ? 0 : -1;
}

HeaderText::~HeaderText() {
    if (text != NULL) HeapFree(GetProcessHeap(), 0, text);
}

int readWholeHeader(InternetLink& link, DWORD info, HeaderText& header) {
    // Asked first for the room it needs: a count may come with any number
    // of zeros in front, and a header's text is what the log must show.
    DWORD size = 0;
    if (!winInet.HttpQueryInfoA(link.request, info, NULL, &size, NULL) &&
        GetLastError() == ERROR_HTTP_HEADER_NOT_FOUND)
        return 0;
    // The room asked for, and one more: systems differ on the terminator.
    size += 1;
    header.text = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size));
    if (header.text == NULL) return -1;
    if (winInet.HttpQueryInfoA(link.request, info, header.text, &size, NULL)) return 1;
    header.text[0] = '\0';
    return -1;
}

const char* parseCount(const char* text, DWORD* value) {
    ULONGLONG count = 0;
    const char* end = text;
    for (; *end >= '0' && *end <= '9'; ++end) {
        count = count * 10 + static_cast<ULONGLONG>(*end - '0');
        if (count > 0xFFFFFFFFULL) return NULL;
    }
    *value = static_cast<DWORD>(count);
    return end != text ? end : NULL;
}

BodyOutcome receiveInternetBody(InternetLink& link, BodyReceipt& receipt, DWORD blockSize,
                                DWORD limitMs) {
    if (link.request == NULL) return kBodyBroken;
    receipt.request = link.request;
    BodyOutcome outcome = receiveWithin(link.helper, link.session, receipt, blockSize, limitMs);
    if (link.session == NULL) link.request = NULL;  // closed with the session
    return outcome;
}

int readBodyLength(InternetLink& link, DWORD* length) {
    // Read as text: what the numeric query makes of a longer number differs
    // between systems, and an unreadable one must not pass for none.
    HeaderText header;
    *length = 0;
    int found = readWholeHeader(link, HTTP_QUERY_CONTENT_LENGTH, header);
    const char* end = found > 0 ? parseCount(header.text, length) : NULL;
    return found == 0 || (end != NULL && *end == '\0') ? found : -1;
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
    // The header's own text: one that cannot be read is what support needs
    // (its first 200 characters).
    HeaderText length;
    int found = readWholeHeader(link, HTTP_QUERY_CONTENT_LENGTH, length);
    logEvent(found != 0 ? "%s %s: status %lu, Content-Length %.200s"
                        : "%s %s: status %lu, no Content-Length",
             step, address, readStatusCode(link), found > 0 ? length.text : "(unreadable)");
}
