// Texts of the start-up gate and of the session driver.
#ifndef VARNEL_STARTUP_TEXTS_H
#define VARNEL_STARTUP_TEXTS_H

inline constexpr char kVersionText[] = "3.xx";
inline constexpr char kVersionTag[] = "3_xx";

inline constexpr char kBypassLong[] = "WYM";
inline constexpr char kBypassShort[] = "W";

inline constexpr char kNoWindowsInfo[] =
    "Instalator nie może uzyskać informacji o systemie Windows.  ";
inline constexpr char kErrorNumber[] = "Wystąpił błąd numer : ";
inline constexpr char kSetupImpossible[] =
    "\nWykonanie Instalacji / Aktualizacji jest niemożliwe.";
inline constexpr char kContactMaker[] = "\nSkontaktuj się z PI Varnel.";
inline constexpr char kNoUserInfo[] =
    "Instalator nie może uzyskać informacji o Uzytkowniku oraz uruchomionym procesie.  ";

inline constexpr char kProbeKey[] = "Software\\Varnel_19620528";
inline constexpr char kProbeKeyLeftOver[] = "Jest klucz - kasuję";

// The server-unreachable message; its three host texts go between the pieces.
inline constexpr char kServersUnreachable[] =
    "Instalator nie może połaczyć się z serwerami PI Varnel :";
inline constexpr char kHostSeparator[] = " , ";
inline constexpr char kCheckConnection[] =
    "\nSprawdź połączenie z internetem. Jeżeli masz dostęp do internetu, to skontaktuj się z PI "
    "Varnel";
inline constexpr char kLocalModeOnly[] =
    "\nUWAGA - bez połącznia z internetem istalację można wykoanć jedynie w trybie lokalnym.";

#endif
