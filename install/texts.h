// Texts of the local copy, the install pipeline, the shared libraries and the
// hand-off to the installer program.
#ifndef VARNEL_INSTALL_TEXTS_H
#define VARNEL_INSTALL_TEXTS_H

inline constexpr char kCopyingFiles[] = "Kopiowanie plików ...";
inline constexpr char kMissingFile[] = "Brak jest pliku ";
inline constexpr char kCannotCopy[] = "Nie można skopiować pliku \nz ";
inline constexpr char kCopyTarget[] = "\n na ";

// A single carriage return between the two sentences, as the product's other
// programs show it.
inline constexpr char kUpdateLibrariesFailed[] =
    "Nie można wykonać aktualizacji bibliotek DLL i OCX\rAktualizacja nie powiodła się.";
inline constexpr char kInstallLibrariesFailed[] =
    "Nie można wykonać instalacji bibliotek DLL i OCX\rInstalacja nie powiodła się.";

inline constexpr char kMissingInstaller[] = "Brak jest pliku instalatora ";
inline constexpr char kCannotStart[] = "Nie można uruchomić programu ";
inline constexpr char kClientWord[] = "*klient*";

inline constexpr char kRegistrationTool[] = "regsvr32.exe";

// A file refused because of its signature: the first line names it, the
// second says what is wrong.
inline constexpr char kCannotUseFile[] = "Nie można użyć pliku ";
inline constexpr char kNoSignature[] = "\nPlik nie ma podpisu cyfrowego.";
inline constexpr char kChangedAfterSigning[] = "\nPlik został zmieniony po podpisaniu.";
inline constexpr char kOtherPublisher[] = "\nPlik podpisał inny wydawca niż ";
inline constexpr char kUntrustedRoot[] =
    "\nCertyfikat podpisu nie pochodzi od zaufanego urzędu certyfikacji.";
inline constexpr char kSignatureUnchecked[] = "\nNie można sprawdzić podpisu cyfrowego pliku.";

// Appended, after the process id, to a destination's name for the copy made
// beside it, and for an old copy in use moved aside.
inline constexpr char kInterimSuffix[] = ".varnel_nowy";
inline constexpr char kAsideSuffix[] = ".varnel_stary";

#endif
