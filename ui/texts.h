// Texts of the message boxes and of the dialog.
#ifndef VARNEL_UI_TEXTS_H
#define VARNEL_UI_TEXTS_H

inline constexpr char kInstallTitlePrefix[] = "Instalacja programu ";
inline constexpr char kUpdateTitlePrefix[] = "Aktualizacja programu ";
inline constexpr char kCancelQuestionTitle[] = "Instalacja programu";
inline constexpr char kCancelQuestion[] = "Czy na pewno chcesz anulować instalację ?";

inline constexpr char kDialogHeading[] = "Instalacja odbędzie się w 2 etapach :";
// The runs of blanks place the line breaks in the narrow controls.
inline constexpr char kStage1[] =
    "1. Program pobierze i zainstaluje komponenty niezbędne do              "
    "przeprowadzenia instalacji.";
inline constexpr char kStage2[] =
    "2. Zostanie uruchomiony Instalator. Wówczas będzie można podać        "
    "parametry instalacyjne  (np.lokalizację programu i wywołania).";
inline constexpr char kStartButton[] = "Rozpocznij instalację";
inline constexpr char kCancelButton[] = "Anuluj instalację";
inline constexpr char kVersionWord[] = " wersja ";

inline constexpr char kLocalNote[] =
    "Instalacja zostanie wykonana lokalnie \nz użyciem plików znajdujących się w folderze,\n"
    "z którego ta instalacja została uruchomiona.\nPołączenie z internetem nie jest konieczne.";
inline constexpr char kServerNoteStart[] =
    "W czasie instalacji program będzie korzystał \nz połączenia internetowego z serwerem";
inline constexpr char kServerNoteEnd[] =
    "Czas instalacji zależy od prędkości tego łącza\ni może wynieść od kilku do "
    "kilkudziesięciu minut.";

inline constexpr char kConnecting[] = "Łączenie z internetem ...";

// Shown by Windows beside the program when a logoff or shutdown waits for it.
inline constexpr wchar_t kEndSessionBlocked[] =
    L"Trwa instalacja komponentów programu. Zaczekaj na jej zakończenie.";

#endif
