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

// Room for a validator; a file whose validator is longer cannot be shown to
// be the same version, and is never continued.
const DWORD kValidatorCapacity = 200;

// A download in progress: where its file stands, what the file is, and how
// much of it the progress has counted.
struct Transfer {
    InternetLink link;
    LocalFile file;
    DWORD stored = 0;   // bytes in the file
    DWORD counted = 0;  // bytes of this file counted in the progress
    DWORD seen = 0;     // bytes in the file when the progress was last told
    // GetTickCount() when bytes last arrived, or the first answer did.
    DWORD lastByteAt = 0;
    // The whole file's length, when an answer has told it.
    BOOL totalKnown = FALSE;
    DWORD total = 0;
    // Where the current answer's body ends, when it says.
    BOOL endKnown = FALSE;
    DWORD end = 0;
    // The file's version, as the answer it began from told it: its ETag and
    // Last-Modified ("" for none), when both could be kept.
    char etag[kValidatorCapacity] = "";
    char date[kValidatorCapacity] = "";
    bool versionKept = false;
    // A cabinet's length as the size query measured it: the whole, when
    // its answer tells none.
    const DWORD* measured = NULL;
    // A range of another version restarts the file from zero only once.
    bool restarted = false;
};

// Counts what has been written since the progress was last told. Bytes that
// a restart from zero writes a second time are not counted again, so the
// progress never goes back nor past the whole.
void countStored(void* context, DWORD stored) {
    Transfer& transfer = *static_cast<Transfer*>(context);
    if (stored != transfer.seen) {
        transfer.seen = stored;
        transfer.lastByteAt = GetTickCount();
    }
    if (stored <= transfer.counted) return;
    updateProgress(stored - transfer.counted);
    transfer.counted = stored;
}

// What is left of the file's silence, retries included; negative when spent.
LONG silenceLeft(const Transfer& transfer) {
    return static_cast<LONG>(transfer.lastByteAt + silenceLimitMs + kRetryWindowMs -
                             GetTickCount());
}

// The limit of the next call: the silence limit, or less when that is all
// the file has left.
DWORD callLimit(const Transfer& transfer) {
    LONG left = silenceLeft(transfer);
    if (left <= 0) return 0;
    return static_cast<DWORD>(left) < silenceLimitMs ? static_cast<DWORD>(left)
                                                     : silenceLimitMs;
}

// Reads the open request's body into the file from where it stands.
BodyOutcome receiveBody(Transfer& transfer) {
    BodyReceipt receipt;
    receipt.file = transfer.file.handle;
    receipt.stored = transfer.stored;
    receipt.lengthKnown = transfer.endKnown;
    receipt.expectedEnd = transfer.endKnown ? transfer.end : longestBody;
    receipt.firstByteLimitMs = callLimit(transfer);
    receipt.progress = countStored;
    receipt.context = &transfer;
    transfer.seen = transfer.stored;
    BodyOutcome outcome =
        receiveInternetBody(transfer.link, receipt, kTransferBlock, silenceLimitMs);
    transfer.stored = receipt.stored;
    return outcome;
}

// Sets the file's end where the next bytes go. A helper given up may have
// written one more block than the count it left, which the rest must not
// follow.
bool positionFile(Transfer& transfer) {
    LARGE_INTEGER at;
    at.QuadPart = transfer.stored;
    return SetFilePointerEx(transfer.file.handle, at, NULL, FILE_BEGIN) &&
           SetEndOfFile(transfer.file.handle);
}

// kUnreadable: a length or range that is there but cannot be read.
enum Answer { kContinues, kFailed, kUnreadable };

bool isStrong(const char* etag) { return etag[0] != '\0' && strncmp(etag, "W/", 2) != 0; }

// What tells that a range is of the file begun. Parts are joined only under
// a validator sent as If-Range and brought back (RFC 9110): a strong ETag,
// or the date where there is no ETag at all. A weak ETag goes into no
// If-Range and counts only with the date it came with. Without any, nothing
// tells the version, and every cut starts the file again from zero.
enum Validator { kNoValidator, kStrongTag, kDateAlone, kWeakTagAndDate };

Validator validatorOf(const Transfer& transfer) {
    if (!transfer.versionKept) return kNoValidator;
    if (transfer.etag[0] == '\0') return transfer.date[0] != '\0' ? kDateAlone : kNoValidator;
    if (isStrong(transfer.etag)) return kStrongTag;
    return transfer.date[0] != '\0' ? kWeakTagAndDate : kNoValidator;
}

// The open answer's ETag and Last-Modified; false when one is too long.
bool readVersion(InternetLink& link, char* etag, char* date) {
    return readHeaderText(link, HTTP_QUERY_ETAG, etag, kValidatorCapacity) >= 0 &&
           readHeaderText(link, HTTP_QUERY_LAST_MODIFIED, date, kValidatorCapacity) >= 0;
}

