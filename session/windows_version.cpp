#include "session/windows_version.h"

BOOL(WINAPI* queryWindowsVersion)(LPOSVERSIONINFOA) = GetVersionExA;
