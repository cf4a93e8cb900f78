// The hand-off to the product's own installer program.
#ifndef VARNEL_INSTALL_HANDOFF_H
#define VARNEL_INSTALL_HANDOFF_H

// Starts the installer program from the start work folder with the mode
// letter, the start folder and, in an update, the forwarded words, then ends
// the dialog. 1 when the process was created.
int startInstaller();

#endif