enum RangeHeader { kNoRange, kRangeUnreadable, kRangeOfUnknownTotal, kRangeOfTotal };

// The open answer's Content-Range: "bytes first-last/total" (the unit in
// any letter case), its counts below 4 GiB and its total "*" when the server
// does not know it. One that cannot be read is logged with its text.
RangeHeader readContentRange(InternetLink& link, DWORD* first, DWORD* last, DWORD* total) {
    HeaderText header;
    int found = readWholeHeader(link, HTTP_QUERY_CONTENT_RANGE, header);
    if (found == 0) return kNoRange;
    const char* text = found > 0 ? header.text : "";
    const char* at = _strnicmp(text, "bytes ", 6) == 0 ? parseCount(text + 6, first) : NULL;
    at = at != NULL && *at == '-' ? parseCount(at + 1, last) : NULL;
    if (at != NULL && *at == '/' && *first <= *last) {
        if (strcmp(at + 1, "*") == 0) return kRangeOfUnknownTotal;
        at = parseCount(at + 1, total);
        if (at != NULL && *at == '\0' && *last < *total) return kRangeOfTotal;
    }
    logText("download: unreadable Content-Range ", text);
    return kRangeUnreadable;
}

// Takes the answer to a request for the whole file. A 200, or a 206 that
// starts at byte 0 (as a cache may answer), is the file from its start: its
// length and version are the file's from now on, and the file starts from
// zero. Another 206 is a broken answer. Any other status (an error page) is
// stored as it comes, bound to no measured length.
Answer takeWholeFile(Transfer& transfer) {
    InternetLink& link = transfer.link;
    DWORD status = readStatusCode(link);
    DWORD length = 0;
    int found = readBodyLength(link, &length);
    if (found < 0) return kUnreadable;
    transfer.stored = 0;
    transfer.versionKept = false;
    transfer.totalKnown = found;
    transfer.total = transfer.end = length;
    if (status == 206) {
        DWORD first = 0, last = 0;
        RangeHeader range = readContentRange(link, &first, &last, &transfer.total);
        if (range == kRangeUnreadable) return kUnreadable;
        if (range != kRangeOfTotal || first != 0 || (found > 0 && length != last + 1)) {
            logEvent("download: a 206 that is not the file from its start");
            return kFailed;
        }
        transfer.totalKnown = TRUE;
        transfer.end = last + 1;
    } else if (found == 0 && status == 200 && transfer.measured != NULL) {
        transfer.totalKnown = TRUE;
        transfer.total = transfer.end = *transfer.measured;
    }
    transfer.endKnown = transfer.totalKnown;
    transfer.versionKept = readVersion(link, transfer.etag, transfer.date);
    return kContinues;
}

Answer startAgain(Transfer& transfer) {
    Answer answer = takeWholeFile(transfer);
    return answer != kContinues || positionFile(transfer) ? answer : kFailed;
}

// A 206 continues the file only when it is the rest of the same file: its
// range starts at the bytes stored, belongs to a file of the length known,
// its body is as long as the range, and it brings the file's validator back,
// whatever the server made of If-Range.
Answer takeRange(Transfer& transfer, bool* matches) {
    *matches = false;
    InternetLink& link = transfer.link;
    char etag[kValidatorCapacity], date[kValidatorCapacity];
    DWORD first = 0, last = 0, total = 0, length = 0;
    RangeHeader range = readContentRange(link, &first, &last, &total);
    if (range == kRangeUnreadable) return kUnreadable;
    int found = readBodyLength(link, &length);
    if (found < 0) return kUnreadable;
    Validator validator = validatorOf(transfer);
    // A range of a total not known ("*") may be of any version.
    if (range != kRangeOfTotal || first != transfer.stored ||
        (transfer.totalKnown && total != transfer.total) ||
        (found > 0 && length != last - first + 1) || validator == kNoValidator ||
        !readVersion(link, etag, date) || strcmp(etag, transfer.etag) != 0 ||
        (validator != kStrongTag && strcmp(date, transfer.date) != 0))
        return kContinues;
    *matches = true;
    transfer.totalKnown = TRUE;
    transfer.total = total;
    transfer.endKnown = TRUE;
    transfer.end = last + 1;
    return positionFile(transfer) ? kContinues : kFailed;
}

