#include "download/probe.h"

#include "download/internet.h"
#include "download/texts.h"
#include "session/session.h"
#include "session/text.h"
#include "session/variants.h"
#include "ui/message_boxes.h"

int probeUpdateServers() {
    session.serverIndex = 0;
    InternetLink link;
    if (!openInternetSession(link)) {
        showErrorBox(kCannotConnect);
        return 0;
    }
    for (int server = 1; server <= 3; ++server) {
        // A server that overran its time took the session along.
        if (link.session == NULL && !openInternetSession(link)) {
            showErrorBox(kCannotConnect);
            return 0;
        }
        char address[MAX_PATH];
        // CMake bounds the host texts, so the address always fits.
        if (!joinText(address, "http://", selectedServerHost(server), kProbePath)) continue;
        if (openInternetAddress(link, address, kServerAnswerLimitMs)) {
            closeInternetRequest(link);
            closeInternetSession(link);
            session.serverIndex = server;
            return 1;
        }
    }
    closeInternetSession(link);
    return 0;
}
