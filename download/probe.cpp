#include "download/probe.h"

#include "download/internet.h"
#include "download/texts.h"
#include "session/log.h"
#include "session/session.h"
#include "session/text.h"
#include "session/variants.h"
#include "ui/message_boxes.h"

namespace {

const int kServers = 3;

enum AskState { kNotAsked, kAsking, kAnswered, kNoAnswer };

// One server's question: its own session and helper, so that a server
// that is slow to answer can be waited for while the next one is asked.
struct ServerQuestion {
    InternetLink link;
    AskState state = kNotAsked;
    DWORD askedAt = 0;  // ms since the probe began
};

// The system's proxy settings, for the log; NULL when requests go direct.
INTERNET_PROXY_INFO* proxySettings = NULL;

// A server that says it cannot serve (503), or a gateway that could not
// reach it (502, 504: a proxy on the way, the system's or the server's own),
// has not answered, and is passed over as one that is down. Which requests
// went through the system's proxy is not guessed: WinINet alone knows its
// bypass list and automatic configuration. Every other status is an answer.
bool passedOver(ServerQuestion& question, int server) {
    DWORD status = readStatusCode(question.link);
    if (status < 502 || status > 504) return false;
    const char* proxy = proxySettings != NULL ? proxySettings->lpszProxy : NULL;
    logEvent("probe: server %d answered %lu%s%s: passed over", server, status,
             proxy != NULL ? " through proxy " : "", proxy != NULL ? proxy : "");
    closeInternetRequest(question.link);
    question.state = kNoAnswer;
    return true;
}

// Asks the server. 0 only when no Internet session could be had.
int ask(ServerQuestion& question, int server, DWORD now) {
    question.askedAt = now;
    question.state = kNoAnswer;
    if (!openInternetSession(question.link)) return 0;
    char address[MAX_PATH];
    // CMake bounds the host texts, so the address always fits.
    if (!joinText(address, updateScheme, selectedServerHost(server), kProbePath)) return 1;
    if (server == 1) {
        proxySettings = readProxySettings(question.link);
        if (proxySettings != NULL)
            logEvent("probe: the system's proxy: %s", proxySettings->lpszProxy);
    }
    logEvent("probe: asking server %d: %s", server, address);
    if (question.link.helper == NULL) {
        // No thread to wait with: the call blocks as long as WinINet lets it.
        if (openInternetAddress(question.link, address, kServerAnswerLimitMs)) {
            question.state = kAnswered;
            passedOver(question, server);
        }
        return 1;
    }
    if (startOpenAddress(question.link.helper, question.link.session, address))
        question.state = kAsking;
    return 1;
}

void noteReturn(ServerQuestion& question, int server, DWORD now) {
    question.link.request = openedRequest(question.link.helper);
    question.state = question.link.request != NULL ? kAnswered : kNoAnswer;
    if (question.state == kAnswered && passedOver(question, server)) return;
    logEvent("probe: server %d %s after %lu ms", server,
             question.state == kAnswered ? "answered" : "could not be reached",
             now - question.askedAt);
}

// Every question still open is given up: its session is closed at once,
// its helper left to end when the call returns; the others are closed here.
void endQuestions(ServerQuestion* questions) {
    for (int i = 0; i < kServers; ++i) {
        InternetLink& link = questions[i].link;
        if (questions[i].state == kAsking) {
            abandonOpenAddress(link.helper);
            link.helper = NULL;
            link.session = NULL;
        }
        closeInternetSession(link);
    }
    if (proxySettings != NULL) HeapFree(GetProcessHeap(), 0, proxySettings);
    proxySettings = NULL;
}

}  // namespace

int probeUpdateServers() {
    session.serverIndex = 0;
    ServerQuestion questions[kServers];
    DWORD start = GetTickCount();
    for (;;) {
        DWORD now = GetTickCount() - start;
        // Servers in their order of preference: the first that answered
        // wins, unless one before it may still answer within its time.
        int chosen = 0;
        DWORD waitUntil = kProbeLimitMs;
        for (int i = 0; i < kServers && chosen == 0; ++i) {
            ServerQuestion& question = questions[i];
            if (question.state == kNotAsked && !ask(question, i + 1, now)) {
                endQuestions(questions);
                showErrorBox(kCannotConnect);
                return 0;
            }
            if (question.state == kAnswered) chosen = i + 1;
            if (question.state == kAsking && now - question.askedAt < kServerAnswerLimitMs) {
                waitUntil = question.askedAt + kServerAnswerLimitMs;
                break;
            }
            // No answer, or none in its time: the next server is asked as
            // well, and a late answer of this one still counts.
        }
        HANDLE returned[kServers];
        int asking[kServers];
        DWORD count = 0;
        for (int i = 0; i < kServers; ++i) {
            if (questions[i].state != kAsking) continue;
            returned[count] = callReturnedEvent(questions[i].link.helper);
            asking[count++] = i;
        }
        if (chosen != 0 || count == 0 || now >= kProbeLimitMs) {
            endQuestions(questions);
            if (chosen != 0)
                logEvent("probe: server %d chosen after %lu ms", chosen, now);
            else
                logEvent("probe: no server answered within %lu ms", now);
            session.serverIndex = chosen;
            return chosen != 0 ? 1 : 0;
        }
        if (waitUntil > kProbeLimitMs) waitUntil = kProbeLimitMs;
        DWORD wait = waitUntil > now ? waitUntil - now : 0;
        DWORD result = WaitForMultipleObjects(count, returned, FALSE, wait);
        if (result < WAIT_OBJECT_0 + count) {
            int index = asking[result - WAIT_OBJECT_0];
            noteReturn(questions[index], index + 1, GetTickCount() - start);
        }
    }
}
