// German texts of the client's menus, buttons and questions (windows-1250).
#include "EKLocaleTable.h"

namespace {

const EKLocale::TextEntry Texts[] = {
    {1, "&Datei"},
    {2, "Schlie\xDF"
        "en"},
    {3, "&Bearbeiten"},
    {4, "&Datensatz"},
    {5, "E&xtras"},
    {6, "&Fenster"},
    {7, "&Hilfe"},
    {8, "Standardaktion ausf\xFChren (Strg+Eingabe)"},
    {9, "&Optionen..."},
    {10, "&Anpassen..."},
    {11, "Hilfethemen"},
    {12, "Hilfe nach Stichwort durchsuchen"},
    {14, "Info"},
    {15, "Benutzerinformationen"},
    {16, "&Drucken..."},
    {17, "Der Server konnte das Formular nicht schlie\xDF"
         "en"},
    {18, "Die Anwendung jetzt beenden?"},
    {19, "&Ausschneiden"},
    {20, "&Kopieren"},
    {21, "E&inf\xFCgen"},
    {22, "&L\xF6schen"},
    {23, "&Alles markieren"},
    {24, "\xDC"
         "ber&lappend"},
    {25, "&Nebeneinander"},
    {26, "S&chlie\xDF"
         "en"},
    {27, "&Symbole anordnen"},
    {28, "Fenster schlie\xDF"
         "en"},
    {29, "N\xE4"
         "chstes Fenster"},
    {30, "Vorheriges Fenster"},
    {31, "Verbindungsinformationen"},
};

} // namespace

extern "C" __attribute__((visibility("default"))) bool GetStr(int id, unsigned char *buffer,
                                                              int capacity)
{
    return EKLocale::CopyText(Texts, static_cast<int>(sizeof Texts / sizeof Texts[0]), id, buffer,
                              capacity);
}
