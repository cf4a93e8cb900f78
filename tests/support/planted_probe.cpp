// A library planted beside the program: loading it by bare name must fail
// once the DLL search is restricted to the system folder.
#include <windows.h>

extern "C" __declspec(dllexport) int plantedProbe() { return 1; }
