// The sizes and the download of the files of an internet installation.
#ifndef VARNEL_DOWNLOAD_DOWNLOAD_SET_H
#define VARNEL_DOWNLOAD_DOWNLOAD_SET_H

// Reads the Content-Length of the system cabinet and of the a-cabinet, adds
// them into remoteTotalBytes and shows the total in megabytes. 1 when both
// were read; 0 after a reported failure.
int queryRemoteSizes();

// Downloads the setup program, the system cabinet and the a-cabinet, in this
// order, into downloadFolder, and closes the progress row. 1 when all three
// arrived; 0 at the first failed transfer (the rest are not fetched).
int downloadSet();

#endif
