// Bounded narrow texts.
//
// Every name, path, address and message of the program is built in storage of
// a fixed capacity. These helpers either write a piece whole or leave the
// target exactly as it was and answer false: a text is never cut short
// silently and never runs past its storage. Callers refuse what does not fit.
#ifndef VARNEL_SESSION_TEXT_H
#define VARNEL_SESSION_TEXT_H

#include <stddef.h>

// Replaces the target with the source.
bool copyText(char* target, size_t capacity, const char* source);
// Appends the source to the zero-terminated target.
bool appendText(char* target, size_t capacity, const char* source);
// Appends the first `count` characters of the source.
bool appendTextPart(char* target, size_t capacity, const char* source, size_t count);
// Appends a signed number formatted with "%d".
bool appendNumber(char* target, size_t capacity, int number);

template <size_t N>
inline bool copyText(char (&target)[N], const char* source) {
    return copyText(target, N, source);
}

template <size_t N>
inline bool appendText(char (&target)[N], const char* source) {
    return appendText(target, N, source);
}

template <size_t N>
inline bool appendTextPart(char (&target)[N], const char* source, size_t count) {
    return appendTextPart(target, N, source, count);
}

template <size_t N>
inline bool appendNumber(char (&target)[N], int number) {
    return appendNumber(target, N, number);
}

// The code page the program's own texts are compiled in. Texts that come
// from the system (paths, names, command lines) are in the system's ANSI code
// page instead, CP_ACP.
inline constexpr unsigned kProgramCodePage = 1250;

// Appends a narrow text, converted from the code page, to a zero-terminated
// UTF-16 target: for the wide functions that show texts whatever the
// system's code page.
bool appendWideText(wchar_t* target, size_t capacity, const char* source, unsigned codePage);

template <size_t N>
inline bool appendWideText(wchar_t (&target)[N], const char* source, unsigned codePage) {
    return appendWideText(target, N, source, codePage);
}

// Joins up to four pieces into the target (all or nothing).
template <size_t N>
inline bool joinText(char (&target)[N], const char* a, const char* b,
                     const char* c = "", const char* d = "") {
    char joined[N];
    joined[0] = '\0';
    if (!appendText(joined, a) || !appendText(joined, b) || !appendText(joined, c) ||
        !appendText(joined, d))
        return false;
    return copyText(target, joined);
}

#endif
