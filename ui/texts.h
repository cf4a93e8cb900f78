// Texts of the message boxes and of the dialog.
#ifndef VARNEL_UI_TEXTS_H
#define VARNEL_UI_TEXTS_H

inline constexpr char kInstallTitlePrefix[] = "Instalacja programu ";
inline constexpr char kUpdateTitlePrefix[] = "Aktualizacja programu ";
inline constexpr char kCancelQuestionTitle[] = "Instalacja programu";
inline constexpr char kCancelQuestion[] = "Czy na pewno chcesz anulować instalację ?";

#endif
