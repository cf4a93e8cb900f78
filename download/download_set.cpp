#include "download/download_set.h"

#include <stdlib.h>

#include "download/internet.h"
#include "download/texts.h"
#include "download/transfer.h"
#include "resources/resource.h"
#include "session/log.h"
#include "session/session.h"
#include "session/text.h"
#include "ui/message_boxes.h"
#include "ui/progress.h"

namespace {

// The cabinets' lengths as measured, in the order of the set: what a
// download that tells none must bring.
DWORD measuredLengths[2];

// Opens the address, keeps its Content-Length and adds it to the total. A
// failure is reported after everything has been closed; the size message
// names sizeSubject.
int addRemoteSize(InternetLink& link, const char* address, const char* sizeSubject,
                  DWORD* length) {
    if (!openInternetAddress(link, address, silenceLimitMs)) {
        closeInternetSession(link);
        showFailure(kCannotOpenRemote, address);
        return 0;
    }
    logAnswer("size:", address, link);
    // A chunked or close-delimited answer has no length to read.
    if (readBodyLength(link, length) <= 0) {
        closeInternetRequest(link);
        closeInternetSession(link);
        showFailure(kCannotReadRemoteSize, sizeSubject);
        return 0;
    }
    session.remoteTotalBytes += static_cast<float>(*length);
    return 1;
}

void showMegabytes() {
    float megabytes = session.remoteTotalBytes * (1.0f / 1024) * (1.0f / 1024);
    int point = 0;
    int sign = 0;
    const char* digits = _fcvt(megabytes, 0, &point, &sign);
    // Below half a megabyte the conversion gives no digit at all; the row
    // then reads "z 0 MB", as the dialog showed before the sizes were known.
    if (digits[0] == '\0') digits = "0";
    // Two 32-bit sizes make at most 8192 megabytes: four digits.
    char text[32];
    if (!joinText(text, kSizePrefix, digits, kSizeSuffix)) return;
    setControlText(IDC_SIZE_TEXT, text);
    showControl(IDC_SIZE_TEXT);
    repaintDialog();
}

struct SetFile {
    const char* address;
    char (*target)[MAX_PATH];
    const char* name;
    const DWORD* measured;
};

}  // namespace

int queryRemoteSizes() {
    setControlText(IDC_STATUS, kQueryingFiles);
    showControl(IDC_STATUS);
    repaintDialog();
    session.remoteTotalBytes = 0;

    InternetLink link;
    if (!openInternetSession(link)) {
        showErrorBox(kCannotConnect);
        return 0;
    }
    // The system cabinet's size message names the file, the a-cabinet's the
    // whole address: the messages have always differed so.
    if (!addRemoteSize(link, session.systemCabinetUrl, session.systemCabinetName,
                       &measuredLengths[0]))
        return 0;
    closeInternetRequest(link);
    if (!addRemoteSize(link, session.cabinetAUrl, session.cabinetAUrl, &measuredLengths[1]))
        return 0;
    showMegabytes();
    closeInternetRequest(link);
    closeInternetSession(link);
    // After the closes: closing a request whose body was not read can take
    // as long as reading it (the system may drain it to keep the connection).
    logEvent("size: %lu KB in all, both requests closed",
             static_cast<unsigned long>(session.remoteTotalBytes / 1024));
    return 1;
}

int downloadSet() {
    // receivedBytes is not reset: it counts from the start of the process.
    session.shownPercent = 0;
    const SetFile files[] = {
        {session.installerUrl, &session.installerPath, session.installerName, NULL},
        {session.systemCabinetUrl, &session.systemCabinetPath, session.systemCabinetName,
         &measuredLengths[0]},
        {session.cabinetAUrl, &session.cabinetAPath, session.cabinetAName, &measuredLengths[1]},
    };
    for (const SetFile& file : files) {
        int fetched = 0;
        if (joinText(*file.target, session.downloadFolder, file.name)) {
            fetched = downloadFile(file.address, *file.target, file.name, file.measured);
        } else {
            // Refused rather than cut: a shortened path would name another file.
            char wanted[2 * MAX_PATH];
            joinText(wanted, session.downloadFolder, file.name);
            showFailure(kCannotCreateLocal, wanted);
        }
        if (!fetched) {
            setControlText(IDC_STATUS, kClosingConnection);
            return 0;
        }
    }
    setControlText(IDC_PERCENT, kFullPercent);
    hideControl(IDC_PERCENT_SIGN);
    hideControl(IDC_PERCENT);
    hideControl(IDC_SIZE_TEXT);
    setControlText(IDC_STATUS, kClosingConnection);
    return 1;
}
