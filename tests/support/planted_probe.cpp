// A library planted beside the program: loading it by bare name must fail
// once the DLL search is restricted to the system folder. Copies of it lie
// beside the program under the names of system libraries the program uses;
// every load is recorded in planted_loads.log beside it, with the program
// that loaded it.
#include <windows.h>

#include <string.h>

#include "tools/fixtures/append_line.h"

extern "C" __declspec(dllexport) int plantedProbe() { return 1; }

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char log[MAX_PATH], line[2 * MAX_PATH + 2];
    DWORD length = GetModuleFileNameA(instance, log, MAX_PATH);
    char* slash = strrchr(log, '\\');
    if (length == 0 || length >= MAX_PATH - 20 || slash == NULL) return TRUE;
    strcpy(slash + 1, "planted_loads.log");
    length = GetModuleFileNameA(instance, line, MAX_PATH);
    line[length++] = '|';
    length += GetModuleFileNameA(NULL, line + length, MAX_PATH);
    strcpy(line + length, "\n");
    appendLine(log, line);
    return TRUE;
}
