#include "ui/dialog.h"

#include "download/download_set.h"
#include "install/pipeline.h"
#include "resources/resource.h"
#include "session/log.h"
#include "session/session.h"
#include "session/text.h"
#include "session/variants.h"
#include "ui/message_boxes.h"
#include "ui/progress.h"
#include "ui/shown_text.h"
#include "ui/texts.h"

namespace {

struct VariantLook {
    char letter;
    const char* label;  // ends in a blank; with " wersja " two blanks stand before it
    int icon;
};

const VariantLook variantLooks[] = {
    {'K', "Mirda ", IDI_VARIANT_K}, {'L', "Tabrix Kalk ", IDI_VARIANT_L},
    {'P', "Solva ", IDI_VARIANT_P}, {'R', "VN ", IDI_VARIANT_R},
    {'T', "FD ", IDI_VARIANT_T},
};

// The dialog takes no input while a run is under way: a second Start (or a
// Cancel) would begin inside the running step or end the dialog beneath it.
// An error box owned by the disabled dialog leaves it disabled.
bool running = false;

// Windows Vista and later show the reason beside the program when a logoff
// waits for it; looked up, as older systems lack it.
void setEndSessionReason(HWND dialog, bool blocked) {
    HMODULE user = GetModuleHandleA("user32.dll");
    if (user == NULL) return;
    if (blocked) {
        typedef BOOL(WINAPI * Create)(HWND, LPCWSTR);
        Create create = reinterpret_cast<Create>(
            reinterpret_cast<void*>(GetProcAddress(user, "ShutdownBlockReasonCreate")));
        if (create != NULL) create(dialog, kEndSessionBlocked);
        return;
    }
    typedef BOOL(WINAPI * Destroy)(HWND);
    Destroy destroy = reinterpret_cast<Destroy>(
        reinterpret_cast<void*>(GetProcAddress(user, "ShutdownBlockReasonDestroy")));
    if (destroy != NULL) destroy(dialog);
}

LRESULT CALLBACK refuseEndSession(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_QUERYENDSESSION) return FALSE;
    return DefWindowProcA(window, message, wParam, lParam);
}

void beginRun(HWND dialog) {
    running = true;
    EnableWindow(dialog, FALSE);
    setEndSessionReason(dialog, true);
}

void endRun(HWND dialog) {
    setEndSessionReason(dialog, false);
    EnableWindow(dialog, TRUE);
    running = false;
}

void setSourceNote(bool local) {
    if (local) {
        setShownText(session.dialogWindow, IDC_SOURCE_NOTE, kLocalNote);
        return;
    }
    char note[512];
    composeServerNote(note, sizeof note);
    setShownText(session.dialogWindow, IDC_SOURCE_NOTE, note);
}

void takeLibraryChoice() {
    session.installLibraries =
        IsDlgButtonChecked(session.dialogWindow, IDC_SKIP_LIBRARIES) == BST_CHECKED ? 0 : 1;
}

}  // namespace

void composeServerNote(char* note, size_t capacity) {
    note[0] = '\0';
    appendText(note, capacity, kServerNoteStart);
    appendText(note, capacity, "\n");
    appendText(note, capacity, selectedServerHost(session.serverIndex));
    appendText(note, capacity, ".\n");
    appendText(note, capacity, kServerNoteEnd);
}

