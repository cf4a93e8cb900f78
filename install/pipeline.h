// From the set of cabinets to the started installer.
#ifndef VARNEL_INSTALL_PIPELINE_H
#define VARNEL_INSTALL_PIPELINE_H

// Copies the three cabinets and the setup program from the start folder into
// the download folder, then runs the pipeline. 1 on success.
int copyLocalFiles();

// Unpacks the system cabinet and the a-cabinet, brings the shared libraries
// up to date when asked, and starts the installer. 1 when it was started.
int runInstallPipeline();

#endif
