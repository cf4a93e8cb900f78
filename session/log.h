// The run's log, for the people who support the program's users: one line
// per event, with the local time to the millisecond, in %TEMP% (outside the
// working tree that the next run deletes). The previous run's log is kept
// beside it. A log that cannot be written never changes the run: every call
// then does nothing.
#ifndef VARNEL_SESSION_LOG_H
#define VARNEL_SESSION_LOG_H

inline constexpr char kLogName[] = "varnel_setup.log";
inline constexpr char kOldLogName[] = "varnel_setup.old.log";

// Keeps the last log as the old one and starts a new one; `continued` (a
// copy started by another's relaunch) writes on after that copy's lines.
void openRunLog(bool continued = false);
void closeRunLog();
// One event: the label, then the text, in UTF-8. The label is the program's
// own (Windows-1250), the text comes from the system (a path, a command
// line: the system's code page), so both read right on any Windows. Line
// breaks in the text become " / ", and a line is cut at 1000 characters: the
// log holds no more than the run produced.
void logText(const char* label, const char* text);
// The same for a text already in UTF-16, as the message boxes show it.
void logShownText(const char* label, const wchar_t* text);
// One event from a wsprintf format. Its arguments are numbers, names and
// paths or addresses of up to MAX_PATH characters, at most two of them,
// from the system like the text of logText.
void logEvent(const char* format, ...);

#endif
