// WinTrust and CryptoAPI, loaded at run time.
#ifndef VARNEL_INSTALL_WINTRUST_H
#define VARNEL_INSTALL_WINTRUST_H

#include <windows.h>

#include <wincrypt.h>
#include <wintrust.h>

// The functions the signature check calls. Neither wintrust.dll nor
// crypt32.dll is one of the system's known DLLs: imported, each would be
// looked for beside the program (a downloads folder) before its first line
// runs, inside the elevated copy. Both are loaded by their full path in the
// system folder for the first check and stay for the rest of the run.
struct WinTrustFunctions {
    decltype(&::WinVerifyTrust) WinVerifyTrust;
    decltype(&::WTHelperProvDataFromStateData) WTHelperProvDataFromStateData;
    decltype(&::WTHelperGetProvSignerFromChain) WTHelperGetProvSignerFromChain;
    decltype(&::CertGetNameStringW) CertGetNameStringW;
};

extern WinTrustFunctions winTrust;

// 1 when every function above is at hand (found now or before), 0 when a
// library cannot be loaded or lacks one of them; then nothing is set.
int loadWinTrust();

#endif
