// Whether a library in the system folder is there whole.
#ifndef VARNEL_INSTALL_WHOLE_FILE_H
#define VARNEL_INSTALL_WHOLE_FILE_H

// True when a file matches the path and is not cut short: longer than one
// byte (too short to tell what it is), and,
// where it is a PE image, its headers and sections all lie within the file.
// A file that cannot be read is taken as whole, as it always was.
bool wholeFileExists(const char* path);

#endif
