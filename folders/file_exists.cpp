#include "folders/file_exists.h"

#include <windows.h>

bool fileExists(const char* path) {
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(path, &entry);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}
