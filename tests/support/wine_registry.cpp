#include "tests/support/wine_registry.h"

#include <windows.h>

void setWindowsVersionFor(const std::string& exeName, const std::string& version) {
    std::string key = "Software\\Wine\\AppDefaults\\" + exeName;
    if (version.empty()) {
        RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
        return;
    }
    HKEY handle;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &handle,
                        NULL) != ERROR_SUCCESS)
        return;
    RegSetValueExA(handle, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                   static_cast<DWORD>(version.size() + 1));
    RegCloseKey(handle);
}

void searchLikeWindowsFor(const std::string& exeName, std::initializer_list<const char*> dlls) {
    std::string key = "Software\\Wine\\AppDefaults\\" + exeName + "\\DllOverrides";
    RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
    HKEY handle;
    if (dlls.size() == 0 || RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, NULL, 0,
                                            KEY_ALL_ACCESS, NULL, &handle, NULL) != ERROR_SUCCESS)
        return;
    for (const char* dll : dlls)
        RegSetValueExA(handle, dll, 0, REG_SZ, reinterpret_cast<const BYTE*>("native,builtin"),
                       sizeof "native,builtin");
    RegCloseKey(handle);
}

bool hklmKeyExists(const char* subKey) {
    HKEY handle;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

void createHklmKey(const char* subKey) {
    HKEY handle;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &handle,
                        NULL) == ERROR_SUCCESS)
        RegCloseKey(handle);
}

void deleteHklmKey(const char* subKey) { RegDeleteKeyA(HKEY_LOCAL_MACHINE, subKey); }
