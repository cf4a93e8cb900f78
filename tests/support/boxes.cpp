#include "tests/support/boxes.h"

#include <set>

namespace {

BoxRecorder* activeRecorder = nullptr;

std::wstring windowTextW(HWND window) {
    wchar_t buffer[4096];
    int length = GetWindowTextW(window, buffer, 4096);
    return std::wstring(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

}  // namespace

// Icon handles differ for the same image, so icons are compared by pixels.
std::vector<DWORD> iconPixels(HICON icon) {
    const int size = 32;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(NULL);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    std::vector<DWORD> pixels;
    if (bitmap != NULL) {
        HGDIOBJ old = SelectObject(dc, bitmap);
        if (DrawIconEx(dc, 0, 0, icon, size, size, 0, NULL, DI_NORMAL)) {
            GdiFlush();
            const DWORD* begin = static_cast<const DWORD*>(bits);
            pixels.assign(begin, begin + size * size);
        }
        SelectObject(dc, old);
        DeleteObject(bitmap);
    }
    DeleteDC(dc);
    return pixels;
}

namespace {

bool sameIcon(HWND box, LPCWSTR which) {
    std::vector<DWORD> expected = iconPixels(LoadIconW(NULL, which));
    for (HWND child = GetWindow(box, GW_CHILD); child != NULL;
         child = GetWindow(child, GW_HWNDNEXT)) {
        HICON shown = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
        if (shown == NULL) continue;
        std::vector<DWORD> pixels = iconPixels(shown);
        if (!pixels.empty() && pixels == expected) return true;
    }
    return false;
}

int chooseAnswer(const SeenBox& box, std::deque<int>& answers) {
    if (!answers.empty()) {
        int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return box.hasOk ? IDOK : IDNO;
}

void press(HWND box, int button) {
    HWND control = GetDlgItem(box, button);
    if (control != NULL) PostMessageW(control, BM_CLICK, 0, 0);
}

bool isDialogClass(HWND window) {
    wchar_t className[64];
    return GetClassNameW(window, className, 64) > 0 && wcscmp(className, L"#32770") == 0;
}

}  // namespace

std::string toUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                     NULL, 0, NULL, NULL);
    std::string result(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0],
                        length, NULL, NULL);
    return result;
}

std::string windowText(HWND window) { return toUtf8(windowTextW(window)); }

SeenBox readBox(HWND box) {
    SeenBox seen;
    seen.title = toUtf8(windowTextW(box));
    HWND text = GetDlgItem(box, 0xFFFF);
    if (text != NULL) seen.text = toUtf8(windowTextW(text));
    seen.owner = GetWindow(box, GW_OWNER);
    seen.hasOk = GetDlgItem(box, IDOK) != NULL;
    seen.hasYes = GetDlgItem(box, IDYES) != NULL;
    seen.hasNo = GetDlgItem(box, IDNO) != NULL;
    seen.hasCancel = GetDlgItem(box, IDCANCEL) != NULL;
    for (HWND child = GetWindow(box, GW_CHILD); child != NULL;
         child = GetWindow(child, GW_HWNDNEXT))
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) seen.hasIcon = true;
    seen.errorIcon = sameIcon(box, MAKEINTRESOURCEW(32513));     // IDI_HAND
    seen.questionIcon = sameIcon(box, MAKEINTRESOURCEW(32514));  // IDI_QUESTION
    return seen;
}

BoxRecorder::BoxRecorder(std::deque<int> answers) : answers_(std::move(answers)) {
    activeRecorder = this;
    hook_ = SetWindowsHookExW(WH_CBT, &BoxRecorder::hook, NULL, GetCurrentThreadId());
}

BoxRecorder::~BoxRecorder() {
    if (hook_ != NULL) UnhookWindowsHookEx(hook_);
    activeRecorder = nullptr;
}

LRESULT CALLBACK BoxRecorder::hook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && activeRecorder != nullptr) {
        HWND window = reinterpret_cast<HWND>(wParam);
        // Only message boxes: they carry the static text control 0xFFFF.
        if (isDialogClass(window) && GetDlgItem(window, 0xFFFF) != NULL) {
            static std::set<HWND> answered;
            if (answered.insert(window).second) {
                SeenBox seen = readBox(window);
                activeRecorder->boxes_.push_back(seen);
                if (activeRecorder->onBox) activeRecorder->onBox(window, seen);
                press(window, chooseAnswer(seen, activeRecorder->answers_));
            }
        }
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

namespace {

struct ProcessWindows {
    DWORD processId;
    std::vector<HWND> boxes;
    std::vector<HWND> dialogs;
    std::vector<HWND> visible;
};

BOOL CALLBACK collectBoxes(HWND window, LPARAM context) {
    ProcessWindows* found = reinterpret_cast<ProcessWindows*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != found->processId || !IsWindowVisible(window)) return TRUE;
    found->visible.push_back(window);
    if (isDialogClass(window)) {
        if (GetDlgItem(window, 0xFFFF) != NULL)
            found->boxes.push_back(window);
        else
            found->dialogs.push_back(window);
    }
    return TRUE;
}

}  // namespace

ProgramRun runProgram(const std::string& commandLine, const std::string& workingFolder,
                      std::deque<int> answers, DWORD timeoutMs) {
    RunOptions options;
    options.answers = std::move(answers);
    options.timeoutMs = timeoutMs;
    return runProgram(commandLine, workingFolder, std::move(options));
}

ProgramRun runProgram(const std::string& commandLine, const std::string& workingFolder,
                      RunOptions options) {
    std::deque<int>& answers = options.answers;
    DWORD timeoutMs = options.timeoutMs;
    ProgramRun run;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string line = commandLine;
    if (!CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL,
                        workingFolder.empty() ? NULL : workingFolder.c_str(), &startup,
                        &process))
        return run;
    run.started = true;
    CloseHandle(process.hThread);

    std::set<HWND> answered, seen, handled;
    DWORD waited = 0;
    while (waited < timeoutMs) {
        if (WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0) {
            run.finished = true;
            break;
        }
        waited += 20;
        ProcessWindows found = {process.dwProcessId, {}, {}, {}};
        EnumWindows(collectBoxes, reinterpret_cast<LPARAM>(&found));
        for (HWND window : found.visible) {
            if (!seen.insert(window).second) continue;
            wchar_t className[128] = L"";
            GetClassNameW(window, className, 128);
            run.windows.push_back(toUtf8(className) + "|" + toUtf8(windowTextW(window)));
        }
        for (HWND box : found.boxes) {
            if (!answered.insert(box).second) continue;
            SeenBox seen = readBox(box);
            run.boxes.push_back(seen);
            int answer = IDYES;
            if (!answers.empty()) {
                answer = answers.front();
                answers.pop_front();
            } else if (seen.hasOk) {
                answer = IDOK;
            }
            press(box, answer);
        }
        for (HWND dialog : found.dialogs) {
            if (!handled.insert(dialog).second) continue;
            if (options.onDialog)
                options.onDialog(dialog);
            else
                press(dialog, 3);  // "Anuluj instalację"; the question gets Yes
        }
    }
    if (!run.finished) TerminateProcess(process.hProcess, 1);
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hProcess);
    return run;
}
