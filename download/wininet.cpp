#include "download/wininet.h"

#include "folders/system_library.h"

WinInetFunctions winInet;

int loadWinInet() {
    // Called on the program's own thread before any helper starts, and set
    // whole or not at all.
    if (winInet.InternetCloseHandle != NULL) return 1;
    HMODULE library = loadSystemLibrary("wininet.dll");
    if (library == NULL) return 0;
    WinInetFunctions found;
    if (!findFunction(library, "InternetOpenA", found.InternetOpenA) ||
        !findFunction(library, "InternetOpenUrlA", found.InternetOpenUrlA) ||
        !findFunction(library, "HttpQueryInfoA", found.HttpQueryInfoA) ||
        !findFunction(library, "InternetQueryDataAvailable", found.InternetQueryDataAvailable) ||
        !findFunction(library, "InternetReadFile", found.InternetReadFile) ||
        !findFunction(library, "InternetCloseHandle", found.InternetCloseHandle) ||
        !findFunction(library, "InternetQueryOptionA", found.InternetQueryOptionA)) {
        FreeLibrary(library);
        return 0;
    }
    winInet = found;
    return 1;
}
