// Libraries loaded at run time, each by its full path in the system folder.
#ifndef VARNEL_FOLDERS_SYSTEM_LIBRARY_H
#define VARNEL_FOLDERS_SYSTEM_LIBRARY_H

#include <windows.h>

// The program runs elevated, started from wherever a browser saved it: a
// library named without its folder could come from beside the program or
// from the current folder, and a library that is not one of the system's
// known DLLs is looked for there first. So nothing is loaded by bare name.
//
// `fileName` from the folder Windows reports as its system folder (under
// WOW64 the 32-bit one, to which the system redirects it). NULL when it
// cannot be loaded or its path does not fit.
HMODULE loadSystemLibrary(const char* fileName);
// The library at the full path `path`. The libraries it imports in turn are
// looked for in its own folder before any other, never beside the program.
HMODULE loadLibraryAt(const char* path);

// The address of the function `name` in `library`; NULL, and a log line,
// when the library lacks it.
void* findLibraryFunction(HMODULE library, const char* name);
// The same into a function pointer of the function's own type.
template <typename Function>
bool findFunction(HMODULE library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(findLibraryFunction(library, name));
    return function != NULL;
}

#endif
