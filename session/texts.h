// Texts of the run-mode checks.
#ifndef VARNEL_SESSION_TEXTS_H
#define VARNEL_SESSION_TEXTS_H

inline constexpr char kOldWindowsWarning[] =
    "Program wymaga systemu operacyjnego minimum Windows XP.\n"
    "W tym systemie operacyjnym niektóre funkcje mogą działać nieprawidłowo.\n"
    "Dotyczy to zwłaszcza obsługi formularzy w postaci PDF.";

inline constexpr char kClientMarker[] = "*klient*";

#endif
