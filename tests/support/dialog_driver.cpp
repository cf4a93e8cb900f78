#include "tests/support/dialog_driver.h"

#include <thread>

#include "resources/resource.h"
#include "tests/support/boxes.h"
#include "ui/dialog.h"

namespace {

struct Search {
    HWND found = NULL;
};

BOOL CALLBACK findDialog(HWND window, LPARAM context) {
    wchar_t className[16] = L"";
    GetClassNameW(window, className, 16);
    if (wcscmp(className, L"#32770") == 0 && GetDlgItem(window, IDC_START) != NULL &&
        IsWindowVisible(window)) {
        reinterpret_cast<Search*>(context)->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

void runDialog(const std::function<void(HWND dialog)>& user) {
    DWORD dialogThread = GetCurrentThreadId();
    std::thread acting([&] {
        Search search;
        for (int i = 0; i < 500 && search.found == NULL; ++i) {
            Sleep(10);
            EnumThreadWindows(dialogThread, findDialog, reinterpret_cast<LPARAM>(&search));
        }
        if (search.found != NULL) user(search.found);
    });
    DialogBoxParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_SETUP), NULL, dialogProc, 0);
    acting.join();
}

bool controlVisible(HWND dialog, int id) {
    return (GetWindowLongW(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0;
}

bool controlChecked(HWND dialog, int id) {
    return SendMessageW(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::string controlText(HWND dialog, int id) { return windowText(GetDlgItem(dialog, id)); }

void click(HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void clickLater(HWND dialog, int id) { PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
