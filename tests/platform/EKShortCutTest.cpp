#include "EKShortCut.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

TEST(EKShortCut, KnownTexts)
{
    struct Row
    {
        std::string text;
        std::uint16_t key;
        TEKShiftState shift;
    };
    const std::vector<Row> rows = {
        {"Ctrl+F4", 0x73, ekssCtrl},
        {"Ctrl+Shift+F6", 0x75, ekssCtrl | ekssShift},
        {"Ctrl+Tab", 0x09, ekssCtrl},
        {"Ctrl+Shift+Tab", 0x09, ekssCtrl | ekssShift},
        {"Ctrl+Enter", 0x0D, ekssCtrl},
        {"Alt+F4", 0x73, ekssAlt},
        {"Shift+Del", 0x2E, ekssShift},
        {"Ins", 0x2D, 0},
        {"F10", 0x79, 0},
        {"Ctrl+A", 0x41, ekssCtrl},
        {"F1", 0x70, 0},
        {"F12", 0x7B, 0},
        {"Ctrl+Alt+Shift+Z", 0x5A, ekssCtrl | ekssAlt | ekssShift},
        {"Esc", 0x1B, 0},
        {"Ctrl+0", 0x30, ekssCtrl},
        {"Space", 0x20, 0},
        {"BkSp", 0x08, 0},
        {"PgUp", 0x21, 0},
        {"PgDn", 0x22, 0},
        {"Home", 0x24, 0},
        {"End", 0x23, 0},
        {"Left", 0x25, 0},
        {"Up", 0x26, 0},
        {"Right", 0x27, 0},
        {"Down", 0x28, 0},
        {"Ctrl+Num+", 0x6B, ekssCtrl},
        {"Num5", 0x65, 0},
    };
    for (const auto &r : rows) {
        const TEKShortCut sc = TextToShortCut(r.text);
        EXPECT_EQ(sc, MakeShortCut(r.key, r.shift)) << r.text;
        EXPECT_EQ(ShortCutKey(sc), r.key) << r.text;
        EXPECT_EQ(ShortCutShift(sc), r.shift) << r.text;
        EXPECT_EQ(TextToShiftState(r.text), r.shift) << r.text;
        EXPECT_EQ(ShortCutToText(sc), r.text) << r.text;
    }
}

TEST(EKShortCut, CodeLayout)
{
    EXPECT_EQ(TextToShortCut("Ctrl+F4"), 0x40073u);
    EXPECT_EQ(TextToShortCut("Shift+A"), 0x10041u);
    EXPECT_EQ(TextToShortCut("Alt+A"), 0x20041u);
    EXPECT_EQ(MakeShortCut(0, ekssCtrl), 0u);
    EXPECT_EQ(MakeShortCut(0x41, 0xF8), 0x41u); // bits beyond the three flags are dropped
}

TEST(EKShortCut, ReadingIsLenient)
{
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"ctrl+f4", "Ctrl+F4"},
        {"CTRL+SHIFT+TAB", "Ctrl+Shift+Tab"},
        {"Shift+Ctrl+F6", "Ctrl+Shift+F6"},
        {"Alt+Ctrl+Del", "Ctrl+Alt+Del"},
        {"Ctrl+Return", "Ctrl+Enter"},
        {"Escape", "Esc"},
        {"Delete", "Del"},
        {"Insert", "Ins"},
        {"Backspace", "BkSp"},
        {"PageUp", "PgUp"},
        {"PageDown", "PgDn"},
        {"Control+A", "Ctrl+A"},
        {" Ctrl+F4 ", "Ctrl+F4"},
        {"ctrl+a", "Ctrl+A"},
        {"Num 7", "Num7"},
        {"Num *", "Num*"},
        {"Break", "Pause"},
    };
    for (const auto &[in, canonical] : rows)
        EXPECT_EQ(ShortCutToText(TextToShortCut(in)), canonical) << in;
}

TEST(EKShortCut, BadTextsAreNoShortcut)
{
    for (const char *text :
         {"",         " ",      "Ctrl", "Ctrl+",  "Shift+",    "Ctrl+Ctrl+A",   "Ctrl+Control+A",
          "Ctrl+F13", "F0",     "F01",  "F1x",    "Ctrl+AB",   "Ctrl-A",        "Ctrl +A",
          "Ctrl+ A",  "+A",     "A+",   "Meta+A", "Win",       "Ctrl+\xC5\xA0", "Num",
          "Num10",    "Ctrl++", "\x01", "Shift",  "Alt+Alt+F4"})
        EXPECT_EQ(TextToShortCut(text), 0u) << "[" << text << "]";
}

TEST(EKShortCut, CodesWithoutTextAreEmpty)
{
    for (TEKShortCut sc :
         {TEKShortCut(0), TEKShortCut(0x07), TEKShortCut(0xFF), TEKShortCut(0x40000),
          TEKShortCut(0x80073), TEKShortCut(0x1000041), TEKShortCut(0x7C), TEKShortCut(0xFFFFFFFF)})
        EXPECT_EQ(ShortCutToText(sc), "") << std::hex << sc;
}

// Every key with a name, under every combination of modifiers, goes to text
// and back unchanged, and different codes never share a text.
TEST(EKShortCut, EveryKeyAndModifierRoundTrips)
{
    std::set<std::string> texts;
    int named = 0;
    for (unsigned key = 1; key <= 0xFFFF; ++key) {
        const std::string name = KeyToName(static_cast<std::uint16_t>(key));
        if (name.empty())
            continue;
        ++named;
        EXPECT_EQ(NameToKey(name), key) << name;
        for (TEKShiftState shift = 0; shift <= kAllShiftFlags; ++shift) {
            const TEKShortCut sc = MakeShortCut(static_cast<std::uint16_t>(key), shift);
            const std::string text = ShortCutToText(sc);
            ASSERT_FALSE(text.empty()) << key;
            EXPECT_EQ(TextToShortCut(text), sc) << text;
            EXPECT_TRUE(texts.insert(text).second) << text;
        }
    }
    // Letters, digits, F1..F12, the keypad and the named keys.
    EXPECT_GE(named, 26 + 10 + 12 + 15);
}

TEST(EKShortCut, KeyNames)
{
    const std::vector<std::pair<std::uint16_t, std::string>> rows = {
        {'A', "A"},          {'Z', "Z"},
        {'5', "5"},          {ekvkF1, "F1"},
        {ekvkF12, "F12"},    {ekvkReturn, "Enter"},
        {ekvkEscape, "Esc"}, {ekvkInsert, "Ins"},
        {ekvkDelete, "Del"}, {0, ""},
        {0x61, "Num1"},      {0x7C, ""}};
    for (const auto &[key, name] : rows)
        EXPECT_EQ(KeyToName(key), name) << key;
    EXPECT_EQ(NameToKey("a"), 'A');
    EXPECT_EQ(NameToKey("f10"), 0x79);
}

} // namespace
