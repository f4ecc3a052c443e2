// English texts of the client's menus, buttons and questions.
#include "EKLocaleTable.h"

namespace {

const EKLocale::TextEntry Texts[] = {
    {1, "&File"},
    {2, "Close"},
    {3, "&Edit"},
    {4, "&Record"},
    {5, "&Tools"},
    {6, "&Window"},
    {7, "&Help"},
    {8, "Run the default action (Ctrl+Enter)"},
    {9, "&Options..."},
    {10, "&Customize..."},
    {11, "Help contents"},
    {12, "Search help for keyword"},
    {14, "About"},
    {15, "User information"},
    {16, "&Print..."},
    {17, "The server could not close the form"},
    {18, "Quit the application now?"},
    {19, "Cu&t"},
    {20, "&Copy"},
    {21, "&Paste"},
    {22, "&Delete"},
    {23, "Select &all"},
    {24, "&Cascade"},
    {25, "&Tile"},
    {26, "C&lose"},
    {27, "&Arrange icons"},
    {28, "Close window"},
    {29, "Next window"},
    {30, "Previous window"},
    {31, "Connection information"},
};

} // namespace

extern "C" __attribute__((visibility("default"))) bool GetStr(int id, unsigned char *buffer,
                                                              int capacity)
{
    return EKLocale::CopyText(Texts, static_cast<int>(sizeof Texts / sizeof Texts[0]), id, buffer,
                              capacity);
}
