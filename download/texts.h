// Texts of the download steps: what the user reads and what the servers see.
#ifndef VARNEL_DOWNLOAD_TEXTS_H
#define VARNEL_DOWNLOAD_TEXTS_H

// Every request of the program names itself so; the update servers' logs
// have always shown this name.
inline constexpr char kInternetAgent[] = "Varnel";
// Asked of each update server in turn; any answer wins.
inline constexpr char kProbePath[] = "/programy/setup_sys.cab";

// Error boxes; each is followed directly by the address, path or name.
inline constexpr char kCannotConnect[] = "Nie można połączyć się z internetem";
inline constexpr char kCannotOpenRemote[] = "Nie można otworzyć pliku zdalnego ";
inline constexpr char kCannotCreateLocal[] = "Nie można utworzyć pliku lokalnego ";
inline constexpr char kCannotReadIntoBuffer[] = "Nie można pobrać do bufora z pliku ";
inline constexpr char kCannotWriteBuffer[] = "Nie można zapisać bufora do pliku ";
inline constexpr char kCannotReadRemoteSize[] = "Nie można pobrać rozmiaru pliku zdalnego ";

// The progress row.
inline constexpr char kFileStatusPrefix[] = "Plik : ";
inline constexpr char kQueryingFiles[] = "Pobieranie informacji o plikach ...";
inline constexpr char kClosingConnection[] = "Zamykanie połączenia";
inline constexpr char kSizePrefix[] = "z ";
inline constexpr char kSizeSuffix[] = " MB";
inline constexpr char kFullPercent[] = "100";

#endif
