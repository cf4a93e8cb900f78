#include "folders/system_library.h"

#include "session/log.h"
#include "session/text.h"

HMODULE loadLibraryAt(const char* path) {
    HMODULE library = LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (library == NULL) logEvent("library %s not loaded, error %lu", path, GetLastError());
    return library;
}

HMODULE loadSystemLibrary(const char* fileName) {
    char folder[MAX_PATH];
    UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    char path[MAX_PATH];
    if (length == 0 || length >= MAX_PATH || !joinText(path, folder, "\\", fileName)) {
        logText("library not loaded, no system folder for ", fileName);
        return NULL;
    }
    return loadLibraryAt(path);
}

void* findLibraryFunction(HMODULE library, const char* name) {
    void* function = reinterpret_cast<void*>(GetProcAddress(library, name));
    if (function == NULL) logText("a system library lacks ", name);
    return function;
}
