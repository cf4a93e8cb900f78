// The HTTP transfer of one file, with the progress of the whole set.
#ifndef VARNEL_DOWNLOAD_TRANSFER_H
#define VARNEL_DOWNLOAD_TRANSFER_H

#include <windows.h>

// Bytes asked of the server per read, and the size of the buffer they land in.
const DWORD kTransferBlock = 4000;
// A body that breaks off (a failed read, or fewer bytes than announced) is
// asked for again from where it stopped, this many times per file, after
// this pause each time.
const int kMaxRetries = 3;
const int kRetryPauseMs = 1000;
// Retries share the file's silence: they are made, and waited for, only
// until the silence limit and this much more have passed since the last
// byte arrived, so that a dead line is reported soon after the limit.
const DWORD kRetryWindowMs = 3000;

// Fetches the address into the local file (replaced when it exists), writing
// the status line and the percentage of the set as it goes. 1 when the whole
// body is in the file, as far as its answer tells: one without a length ends
// where it ends, unless a measured length is given, which a successful answer
// must then bring. 0 after a failure, which has been reported.
int downloadFile(const char* address, const char* localPath, const char* displayName,
                 const DWORD* measuredLength = NULL);

// The error box with a fixed text followed directly by the address, path or
// name concerned.
void showFailure(const char* text, const char* subject);

#endif
