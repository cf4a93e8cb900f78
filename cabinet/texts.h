// Messages of the cabinet extraction.
#ifndef VARNEL_CABINET_TEXTS_H
#define VARNEL_CABINET_TEXTS_H

inline constexpr char kMissingCabinet[] = "Brak jest pliku ";
// "Plik " + cabinet path + " nie jest plikem CAB"; "plikem" is how the users
// have always seen it, so it stays.
inline constexpr char kNotCabinetStart[] = "Plik ";
inline constexpr char kNotCabinetEnd[] = " nie jest plikem CAB";
inline constexpr char kCannotExtract[] = "Nie można rozpakować pliku ";

#endif
