// The one process-wide record that every operation of the program reads and
// writes. Texts are zero-terminated Windows-1250 strings.
#ifndef VARNEL_SESSION_SESSION_H
#define VARNEL_SESSION_SESSION_H

#include <windows.h>

struct SetupSession {
    // Identity and modes.
    char variantLetter;
    char versionText[8];
    char versionTag[8];
    char displayName[50];
    char sourceMode;  // 'I' internet, 'L' local, 0 before the first decision
    char runKind;     // 'I' installation with the dialog, 'A' update, 0 before parsing
    unsigned char installLibraries;
    unsigned char localFilesPresent;
    char clientFlag;  // 'K' or 0
    int serverIndex;  // 1..3, 0 when no update server answered; starts at 1

    // Names and addresses.
    char systemCabinetName[MAX_PATH];
    char installerName[MAX_PATH];
    char cabinetAName[MAX_PATH];
    char cabinetBName[MAX_PATH];
    char helperExeName[MAX_PATH];
    char systemCabinetUrl[MAX_PATH];
    char installerUrl[MAX_PATH];
    char cabinetAUrl[MAX_PATH];

    // Folders; each ends with a backslash (the Windows folder excepted).
    char startFolder[MAX_PATH];
    char windowsFolder[MAX_PATH];
    char systemFolder[MAX_PATH];
    char startWorkFolder[MAX_PATH];
    char librariesFolder[MAX_PATH];
    char downloadFolder[MAX_PATH];

    // The three words an update hands on to the installer program.
    char installerArg1[52];
    char installerArg2[12];
    char installerArg3[MAX_PATH];

    // Run state.
    HINSTANCE instanceHandle;
    HWND dialogWindow;
    int endCode;
    DWORD lastError;
    bool relaunched;  // started by another copy's relaunch, so never relaunches
    // What the process returns once the session has run (the codes that
    // deployment tools know from Windows Installer).
    int exitCode;
    char windowTitle[120];

    // Download state.
    char systemCabinetPath[MAX_PATH];
    char cabinetAPath[MAX_PATH];
    char installerPath[MAX_PATH];
    float remoteTotalBytes;
    float receivedBytes;
    float progressPercent;
    float shownPercent;
    char percentText[8];
};

extern SetupSession session;

// Exit codes of a run that got past the start-up checks (a failed check
// returns -1): the installer was started, the user cancelled, or the run
// ended on a failure that was reported to the user.
const int kExitInstallerStarted = 0;
const int kExitCancelled = 1602;
const int kExitFailed = 1603;

// Puts the record into its process-start state: zero-filled but for
// `serverIndex`, which starts at 1. The entry calls it first; tests start
// each case from it.
void resetSession();

#endif
