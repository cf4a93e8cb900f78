#include "install/handoff.h"

#include <string.h>
#include <windows.h>

#include "folders/file_exists.h"
#include "folders/held_folders.h"
#include "install/publisher.h"
#include "install/texts.h"
#include "session/log.h"
#include "session/session.h"
#include "session/text.h"
#include "ui/message_boxes.h"

namespace {

// Every field is at most 259 characters and there are few of them: this
// holds the longest command line whole.
typedef char CommandLine[8 * 260];

// The installer reads its arguments as words split at blanks; a blank
// inside a folder name travels as '?', which the installer turns back.
void encodeSpaces(char* text) {
    for (; *text != '\0'; ++text)
        if (*text == ' ') *text = '?';
}

}  // namespace

int startInstaller() {
    char startFolder[MAX_PATH], argument3[MAX_PATH], workFolder[MAX_PATH];
    copyText(startFolder, session.startFolder);
    copyText(argument3, session.installerArg3);
    copyText(workFolder, session.startWorkFolder);
    encodeSpaces(startFolder);
    encodeSpaces(argument3);
    encodeSpaces(workFolder);

    CommandLine tail;  // everything after the program path and its blank
    joinText(tail, session.sourceMode == 'L' ? " L " : " I ", startFolder, " ");
    if (session.runKind == 'A') {
        appendText(tail, " A");
        appendText(tail, " ");
        appendText(tail, session.installerArg1);
        appendText(tail, " ");
        appendText(tail, session.installerArg2);
        appendText(tail, " ");
        appendText(tail, argument3);
        if (session.clientFlag == 'K') {
            appendText(tail, " ");
            appendText(tail, kClientWord);
        }
    }

    CommandLine programPath;
    joinText(programPath, workFolder, session.helperExeName);
    // The encoded path names the program and its working folder as long as
    // the work folder has no blank (the usual case). With a blank (a user
    // name with a space in the temporary path) the encoded path names no file
    // and no folder at all, so the real path is used, quoted as one word.
    const char* runFolder = workFolder;
    if (strchr(session.startWorkFolder, ' ') != NULL) {
        joinText(programPath, session.startWorkFolder, session.helperExeName);
        runFolder = session.startWorkFolder;
    }

    if (!fileExists(programPath)) {
        showErrorBox(kMissingInstaller, programPath);
        return 0;
    }

    CommandLine commandLine;
    if (runFolder == workFolder)
        joinText(commandLine, programPath, " ", tail);
    else
        joinText(commandLine, "\"", programPath, "\" ", tail);

    // The process is made from the path: the installer file and the folders
    // of that path are held from the check until the process has been made,
    // so the path names the checked file all the while.
    HeldFolders folders;
    HeldFile held;
    bool ready = holdWorkFolder(session.startWorkFolder, &folders) != 0;
    if (ready && !holdTrustedFile(programPath, &held)) return 0;
    if (ready && held.handle == INVALID_HANDLE_VALUE) {
        logEvent("installer: cannot be held, error %lu", GetLastError());
        ready = false;
    }

    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    logText("installer: ", commandLine);
    // The installer runs on its own: not waited for, its handles let go.
    if (ready && CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, runFolder,
                                &startup, &process)) {
        logEvent("installer: started as process %lu", process.dwProcessId);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        EndDialog(session.dialogWindow, session.endCode);
        return 1;
    }
    showErrorBox(kCannotStart, commandLine);
    EndDialog(session.dialogWindow, session.endCode);
    return 0;
}
