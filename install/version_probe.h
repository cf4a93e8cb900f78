// Whether the shared libraries of the system folder are complete and current.
#ifndef VARNEL_INSTALL_VERSION_PROBE_H
#define VARNEL_INSTALL_VERSION_PROBE_H

// 1 when every entry of the library table passes; 0 at the first that fails.
int probeSharedLibraries();

// 1 when the library exists in the system folder and, where a version
// function is named, reports at least the required version.
int checkLibrary(const char* fileName, const char* versionFunction);

// The number read (as atoi reads it) from the text with every '.' removed;
// 0 for a text of more than nine characters besides its dots.
int versionNumber(const char* text);

#endif
