#include "session/text.h"

#include <string.h>
#include <windows.h>

bool appendTextPart(char* target, size_t capacity, const char* source, size_t count) {
    size_t used = strlen(target);
    if (used >= capacity || count >= capacity - used) return false;
    memcpy(target + used, source, count);
    target[used + count] = '\0';
    return true;
}

bool appendText(char* target, size_t capacity, const char* source) {
    return appendTextPart(target, capacity, source, strlen(source));
}

bool copyText(char* target, size_t capacity, const char* source) {
    size_t length = strlen(source);
    if (length >= capacity) return false;
    memmove(target, source, length + 1);
    return true;
}

bool appendNumber(char* target, size_t capacity, int number) {
    char digits[16];
    wsprintfA(digits, "%d", number);
    return appendText(target, capacity, digits);
}

bool appendWideText(wchar_t* target, size_t capacity, const char* source, unsigned codePage) {
    size_t used = static_cast<size_t>(lstrlenW(target));
    if (used >= capacity) return false;
    if (*source == '\0') return true;
    // The count includes the terminating zero.
    int count = MultiByteToWideChar(codePage, 0, source, -1, NULL, 0);
    if (count <= 0 || static_cast<size_t>(count) > capacity - used) return false;
    MultiByteToWideChar(codePage, 0, source, -1, target + used, count);
    return true;
}
