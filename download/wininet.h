// WinINet, loaded at run time.
#ifndef VARNEL_DOWNLOAD_WININET_H
#define VARNEL_DOWNLOAD_WININET_H

#include <windows.h>

#include <wininet.h>

// The WinINet functions the program calls. wininet.dll is not one of the
// system's known DLLs: imported, it would be looked for beside the program
// (a downloads folder) before the program's first line could limit the
// search, and would run inside the elevated copy. It is loaded by its full
// path in the system folder for the first Internet session and stays for
// the rest of the run: helper threads left behind may still be inside it.
struct WinInetFunctions {
    decltype(&::InternetOpenA) InternetOpenA;
    decltype(&::InternetOpenUrlA) InternetOpenUrlA;
    decltype(&::HttpQueryInfoA) HttpQueryInfoA;
    decltype(&::InternetQueryDataAvailable) InternetQueryDataAvailable;
    decltype(&::InternetReadFile) InternetReadFile;
    decltype(&::InternetCloseHandle) InternetCloseHandle;
    decltype(&::InternetQueryOptionA) InternetQueryOptionA;
};

extern WinInetFunctions winInet;

// 1 when every function above is at hand (found now or before), 0 when the
// library cannot be loaded or lacks one of them; then nothing is set.
int loadWinInet();

#endif
