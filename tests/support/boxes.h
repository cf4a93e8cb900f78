// Reading and answering the program's message boxes as a user sees them.
#ifndef VARNEL_TESTS_SUPPORT_BOXES_H
#define VARNEL_TESTS_SUPPORT_BOXES_H

#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

// One message box as it appeared on the screen. Texts are read back through
// the wide functions and held as UTF-8, so tests compare them with u8"...".
struct SeenBox {
    std::string title;
    std::string text;
    HWND owner = NULL;
    bool hasOk = false;
    bool hasYes = false;
    bool hasNo = false;
    bool hasCancel = false;
    bool hasIcon = false;
    // Which icon can only be told for boxes of the test's own process: Wine
    // keeps icon images per process.
    bool errorIcon = false;
    bool questionIcon = false;
};

// Answers the message boxes and dialogs that this thread opens while the
// recorder lives: each box gets the next queued button (IDOK when the queue
// is empty and the box has one, else IDNO).
class BoxRecorder {
public:
    explicit BoxRecorder(std::deque<int> answers = {});
    // Called for every box while it is open, before it is answered.
    std::function<void(HWND box, const SeenBox& seen)> onBox;
    ~BoxRecorder();
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;

    const std::vector<SeenBox>& boxes() const { return boxes_; }

private:
    static LRESULT CALLBACK hook(int code, WPARAM wParam, LPARAM lParam);
    HHOOK hook_;
    std::deque<int> answers_;
    std::vector<SeenBox> boxes_;
};

std::string toUtf8(const std::wstring& text);
std::string windowText(HWND window);
// The pixels of an icon drawn at 32x32 (icons of one process compared).
std::vector<DWORD> iconPixels(HICON icon);
// Reads a box's title, text, buttons, icon and owner.
SeenBox readBox(HWND box);

// The outcome of a program run to its end.
struct ProgramRun {
    bool started = false;
    bool finished = false;
    DWORD exitCode = 0;
    std::vector<SeenBox> boxes;
    // Every visible top-level window the process showed, as "class|title".
    std::vector<std::string> windows;
};

// How a started program's windows are answered.
struct RunOptions {
    // Buttons for its message boxes, in order; when none is queued a box is
    // answered with OK, or Yes when it has no OK.
    std::deque<int> answers;
    DWORD timeoutMs = 60000;
    // Called once for each other dialog it shows (the main dialog), from the
    // test's thread; when unset the dialog is cancelled (and the cancel
    // question answered Yes).
    std::function<void(HWND dialog)> onDialog;
};

// Starts a program (a full command line, its working folder), answers every
// message box its process shows, and waits for it to end.
ProgramRun runProgram(const std::string& commandLine, const std::string& workingFolder,
                      RunOptions options);
ProgramRun runProgram(const std::string& commandLine, const std::string& workingFolder,
                      std::deque<int> answers = {}, DWORD timeoutMs = 60000);


#endif
