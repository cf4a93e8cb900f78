// Messages of the working folders.
#ifndef VARNEL_FOLDERS_TEXTS_H
#define VARNEL_FOLDERS_TEXTS_H

inline constexpr char kNoCurrentFolder[] = "Nie można ustalić bieżącego folderu";
inline constexpr char kNoTempFolder[] = "Nie można ustalić systemowego folderu tymczasowego";
inline constexpr char kNoWindowsFolder[] = "Nie można ustalić folderu Windows";
inline constexpr char kCannotDeleteTemp[] = "Nie można usunąć folderu tymczasowego ";
inline constexpr char kCannotCreateFolder[] = "Nie można utworzyć folderu ";

inline constexpr char kWorkRootName[] = "varnel";
inline constexpr char kStartSubfolder[] = "varnel\\start";
inline constexpr char kLibrariesSubfolder[] = "varnel\\biblioteki";
inline constexpr char kDownloadSubfolder[] = "varnel\\instalacja";

#endif
