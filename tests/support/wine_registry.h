// Settings of the test Windows kept in its registry.
#ifndef VARNEL_TESTS_SUPPORT_WINE_REGISTRY_H
#define VARNEL_TESTS_SUPPORT_WINE_REGISTRY_H

#include <string>

// Makes Wine report another Windows version ("winxp", "win2k", "vista", ...)
// to the programs of that file name; an empty version removes the setting.
void setWindowsVersionFor(const std::string& exeName, const std::string& version);

bool hklmKeyExists(const char* subKey);
void createHklmKey(const char* subKey);
void deleteHklmKey(const char* subKey);

#endif
