#include "download/transfer.h"

#include <stdlib.h>

#include "download/internet.h"
#include "download/texts.h"
#include "resources/resource.h"
#include "session/session.h"
#include "session/text.h"
#include "ui/message_boxes.h"
#include "ui/progress.h"

namespace {

// The local file, closed on every way out.
struct LocalFile {
    HANDLE handle = INVALID_HANDLE_VALUE;
    ~LocalFile() { close(); }
    void close() {
        if (handle == INVALID_HANDLE_VALUE) return;
        CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }
};

void releaseBlock(char* buffer) {
    if (buffer != NULL) HeapFree(GetProcessHeap(), 0, buffer);
}

// The whole percentage of the set, rewritten only when it has grown by a
// full point since it was last shown.
void updateProgress(DWORD count) {
    keepWindowResponsive();
    session.receivedBytes += static_cast<float>(count);
    // Divided first, as the percentage has always been computed. A total of
    // 0 gives infinity once bytes have arrived (shown as 100) and nothing
    // before (0 / 0 compares false everywhere).
    session.progressPercent = session.receivedBytes / session.remoteTotalBytes * 100.0f;
    if (session.progressPercent > 100.0f) session.progressPercent = 100.0f;
    if (session.progressPercent >= session.shownPercent + 1.0f) {
        int point = 0;
        int sign = 0;
        // At least 1 and at most 100 here: always one to three digits.
        copyText(session.percentText, _fcvt(session.progressPercent, 0, &point, &sign));
        setControlText(IDC_PERCENT, session.percentText);
        session.shownPercent = session.progressPercent;
    }
}

}  // namespace

void showFailure(const char* text, const char* subject) {
    // Subjects are addresses, paths and names of up to MAX_PATH characters,
    // or a folder and a name that together did not fit one.
    char message[3 * MAX_PATH];
    if (!joinText(message, text, subject)) copyText(message, text);
    showErrorBox(message);
}

int downloadFile(const char* address, const char* localPath, const char* displayName) {
    char status[sizeof kFileStatusPrefix + MAX_PATH];
    if (!joinText(status, kFileStatusPrefix, displayName)) copyText(status, kFileStatusPrefix);
    setControlText(IDC_STATUS, status);
    showControl(IDC_STATUS);
    repaintDialog();

    InternetLink link;
    if (!openInternetSession(link)) {
        showErrorBox(kCannotConnect);
        return 0;
    }
    if (!openInternetAddress(link, address, silenceLimitMs)) {
        showFailure(kCannotOpenRemote, address);
        closeInternetSession(link);
        return 0;
    }
    LocalFile file;
    file.handle = CreateFileA(localPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              CREATE_ALWAYS, 0, NULL);
    if (file.handle == INVALID_HANDLE_VALUE) {
        showFailure(kCannotCreateLocal, localPath);
        closeInternetRequest(link);
        closeInternetSession(link);
        return 0;
    }

    // A server that closes before the announced length has arrived ends
    // the body with a successful empty read; that is a failed read too.
    DWORD announced = 0;
    int lengthKnown = readContentLength(link, &announced);
    DWORD received = 0;
    for (;;) {
        // A fresh, zero-filled block for every read. One that cannot be had
        // is a read that cannot be made: it fails with the read's message
        // and clean-up rather than stopping the program.
        char* buffer = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, kTransferBlock));
        if (buffer != NULL) ZeroMemory(buffer, kTransferBlock);
        DWORD got = 0;
        if (buffer == NULL ||
            !readInternetBlock(link, &buffer, kTransferBlock, &got, silenceLimitMs) ||
            (got == 0 && lengthKnown && received < announced)) {
            // The user learns of it first; what was received stays on disk.
            showFailure(kCannotReadIntoBuffer, address);
            file.close();
            closeInternetRequest(link);
            closeInternetSession(link);
            releaseBlock(buffer);
            return 0;
        }
        // The last, empty read is written too; it changes nothing.
        DWORD written = 0;
        if (!WriteFile(file.handle, buffer, got, &written, NULL) || written != got) {
            // Everything is let go before the box, which may stay open long.
            file.close();
            closeInternetRequest(link);
            closeInternetSession(link);
            showFailure(kCannotWriteBuffer, localPath);
            releaseBlock(buffer);
            return 0;
        }
        received += got;
        updateProgress(got);
        releaseBlock(buffer);
        if (got == 0) break;
    }
    file.close();
    closeInternetRequest(link);
    closeInternetSession(link);
    return 1;
}
