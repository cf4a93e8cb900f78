// The maker's signature on every file that runs as administrator.
//
// A build may name its trusted publisher (TRUSTED_PUBLISHER): then a shared
// library is copied into the system folder, and the installer program is
// started, only when it carries a valid Authenticode signature of exactly
// that publisher under a root the system trusts. Without the setting every
// file passes unchecked, as it always has, and the check is not even built
// in: install/publisher.cpp is compiled with the setting of the program it
// goes into.
#ifndef VARNEL_INSTALL_PUBLISHER_H
#define VARNEL_INSTALL_PUBLISHER_H

#include <windows.h>

// A checked file, held open from its check until it has been used: nobody
// can write to it, rename it or delete it in between (it lies in the user's
// temporary folder, within reach of every program the user runs).
struct HeldFile {
    HANDLE handle = INVALID_HANDLE_VALUE;
    HeldFile() = default;
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    ~HeldFile() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};

// Opens the file at `path` once, for its check and its use: shared for
// reading only, and never through a link. INVALID_HANDLE_VALUE when it
// cannot be opened so (GetLastError says why).
HANDLE openForUse(const char* path);

// Opens the file at `path` into `held` and checks the handle: 1 when the file
// may be used, and `held` then keeps it unchanged while the caller uses it
// (without a trusted publisher nothing is checked, and the handle is left
// invalid when the file cannot be opened: the use reports that); 0 after the
// box that names the file and what is wrong with its signature, a file that
// cannot be opened included.
int holdTrustedFile(const char* path, HeldFile* held);

#endif
