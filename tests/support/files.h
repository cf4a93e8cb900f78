// Real files and folders under the test Windows.
#ifndef VARNEL_TESTS_SUPPORT_FILES_H
#define VARNEL_TESTS_SUPPORT_FILES_H

#include <string>

// The temporary folder as the program sees it (ends with a backslash).
std::string tempFolder();
// The folder of the running test program (ends with a backslash); the real
// varnel_setup.exe and the stand-ins lie there too.
std::string programFolder();
std::string currentFolder();

void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
bool pathExists(const std::string& path);
bool isFolder(const std::string& path);
void makeFolders(const std::string& path);
// Removes a tree left by a test, read-only files included.
void removeTree(const std::string& path);
// Names in a folder (no "." or ".."), sorted.
std::string listFolder(const std::string& path);

// Runs a Linux command (through /bin/sh) from inside Wine and waits for it.
int runUnixCommand(const std::string& command);
// The Linux path of a Windows path (C:\... in the prefix).
std::string unixPath(const std::string& windowsPath);

#endif
