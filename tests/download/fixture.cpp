#include "tests/download/fixture.h"

#include <string.h>

#include <set>

#include "download/watchdog.h"
#include "resources/resource.h"
#include "session/session.h"
#include "session/variants.h"
#include "tests/support/boxes.h"

void DownloadTest::SetUp() {
    prepareSession(2);
    helpersAtStart_ = runningCallHelpers();
}

void DownloadTest::TearDown() {
    silenceLimitMs = kSilenceLimitMs;
    longestBody = kLongestBody;
    session.dialogWindow = NULL;
}

void DownloadTest::prepareSession(int serverIndex) {
    resetSession();
    session.variantLetter = 'L';
    strcpy(session.versionTag, "3_xx");
    session.runKind = 'I';
    session.serverIndex = serverIndex;
    configureVariant();
}

bool DownloadTest::helpersBackToStart(DWORD timeoutMs) const {
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
        if (runningCallHelpers() <= helpersAtStart_) return true;
        Sleep(50);
    }
    return runningCallHelpers() <= helpersAtStart_;
}

namespace {

ProgressWindow* activeWindow = nullptr;
WNDPROC staticProc = nullptr;

std::string ansiToUtf8(const char* text) {
    wchar_t wide[1024];
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 1024);
    return length > 0 ? toUtf8(std::wstring(wide, static_cast<size_t>(length - 1))) : "";
}

}  // namespace

ProgressWindow::ProgressWindow() {
    activeWindow = this;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = &ProgressWindow::windowProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = "VarnelTestProgressRow";
    RegisterClassA(&windowClass);
    window_ = CreateWindowExA(0, "VarnelTestProgressRow", "Instalacja", WS_OVERLAPPEDWINDOW,
                              10, 10, 420, 200, NULL, NULL, GetModuleHandleA(NULL), NULL);
    struct Initial {
        int id;
        const char* text;
    };
    const Initial initial[] = {
        {IDC_STATUS, ""}, {IDC_PERCENT, "0"}, {IDC_PERCENT_SIGN, "%"}, {IDC_SIZE_TEXT, "z 0 MB"}};
    int x = 10;
    for (const Initial& control : initial) {
        HWND child = CreateWindowExA(0, "STATIC", control.text, WS_CHILD | SS_LEFT, x, 10, 90,
                                     20, window_, reinterpret_cast<HMENU>(INT_PTR(control.id)),
                                     GetModuleHandleA(NULL), NULL);
        staticProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
            child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ProgressWindow::controlProc)));
        x += 100;
    }
    ShowWindow(window_, SW_SHOWNA);
    UpdateWindow(window_);
    // Whatever the system still has to deliver comes before the test.
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    events_.clear();
    session.dialogWindow = window_;
}

ProgressWindow::~ProgressWindow() {
    session.dialogWindow = NULL;
    DestroyWindow(window_);
    activeWindow = nullptr;
}

LRESULT CALLBACK ProgressWindow::windowProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    if (message == WM_PAINT && activeWindow != nullptr)
        activeWindow->events_.push_back({0, true, ""});
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK ProgressWindow::controlProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    if (message == WM_SETTEXT && activeWindow != nullptr) {
        activeWindow->events_.push_back(
            {GetDlgCtrlID(window), false, ansiToUtf8(reinterpret_cast<const char*>(lParam))});
        InvalidateRect(GetParent(window), NULL, FALSE);
    }
    return CallWindowProcA(staticProc, window, message, wParam, lParam);
}

void ProgressWindow::showPercent() {
    ShowWindow(GetDlgItem(window_, IDC_PERCENT_SIGN), SW_SHOW);
    ShowWindow(GetDlgItem(window_, IDC_PERCENT), SW_SHOW);
    UpdateWindow(window_);
    events_.clear();
}

std::vector<std::string> ProgressWindow::textsOf(int control) const {
    std::vector<std::string> texts;
    for (const Event& event : events_)
        if (event.control == control && !event.paint) texts.push_back(event.text);
    return texts;
}

std::string ProgressWindow::textOf(int control) const {
    char text[512] = "";
    GetDlgItemTextA(window_, control, text, sizeof text);
    return ansiToUtf8(text);
}

bool ProgressWindow::visible(int control) const {
    return IsWindowVisible(GetDlgItem(window_, control)) != FALSE;
}

bool ProgressWindow::everyTextRepainted(std::string* unpainted) const {
    for (size_t i = 0; i < events_.size(); ++i) {
        if (events_[i].paint) continue;
        bool painted = i + 1 < events_.size() && events_[i + 1].paint;
        if (!painted) {
            if (unpainted != nullptr)
                *unpainted = std::to_string(events_[i].control) + " " + events_[i].text;
            return false;
        }
    }
    return true;
}

namespace {
WhileBoxShown* activeCheck = nullptr;
}

WhileBoxShown::WhileBoxShown(std::function<void()> check) : check_(std::move(check)) {
    activeCheck = this;
    hook_ = SetWindowsHookExW(WH_CBT, &WhileBoxShown::hook, NULL, GetCurrentThreadId());
}

WhileBoxShown::~WhileBoxShown() {
    if (hook_ != NULL) UnhookWindowsHookEx(hook_);
    activeCheck = nullptr;
}

LRESULT CALLBACK WhileBoxShown::hook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && activeCheck != nullptr) {
        HWND window = reinterpret_cast<HWND>(wParam);
        wchar_t className[16] = L"";
        GetClassNameW(window, className, 16);
        // A box may be activated more than once; it is checked the first time.
        static std::set<HWND> checked;
        if (wcscmp(className, L"#32770") == 0 && GetDlgItem(window, 0xFFFF) != NULL &&
            checked.insert(window).second)
            activeCheck->check_();
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

bool heldOpen(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
}

DWORD since(DWORD start) { return GetTickCount() - start; }