// Asks for the rest of the file from the bytes stored, of the same version.
// A 200 starts the file again from zero; a range of another version or
// length, or a 416, does so once with a request for the whole file. A file
// whose version nothing tells is asked for whole at once.
Answer askForRest(Transfer& transfer, const char* address) {
    InternetLink& link = transfer.link;
    closeInternetRequest(link);
    // A read given up at its limit took the session along.
    if (link.session == NULL && !openInternetSession(link)) return kFailed;
    Validator validator = validatorOf(transfer);
    if (validator != kNoValidator) {
        char range[40], headers[kRequestHeadersCapacity];
        wsprintfA(range, "Range: bytes=%lu-", transfer.stored);
        const char* ifRange = validator == kStrongTag  ? transfer.etag
                              : validator == kDateAlone ? transfer.date
                                                        : "";
        if (!joinText(headers, range, ifRange[0] != '\0' ? "\r\nIf-Range: " : "", ifRange))
            return kFailed;
        if (!openInternetAddress(link, address, callLimit(transfer), headers)) return kFailed;
        logAnswer("download: retry with", range, link);
        DWORD status = readStatusCode(link);
        if (status == 200) return startAgain(transfer);
        if (status == 206) {
            bool matches = false;
            Answer answer = takeRange(transfer, &matches);
            if (matches || answer != kContinues) return answer;
        } else if (status != 416) {
            return kFailed;
        }
        if (transfer.restarted) return kFailed;
        transfer.restarted = true;
        logEvent("download: the range is of another version; the file starts again");
    } else {
        logEvent("download: nothing tells the file's version; it starts again");
    }
    if (!openInternetAddress(link, address, callLimit(transfer))) return kFailed;
    logAnswer("download: retry of the whole file", address, link);
    // An error page is nothing to start the file from.
    DWORD status = readStatusCode(link);
    if (status != 200 && status != 206) return kFailed;
    return startAgain(transfer);
}

// The pause before a retry, while the dialog is served; false when the
// file's silence would be spent before the retry could be made.
bool pauseBeforeRetry(const Transfer& transfer) {
    if (silenceLeft(transfer) <= kRetryPauseMs) return false;
    for (int waited = 0; waited < kRetryPauseMs; waited += 100) {
        keepWindowResponsive();
        Sleep(100);
    }
    return true;
}

}  // namespace

void showFailure(const char* text, const char* subject) {
    // Subjects are addresses, paths and names of up to MAX_PATH characters,
    // or a folder and a name that together did not fit one.
    showErrorBox(text, subject);
}

int downloadFile(const char* address, const char* localPath, const char* displayName,
                 const DWORD* measuredLength) {
    char status[sizeof kFileStatusPrefix + MAX_PATH];
    if (!joinText(status, kFileStatusPrefix, displayName)) copyText(status, kFileStatusPrefix);
    setControlText(IDC_STATUS, status);
    showControl(IDC_STATUS);
    repaintDialog();

    Transfer transfer;
    transfer.measured = measuredLength;
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
    transfer.lastByteAt = started;
    Answer answer = takeWholeFile(transfer);
    int retries = 0;
    for (;;) {
        while (answer == kFailed && retries < kMaxRetries && pauseBeforeRetry(transfer)) {
            ++retries;
            answer = askForRest(transfer, address);
        }
        if (answer != kContinues) break;
        BodyOutcome outcome = receiveBody(transfer);
        if (outcome == kWriteFailed) {
            // Everything is let go before the box, which may stay open long.
            transfer.file.close();
            closeInternetRequest(link);
            closeInternetSession(link);
            showFailure(kCannotWriteBuffer, localPath);
            return 0;
        }
        if (outcome == kBodyComplete) {
            if (!transfer.totalKnown || transfer.stored >= transfer.total) break;
            // A range that ended before the whole is progress: the rest is
            // asked for at once, and no retry is used up. Where nothing
            // tells the version the rest cannot be joined: as after a cut.
            answer = validatorOf(transfer) != kNoValidator ? askForRest(transfer, address)
                                                           : kFailed;
        } else if (!transfer.endKnown && transfer.stored == longestBody) {
            logEvent("download: %lu bytes without a length, the most there may be",
                     transfer.stored);
            answer = kUnreadable;
        } else {
            logEvent("download: broken off with %lu bytes in the file", transfer.stored);
            answer = kFailed;
        }
    }
    if (answer != kContinues) {
        // The user learns of it first; what was received stays on disk.
        showFailure(kCannotReadIntoBuffer, address);
        transfer.file.close();
        closeInternetRequest(link);
        closeInternetSession(link);
        return 0;
    }
    DWORD elapsed = GetTickCount() - started;
    logEvent("download: %lu bytes in %lu ms, %lu KB/s, %d retries", transfer.stored, elapsed,
             static_cast<DWORD>(transfer.stored / (elapsed + 1)), retries);
    transfer.file.close();
    closeInternetRequest(link);
    closeInternetSession(link);
    return 1;
}
