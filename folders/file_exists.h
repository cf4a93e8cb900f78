// The file-existence test that every step uses.
#ifndef VARNEL_FOLDERS_FILE_EXISTS_H
#define VARNEL_FOLDERS_FILE_EXISTS_H

// A directory search on the exact path: '?' and '*' in it act as wildcards,
// which the installer hand-off relies on for its encoded folder names.
bool fileExists(const char* path);

#endif
