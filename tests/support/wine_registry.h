// Settings of the test Windows kept in its registry.
#ifndef VARNEL_TESTS_SUPPORT_WINE_REGISTRY_H
#define VARNEL_TESTS_SUPPORT_WINE_REGISTRY_H

#include <initializer_list>
#include <string>

// Makes Wine report another Windows version ("winxp", "win2k", "vista", ...)
// to the programs of that file name; an empty version removes the setting.
void setWindowsVersionFor(const std::string& exeName, const std::string& version);

// Makes Wine look for these libraries (e.g. {"wininet", "cabinet"}) as
// Windows does, in the program's own folder first, for the programs of that
// file name (a variable in the environment would not reach a program that a
// test starts); an empty list removes the setting.
void searchLikeWindowsFor(const std::string& exeName, std::initializer_list<const char*> dlls);

bool hklmKeyExists(const char* subKey);
void createHklmKey(const char* subKey);
void deleteHklmKey(const char* subKey);

#endif
