#include "download/internet.h"

#include <string.h>

#include "download/texts.h"
#include "download/wininet.h"
#include "session/log.h"
#include "session/text.h"

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

// Room for a count header's text: more is no count of 32 bits.
const DWORD kCountTextCapacity = 64;

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

namespace {

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// `pattern` (its first `length` characters, '*' for any run) against the
// whole of `text`, in any letter case.
bool matchesPattern(const char* pattern, size_t length, const char* text) {
    if (length == 0) return *text == '\0';
    if (*pattern == '*')
        for (;; ++text) {
            if (matchesPattern(pattern + 1, length - 1, text)) return true;
            if (*text == '\0') return false;
        }
    return *text != '\0' && lowerAscii(*pattern) == lowerAscii(*text) &&
           matchesPattern(pattern + 1, length - 1, text + 1);
}

bool isListBreak(char c) { return c == ';' || c == ',' || c == ' ' || c == '\t'; }

}  // namespace

bool bypassesProxy(const char* host, const char* bypassList) {
    char bare[MAX_PATH];
    const char* colon = strchr(host, ':');
    bare[0] = '\0';
    appendTextPart(bare, host, colon != NULL ? static_cast<size_t>(colon - host) : strlen(host));
    for (const char* entry = bypassList; *entry != '\0';) {
        while (isListBreak(*entry)) ++entry;
        size_t length = 0;
        while (entry[length] != '\0' && !isListBreak(entry[length])) ++length;
        if (length == 0) break;
        const char* scheme = strstr(entry, "://");
        if (scheme != NULL && scheme < entry + length) {
            length -= static_cast<size_t>(scheme + 3 - entry);
            entry = scheme + 3;
        }
        if (length == 7 && _strnicmp(entry, "<local>", 7) == 0) {
            if (strchr(bare, '.') == NULL) return true;
        } else if (matchesPattern(entry, length, memchr(entry, ':', length) != NULL ? host : bare)) {
            return true;
        }
        entry += length;
    }
    return false;
}

int findProxyFor(InternetLink& link, const char* scheme, const char* host, char* proxy,
                 DWORD capacity) {
    proxy[0] = '\0';
    char settings[2048];
    DWORD size = sizeof settings;
    if (link.session == NULL ||
        !winInet.InternetQueryOptionA(link.session, INTERNET_OPTION_PROXY, settings, &size))
        return 0;
    const INTERNET_PROXY_INFO* info = reinterpret_cast<const INTERNET_PROXY_INFO*>(settings);
    if (info->dwAccessType != INTERNET_OPEN_TYPE_PROXY || info->lpszProxy == NULL) return 0;
    if (info->lpszProxyBypass != NULL && bypassesProxy(host, info->lpszProxyBypass)) return 0;
    // "address" for every scheme, or "http=address;https=address".
    const char* list = info->lpszProxy;
    const char* chosen = strchr(list, '=') == NULL ? list : NULL;
    size_t schemeLength = strlen(scheme);
    for (const char* entry = list; chosen == NULL && *entry != '\0';) {
        while (isListBreak(*entry)) ++entry;
        if (_strnicmp(entry, scheme, schemeLength) == 0 && entry[schemeLength] == '=')
            chosen = entry + schemeLength + 1;
        while (*entry != '\0' && !isListBreak(*entry)) ++entry;
    }
    if (chosen == NULL) return 0;
    size_t length = 0;
    while (chosen[length] != '\0' && !isListBreak(chosen[length])) ++length;
    if (length == 0 || length >= capacity) return 0;
    memcpy(proxy, chosen, length);
    proxy[length] = '\0';
    return 1;
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
    char text[kCountTextCapacity];
    *length = 0;
    int found = readHeaderText(link, HTTP_QUERY_CONTENT_LENGTH, text, sizeof text);
    const char* end = found > 0 ? parseCount(text, length) : NULL;
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
    // The header's own text: one that cannot be read is what support needs.
    char length[kCountTextCapacity];
    int found = readHeaderText(link, HTTP_QUERY_CONTENT_LENGTH, length, sizeof length);
    logEvent(found != 0 ? "%s %s: status %lu, Content-Length %s"
                        : "%s %s: status %lu, no Content-Length",
             step, address, readStatusCode(link), found > 0 ? length : "(unreadable)");
}
