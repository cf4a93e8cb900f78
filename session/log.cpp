#include "session/log.h"

#include <windows.h>

#include <stdarg.h>

#include "session/text.h"

namespace {

const int kLineMax = 1000;

HANDLE logFile = INVALID_HANDLE_VALUE;

// The time stamp, the label and the text, cut to the line's room. Labels
// are the program's own texts.
void writeLine(const char* label, const WCHAR* text) {
    if (logFile == INVALID_HANDLE_VALUE) return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    WCHAR line[kLineMax + 32];
    int used = wsprintfW(line, L"%04u-%02u-%02u %02u:%02u:%02u.%03u ", now.wYear, now.wMonth,
                         now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    WCHAR wideLabel[128] = L"";
    appendWideText(wideLabel, label, kProgramCodePage);
    const WCHAR* parts[2] = {wideLabel, text};
    for (const WCHAR* part : parts) {
        for (; *part != L'\0' && used < kLineMax; ++part) {
            if (*part == L'\r') continue;
            if (*part == L'\n') {
                if (used + 3 > kLineMax) break;
                line[used++] = L' ';
                line[used++] = L'/';
                line[used++] = L' ';
                continue;
            }
            line[used++] = *part;
        }
    }
    char utf8[3 * (kLineMax + 32) + 2];
    int bytes = WideCharToMultiByte(CP_UTF8, 0, line, used, utf8, sizeof utf8 - 2, NULL, NULL);
    utf8[bytes++] = '\r';
    utf8[bytes++] = '\n';
    DWORD written = 0;
    WriteFile(logFile, utf8, static_cast<DWORD>(bytes), &written, NULL);
}

}  // namespace

void openRunLog(bool continued) {
    char folder[MAX_PATH];
    DWORD length = GetTempPathA(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH) return;
    char path[MAX_PATH], old[MAX_PATH];
    if (!joinText(path, folder, kLogName) || !joinText(old, folder, kOldLogName)) return;
    // Files only: a folder under either name is nobody's log.
    DWORD attributes = GetFileAttributesA(path);
    // The copy that relaunched has rotated already: a second turn would
    // throw away the previous run's log and keep only that copy's lines.
    if (!continued && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        DeleteFileA(old);
        MoveFileA(path, old);
    }
    // Appending only: every line goes to the end as it is written, so the
    // lines of the copy before a relaunch (which writes its last ones after
    // the copy's) or of any other writer are never overwritten. A log that
    // could not be moved aside is written on, not emptied.
    logFile = CreateFileA(path, FILE_APPEND_DATA,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
}

void closeRunLog() {
    if (logFile == INVALID_HANDLE_VALUE) return;
    CloseHandle(logFile);
    logFile = INVALID_HANDLE_VALUE;
}

void logText(const char* label, const char* text) {
    // Only what the line can hold is converted: a command line may be long.
    int length = lstrlenA(text);
    if (length > kLineMax) length = kLineMax;
    WCHAR wide[kLineMax + 1];
    int count = length == 0 ? 0 : MultiByteToWideChar(CP_ACP, 0, text, length, wide, kLineMax);
    wide[count] = L'\0';
    writeLine(label, wide);
}

void logShownText(const char* label, const WCHAR* text) { writeLine(label, text); }

void logEvent(const char* format, ...) {
    if (logFile == INVALID_HANDLE_VALUE) return;
    // wvsprintfA writes at most 1024 characters; its arguments stay below.
    char text[1025];
    va_list arguments;
    va_start(arguments, format);
    wvsprintfA(text, format, arguments);
    va_end(arguments);
    logText("", text);
}
