// The product variants and everything derived from the variant letter.
#ifndef VARNEL_SESSION_VARIANTS_H
#define VARNEL_SESSION_VARIANTS_H

// The host texts of the three update servers, as written after the scheme;
// the third carries its port.
extern const char* const updateServerHosts[3];
// "http://" or "https://", as the build sets it (tests change it). With
// https the system checks each server's certificate as WinINet always
// does: one it does not trust makes the server unreachable, never a
// reason to fall back to plain HTTP.
extern const char* updateScheme;

// The host text of the server that `serverIndex` selects: 2 and 3 select
// those servers, every other value (0 included) selects server 1.
const char* selectedServerHost(int serverIndex);

// Fills the display name, the file names and the download addresses.
bool configureVariant();

#endif
