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

// 1 when the file at `path` may be used, and then `held` keeps it unchanged
// while the caller uses it; 0 after the box that names the file and what is
// wrong with its signature.
int holdTrustedFile(const char* path, HeldFile* held);

#endif
