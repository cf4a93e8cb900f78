#include "install/wintrust.h"

#include "folders/system_library.h"
#include "session/log.h"

WinTrustFunctions winTrust;

namespace {

template <typename Function>
bool find(HMODULE library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    if (function == NULL) logText("signature check: a system library lacks ", name);
    return function != NULL;
}

}  // namespace

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
    if (!find(wintrust, "WinVerifyTrust", found.WinVerifyTrust) ||
        !find(wintrust, "WTHelperProvDataFromStateData", found.WTHelperProvDataFromStateData) ||
        !find(wintrust, "WTHelperGetProvSignerFromChain", found.WTHelperGetProvSignerFromChain) ||
        !find(crypt32, "CertGetNameStringW", found.CertGetNameStringW)) {
        FreeLibrary(wintrust);
        FreeLibrary(crypt32);
        return 0;
    }
    winTrust = found;
    return 1;
}
