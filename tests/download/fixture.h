// What the download tests share: the session of a Tabrix Kalk installation,
// a window standing in for the dialog's progress row, and the moment a
// message box appears.
#ifndef VARNEL_TESTS_DOWNLOAD_FIXTURE_H
#define VARNEL_TESTS_DOWNLOAD_FIXTURE_H

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// The session as the driver leaves it for update server `serverIndex`, with
// the silence limit restored after every test.
class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    static void prepareSession(int serverIndex);
    // Waits until no more helper threads run than at the start of the test
    // (left-behind calls end when their server goes away); false if they
    // are still there after `timeoutMs`.
    bool helpersBackToStart(DWORD timeoutMs) const;

    LONG helpersAtStart_ = 0;
};

// A real top-level window with the four static controls of the dialog's
// progress row, hidden and with their template texts, as dialog 131 opens.
// It becomes session.dialogWindow. The controls record the texts they are
// given (WM_SETTEXT, as UTF-8) and the window its repaints, in one sequence.
// Wine's static controls draw a new text at once, where Windows only marks
// them for the next paint; the controls here mark the window instead, so
// that only an explicit repaint (UpdateWindow) paints it before the test's
// own message loop would.
class ProgressWindow {
public:
    struct Event {
        int control;       // 0 for a repaint of the window
        bool paint;        // a repaint, else a new text
        std::string text;  // the new text
    };

    ProgressWindow();
    ~ProgressWindow();
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    // What the dialog procedure does before the downloads (percent shown).
    void showPercent();
    std::vector<std::string> textsOf(int control) const;
    std::string textOf(int control) const;
    bool visible(int control) const;
    // Every new text was followed by a repaint of the window before the next
    // text arrived anywhere in the row, or before the step returned.
    bool everyTextRepainted(std::string* unpainted) const;
    void clearEvents() { events_.clear(); }
    const std::vector<Event>& events() const { return events_; }

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam,
                                       LPARAM lParam);
    static LRESULT CALLBACK controlProc(HWND window, UINT message, WPARAM wParam,
                                        LPARAM lParam);
    HWND window_;
    std::vector<Event> events_;
};

// Runs `check` while each message box of this thread is on the screen,
// before a BoxRecorder created earlier answers it.
class WhileBoxShown {
public:
    explicit WhileBoxShown(std::function<void()> check);
    ~WhileBoxShown();
    WhileBoxShown(const WhileBoxShown&) = delete;
    WhileBoxShown& operator=(const WhileBoxShown&) = delete;

private:
    static LRESULT CALLBACK hook(int code, WPARAM wParam, LPARAM lParam);
    HHOOK hook_;
    std::function<void()> check_;
};

// True while another handle holds the file open (an exclusive open fails
// with a sharing violation).
bool heldOpen(const std::string& path);

// Milliseconds since `start` (GetTickCount).
DWORD since(DWORD start);

#endif
