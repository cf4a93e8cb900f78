// The checked file copy of the local set and of the shared libraries.
#ifndef VARNEL_INSTALL_COPY_H
#define VARNEL_INSTALL_COPY_H

#include <windows.h>

// Paths of a folder field and a file name together: room for both whole.
typedef char JoinedPath[2 * 260];

// Copies source over destination unless the overwrite rule keeps the
// destination; 1 on success or a kept destination, 0 after its message.
// The copy is written beside the destination and moved over it in one step,
// so a failure leaves the old file whole; a read-only, hidden or system
// destination is replaced all the same, and the copy carries none of them.
// The source is opened once, links followed, and the copy is read from that
// handle.
int copyComponentFile(const char* source, const char* destination);

// The same for a source the caller holds open (and has checked): `held` is
// the handle to read, INVALID_HANDLE_VALUE when the source could not be
// opened; `source` names it in the messages and for the overwrite rule.
int copyHeldFile(HANDLE held, const char* source, const char* destination);

// 1 when a copy may go ahead: the source exists, and the destination is
// absent, cut short, or a kind of file that is always replaced.
int mayOverwrite(const char* source, const char* destination);

#endif
