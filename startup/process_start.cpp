// The process's first instruction, in GCC builds (CMakeLists.txt links with
// -nostartfiles; Visual Studio keeps its run time's own start-up).
//
// The start-up code of the mingw-w64 run time prepares what this program
// never uses: argument vectors, thread-local storage callbacks, the
// relocation of data imported without dllimport (the link forbids that
// import), a filter that turns processor exceptions into C signals, and the
// unwind tables of all that: some 10 KB of a program that every customer
// downloads. msvcrt.dll readies itself when it is loaded; what this program
// needs of a start-up is done here, before WinMain, as the run time did it.
#include <windows.h>
#include <stdlib.h>

extern "C" {
char** __cdecl __p__acmdln(void);
void __cdecl __set_app_type(int);
// The linker's list of static constructors: -1, the constructors, null.
extern void (*__CTOR_LIST__[])(void);

// What the run time's start-up code provided for a program: the functions
// that exit() calls, kept by msvcrt.dll (static destructors are registered so).
int __cdecl atexit(void(__cdecl* function)(void)) {
    return _onexit(reinterpret_cast<_onexit_t>(function)) != NULL ? 0 : -1;
}
}

// Windows enters with the stack aligned to 4 bytes only.
extern "C" __attribute__((force_align_arg_pointer, noreturn)) void WinMainCRTStartup() {
    __set_app_type(2);  // _GUI_APP: the run time reports its own errors in a box
#if defined(__i386__)
    // The x87 unit with a 64-bit mantissa, as the run time's start-up set it.
    __asm__ __volatile__("fninit");
#endif
    // Static constructors, should there ever be one, last to first as the
    // run time called them.
    int constructors = 0;
    while (__CTOR_LIST__[constructors + 1] != NULL) ++constructors;
    while (constructors > 0) __CTOR_LIST__[constructors--]();
    // The command line after the program's own path: the path ends at the
    // first blank outside quotes. It is the run time's writable copy, which
    // the start-up checks convert in place. Bytes compare unsigned, so that a
    // Polish letter in an unquoted path stays part of the path.
    unsigned char* line = reinterpret_cast<unsigned char*>(*__p__acmdln());
    bool quoted = false;
    for (; *line > ' ' || (*line != '\0' && quoted); ++line) {
        if (*line == '"') quoted = !quoted;
    }
    while (*line != '\0' && *line <= ' ') ++line;
    exit(WinMain(GetModuleHandleA(NULL), NULL, reinterpret_cast<char*>(line), SW_SHOWDEFAULT));
}
