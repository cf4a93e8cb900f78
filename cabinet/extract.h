// Unpacking the product's cabinets with the system's cabinet library (FDI).
#ifndef VARNEL_CABINET_EXTRACT_H
#define VARNEL_CABINET_EXTRACT_H

#include <windows.h>

#include <fdi.h>

// Unpacks session.downloadFolder + cabinetName, and the cabinets that it
// continues in, into destinationFolder (ends with a backslash). 1 when every
// cabinet of the set was extracted whole. Only a missing cabinet and a file
// that is no cabinet are reported to the user; every other failure is silent.
int extractCabinet(const char* cabinetName, const char* destinationFolder);

// Nonzero when FDI recognises the file as a cabinet; 0 when it does not or
// the check cannot be made. Leaves nothing loaded.
int isCabinetFile(const char* path);

// The notification handler extractCabinet gives FDICopy.
FNFDINOTIFY(extractionNotify);

#endif
