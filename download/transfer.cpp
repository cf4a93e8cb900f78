#include "download/transfer.h"

#include <stdlib.h>
#include <string.h>

#include "download/internet.h"
#include "download/texts.h"
#include "resources/resource.h"
#include "session/log.h"
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

// A download in progress: where its file stands and how much of it the
// progress has counted.
struct Transfer {
    InternetLink link;
    LocalFile file;
    DWORD stored = 0;   // bytes in the file
    DWORD counted = 0;  // bytes of this file counted in the progress
};

// Counts what has been written since the progress was last told. Bytes that
// a restart from zero writes a second time are not counted again, so the
// progress never goes back nor past the whole.
void countStored(void* context, DWORD stored) {
    Transfer& transfer = *static_cast<Transfer*>(context);
    if (stored <= transfer.counted) return;
    updateProgress(stored - transfer.counted);
    transfer.counted = stored;
}

// Reads the open request's body into the file from where it stands.
BodyOutcome receiveBody(Transfer& transfer) {
    BodyReceipt receipt;
    receipt.file = transfer.file.handle;
    receipt.stored = transfer.stored;
    DWORD announced = 0;
    receipt.lengthKnown = readContentLength(transfer.link, &announced);
    receipt.expectedEnd = transfer.stored + announced;
    receipt.progress = countStored;
    receipt.context = &transfer;
    BodyOutcome outcome =
        receiveInternetBody(transfer.link, receipt, kTransferBlock, silenceLimitMs);
    transfer.stored = receipt.stored;
    return outcome;
}

// A broken body is asked for again from where the file stopped: a 206 with
// the matching range continues the file, a 200 starts it again from zero.
// 0 when the server could not be asked or gave another answer.
int resumeBody(Transfer& transfer, const char* address) {
    for (int waited = 0; waited < kRetryPauseMs; waited += 100) {
        keepWindowResponsive();
        Sleep(100);
    }
    closeInternetRequest(transfer.link);
    // A read given up at its limit took the session along.
    if (transfer.link.session == NULL && !openInternetSession(transfer.link)) return 0;
    char range[40];
    wsprintfA(range, "Range: bytes=%lu-", transfer.stored);
    if (!openInternetAddress(transfer.link, address, silenceLimitMs, range)) return 0;
    logAnswer("download: retry with", range, transfer.link);
    DWORD status = readStatusCode(transfer.link);
    if (status == 206) {
        char answered[80], wanted[24];
        wsprintfA(wanted, "bytes %lu-", transfer.stored);
        return readContentRange(transfer.link, answered, sizeof answered) &&
               strncmp(answered, wanted, strlen(wanted)) == 0;
    }
    if (status != 200) return 0;
    transfer.stored = 0;
    return SetFilePointer(transfer.file.handle, 0, NULL, FILE_BEGIN) == 0 &&
           SetEndOfFile(transfer.file.handle);
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

    Transfer transfer;
    InternetLink& link = transfer.link;
    if (!openInternetSession(link)) {
        showErrorBox(kCannotConnect);
        return 0;
    }
    if (!openInternetAddress(link, address, silenceLimitMs)) {
        showFailure(kCannotOpenRemote, address);
        closeInternetSession(link);
        return 0;
    }
    transfer.file.handle = CreateFileA(localPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       NULL, CREATE_ALWAYS, 0, NULL);
    if (transfer.file.handle == INVALID_HANDLE_VALUE) {
        showFailure(kCannotCreateLocal, localPath);
        closeInternetRequest(link);
        closeInternetSession(link);
        return 0;
    }

    logAnswer("download:", address, link);
    DWORD started = GetTickCount();
    int retries = 0;
    for (;;) {
        BodyOutcome outcome = receiveBody(transfer);
        if (outcome == kBodyComplete) break;
        if (outcome == kWriteFailed) {
            // Everything is let go before the box, which may stay open long.
            transfer.file.close();
            closeInternetRequest(link);
            closeInternetSession(link);
            showFailure(kCannotWriteBuffer, localPath);
            return 0;
        }
        logEvent("download: broken off with %lu bytes in the file", transfer.stored);
        bool resumed = false;
        while (!resumed && retries < kMaxRetries) {
            ++retries;
            resumed = resumeBody(transfer, address) != 0;
        }
        if (!resumed) {
            // The user learns of it first; what was received stays on disk.
            showFailure(kCannotReadIntoBuffer, address);
            transfer.file.close();
            closeInternetRequest(link);
            closeInternetSession(link);
            return 0;
        }
    }
    DWORD elapsed = GetTickCount() - started;
    logEvent("download: %lu bytes in %lu ms, %lu KB/s, %d retries", transfer.stored, elapsed,
             static_cast<DWORD>(transfer.stored / (elapsed + 1)), retries);
    transfer.file.close();
    closeInternetRequest(link);
    closeInternetSession(link);
    return 1;
}
