// The session as the entry and the first configuration leave it.
#ifndef VARNEL_TESTS_SUPPORT_SESSION_SETUP_H
#define VARNEL_TESTS_SUPPORT_SESSION_SETUP_H

// A fresh record for this build's variant L ("Tabrix Kalk", version 3.xx),
// with its names and addresses derived for update server 1.
void startConfiguredSession();

#endif