int setDialogTexts() {
    HWND dialog = session.dialogWindow;
    if (session.localFilesPresent == 1) {
        ShowWindow(GetDlgItem(dialog, IDC_LOCAL_RUN), SW_SHOW);
        CheckDlgButton(dialog, IDC_LOCAL_RUN, BST_CHECKED);
        session.sourceMode = 'L';
    }
    ShowWindow(GetDlgItem(dialog, IDC_SKIP_LIBRARIES), SW_SHOW);
    CheckDlgButton(dialog, IDC_SKIP_LIBRARIES,
                   session.installLibraries != 1 ? BST_CHECKED : BST_UNCHECKED);

    copyText(session.windowTitle, kInstallTitlePrefix);
    setShownText(dialog, IDC_HEADING, kDialogHeading);
    setShownText(dialog, IDC_STAGE1, kStage1);
    setShownText(dialog, IDC_STAGE2, kStage2);
    // Without the template's "&" the buttons lose their accelerators, as the
    // users of the earlier versions know them.
    setShownText(dialog, IDC_START, kStartButton);
    setShownText(dialog, IDC_CANCEL_INSTALL, kCancelButton);
    setSourceNote(IsDlgButtonChecked(dialog, IDC_LOCAL_RUN) == BST_CHECKED);
    UpdateWindow(dialog);

    appendText(session.windowTitle, session.displayName);
    appendText(session.windowTitle, kVersionWord);
    appendText(session.windowTitle, session.versionText);
    setShownTitle(dialog, session.windowTitle);

    const VariantLook* look = NULL;
    for (const VariantLook& candidate : variantLooks)
        if (candidate.letter == session.variantLetter) look = &candidate;
    if (look != NULL) {
        char versionLine[40];  // at most 39 characters
        if (joinText(versionLine, look->label, kVersionWord, session.versionText))
            setShownText(dialog, IDC_VERSION_LINE, versionLine);
        // The system's default icon size; the control owns the icon for the
        // dialog's lifetime. One that does not load leaves the globe.
        HANDLE icon = LoadImageA(session.instanceHandle, MAKEINTRESOURCEA(look->icon), IMAGE_ICON,
                                 0, 0, 0);
        if (icon != NULL)
            SendDlgItemMessageA(dialog, IDC_VARIANT_ICON, STM_SETIMAGE, IMAGE_ICON,
                                reinterpret_cast<LPARAM>(icon));
    }
    UpdateWindow(dialog);
    return 1;
}

HWND beginUpdateStep() {
    WNDCLASSA guard = {};
    guard.lpfnWndProc = refuseEndSession;
    guard.hInstance = session.instanceHandle;
    guard.lpszClassName = kEndSessionGuard;
    RegisterClassA(&guard);
    HWND window = CreateWindowExA(0, kEndSessionGuard, NULL, WS_POPUP, 0, 0, 0, 0, NULL, NULL,
                                  guard.hInstance, NULL);
    // Windows names the program that holds a logoff up by this title.
    char title[52];
    if (joinText(title, kUpdateTitlePrefix, session.displayName)) setShownTitle(window, title);
    setEndSessionReason(window, true);
    return window;
}

void endUpdateStep(HWND guard) {
    setEndSessionReason(guard, false);
    DestroyWindow(guard);
}

int startInternetInstall() {
    hideControl(IDC_START);
    hideControl(IDC_CANCEL_INSTALL);
    showControl(IDC_STATUS);
    setControlText(IDC_STATUS, kConnecting);
    if (!queryRemoteSizes()) return 0;
    showControl(IDC_PERCENT_SIGN);
    showControl(IDC_PERCENT);  // still "0" from the template
    repaintDialog();
    if (!downloadSet()) return 0;
    return runInstallPipeline() ? 1 : 0;
}

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        session.dialogWindow = dialog;
        session.endCode = IDOK;  // the session driver only checks that it came
        setDialogTexts();
        SetPropA(dialog, kDialogMark, dialog);
        return TRUE;
    }
    if (message == WM_DESTROY) {
        RemovePropA(dialog, kDialogMark);
        session.dialogWindow = NULL;  // no box is owned by a window that is gone
    }
    // The waits inside a step deliver it: a logoff accepted there would end
    // the process between copying and registering the libraries.
    if (message == WM_QUERYENDSESSION && running) {
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, FALSE);
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;

    switch (LOWORD(wParam)) {
    case IDC_START:
        if (running) return TRUE;
        beginRun(dialog);
        logEvent("dialog: Start, %s files, libraries %s",
                 session.sourceMode == 'L' ? "local" : "internet",
                 session.installLibraries ? "to be installed" : "skipped");
        if (session.sourceMode == 'L' ? copyLocalFiles() : startInternetInstall())
            session.exitCode = kExitInstallerStarted;
        endRun(dialog);
        // Whatever the outcome: a failed run is retried by starting anew.
        endSetupDialog();
        return TRUE;
    case IDC_CANCEL_INSTALL:
    case IDCANCEL:
        if (running) return TRUE;
        if (!confirmCancel()) return FALSE;
        session.exitCode = kExitCancelled;
        endSetupDialog();
        return TRUE;
    case IDC_LOCAL_RUN:
        if (running) return FALSE;
        if (IsDlgButtonChecked(dialog, IDC_LOCAL_RUN) == BST_CHECKED) {
            setSourceNote(true);
            session.sourceMode = 'L';
        } else {
            setSourceNote(false);
            session.sourceMode = 'I';
        }
        takeLibraryChoice();
        return FALSE;
    case IDC_SKIP_LIBRARIES:
        if (running) return FALSE;
        takeLibraryChoice();
        return FALSE;
    }
    return FALSE;
}
