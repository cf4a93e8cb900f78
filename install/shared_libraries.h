// The fourteen shared DLL and OCX files of the system folder.
#ifndef VARNEL_INSTALL_SHARED_LIBRARIES_H
#define VARNEL_INSTALL_SHARED_LIBRARIES_H

enum InstallRule {
    ruleCopyIfMissing = 1,            // R1: copied only when absent
    ruleCopyIfMissingUnsettled = 2,   // R2: as R1; registered only after a failed copy
    ruleCopyAndRegister = 3,          // R3: copied when absent, then registered
    ruleSameMinute = 4,               // R4: replaced unless the times agree to the minute
};

struct SharedLibrary {
    const char* fileName;
    InstallRule rule;
    const char* versionFunction;  // the maker's two libraries only
};

extern const SharedLibrary sharedLibraryTable[14];

// Copies and registers what each entry's rule asks for; 1 when all fourteen
// entries were handled, 0 at the first that failed.
int installSharedLibraries();

// 1 when both files exist and their last-write times (UTC) agree in year,
// month, day, hour and minute.
int sameWriteMinute(const char* first, const char* second);

// Launches "regsvr32.exe /s" for an existing file of the system folder
// without waiting for it; 0 when the file does not exist.
int registerComponent(const char* path);

#endif
