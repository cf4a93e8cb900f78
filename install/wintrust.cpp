#include "install/wintrust.h"

#include "folders/system_library.h"

WinTrustFunctions winTrust;

int loadWinTrust() {
    if (winTrust.CertGetNameStringW != NULL) return 1;
    // crypt32.dll first: wintrust.dll needs it, and so it is already there,
    // from the system folder, when wintrust.dll is loaded.
    HMODULE crypt32 = loadSystemLibrary("crypt32.dll");
    if (crypt32 == NULL) return 0;
    HMODULE wintrust = loadSystemLibrary("wintrust.dll");
    if (wintrust == NULL) {
        FreeLibrary(crypt32);
        return 0;
    }
    WinTrustFunctions found;
    if (!findFunction(wintrust, "WinVerifyTrust", found.WinVerifyTrust) ||
        !findFunction(wintrust, "WTHelperProvDataFromStateData",
                      found.WTHelperProvDataFromStateData) ||
        !findFunction(wintrust, "WTHelperGetProvSignerFromChain",
                      found.WTHelperGetProvSignerFromChain) ||
        !findFunction(crypt32, "CertGetNameStringW", found.CertGetNameStringW)) {
        FreeLibrary(wintrust);
        FreeLibrary(crypt32);
        return 0;
    }
    winTrust = found;
    return 1;
}
