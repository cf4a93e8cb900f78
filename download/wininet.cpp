#include "download/wininet.h"

#include "folders/system_library.h"
#include "session/log.h"

WinInetFunctions winInet;

namespace {

template <typename Function>
bool find(HMODULE library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    if (function == NULL) logText("wininet.dll lacks ", name);
    return function != NULL;
}

}  // namespace

int loadWinInet() {
    // Called on the program's own thread before any helper starts, and set
    // whole or not at all.
    if (winInet.InternetCloseHandle != NULL) return 1;
    HMODULE library = loadSystemLibrary("wininet.dll");
    if (library == NULL) return 0;
    WinInetFunctions found;
    if (!find(library, "InternetOpenA", found.InternetOpenA) ||
        !find(library, "InternetOpenUrlA", found.InternetOpenUrlA) ||
        !find(library, "HttpQueryInfoA", found.HttpQueryInfoA) ||
        !find(library, "InternetQueryDataAvailable", found.InternetQueryDataAvailable) ||
        !find(library, "InternetReadFile", found.InternetReadFile) ||
        !find(library, "InternetCloseHandle", found.InternetCloseHandle) ||
        !find(library, "InternetQueryOptionA", found.InternetQueryOptionA)) {
        FreeLibrary(library);
        return 0;
    }
    winInet = found;
    return 1;
}
