#include "install/version_probe.h"

#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "folders/system_library.h"
#include "install/copy.h"
#include "install/shared_libraries.h"
#include "install/whole_file.h"
#include "session/session.h"
#include "session/text.h"

namespace {

const char kRequiredMajor[] = "1.40";
const char kRequiredMinor[] = "0510";

// The maker's libraries export these under names that carry a leading
// underscore, but their contract names no calling convention: the function
// may be cdecl (the caller pops the argument) or stdcall (the callee does).
typedef int(__cdecl* VersionFunction)(char* versionText);

// The libraries write at most nine characters and a terminator into ten
// bytes. They get more room than that, so a longer text cannot overrun our
// memory; such a text fails the check instead.
const size_t kVersionRoom = 64;

// On 32-bit x86 a cdecl call of a stdcall function, or the reverse, leaves
// the stack pointer four bytes off and the caller's frame broken. The stack
// pointer is therefore kept in a register that both conventions preserve
// and put back after the call, which is right whoever popped the argument.
// Elsewhere there is one convention.
int callVersionFunction(VersionFunction function, char* versionText) {
#if defined(__GNUC__) && defined(__i386__)
    int result;
    __asm__ __volatile__(
        "movl %%esp, %%esi\n\t"
        "pushl %[text]\n\t"
        "call *%[function]\n\t"
        "movl %%esi, %%esp"
        : "=a"(result)
        : [function] "r"(function), [text] "r"(versionText)
        : "ecx", "edx", "esi", "memory", "cc");
    return result;
#elif defined(_MSC_VER) && defined(_M_IX86)
    int result;
    __asm {
        mov esi, esp
        push versionText
        call function
        mov esp, esi
        mov result, eax
    }
    return result;
#else
    return function(versionText);
#endif
}

}  // namespace

int versionNumber(const char* text) {
    char digits[10];
    size_t used = 0;
    for (; *text != '\0'; ++text) {
        if (*text == '.') continue;
        if (used == sizeof digits - 1) return 0;
        digits[used++] = *text;
    }
    digits[used] = '\0';
    return atoi(digits);
}

int checkLibrary(const char* fileName, const char* versionFunction) {
    char required[16];
    joinText(required, kRequiredMajor, kRequiredMinor);
    int requiredNumber = versionNumber(required);

    char version[kVersionRoom];
    memset(version, 0, sizeof version);
    memset(version, ' ', 9);

    JoinedPath path;
    // A cut file is as good as none: the libraries step then replaces it.
    bool present = joinText(path, session.systemFolder, fileName) && wholeFileExists(path);
    if (versionFunction == NULL) return present ? 1 : 0;
    if (!present) return 0;

    // From where the file was just found, never by bare name.
    HMODULE library = loadLibraryAt(path);
    if (library == NULL) return 0;
    int result = requiredNumber;
    VersionFunction reportVersion = reinterpret_cast<VersionFunction>(
        reinterpret_cast<void*>(GetProcAddress(library, versionFunction)));
    if (reportVersion != NULL) result = callVersionFunction(reportVersion, version);
    FreeLibrary(library);

    if (result == 0) return 0;
    // A text that filled all the room has no terminator of its own.
    if (memchr(version, '\0', sizeof version) == NULL) return 0;
    return versionNumber(version) >= requiredNumber ? 1 : 0;
}

int probeSharedLibraries() {
    for (const SharedLibrary& library : sharedLibraryTable)
        if (!checkLibrary(library.fileName, library.versionFunction)) return 0;
    return 1;
}
