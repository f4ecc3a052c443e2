#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Keyboard shortcuts as the server's action descriptions write them: optional
// modifier prefixes ("Ctrl+", "Alt+", "Shift+") followed by one key name
// ("F4", "Tab", "A"). Keys are numbered as the Windows virtual keys, the
// world those descriptions come from; the Qt layer maps its own key codes to
// these numbers.

// Modifier flags. The values are those of the module window's modifier
// state (Shift 1, Alt 2, Ctrl 4), so a shortcut's flags compare directly with
// the keys being held.
enum TEKShiftFlag : std::uint8_t
{
    ekssShift = 1,
    ekssAlt = 2,
    ekssCtrl = 4,
};
// A set of TEKShiftFlag values; 0 is the empty set.
using TEKShiftState = std::uint8_t;
constexpr TEKShiftState kAllShiftFlags = ekssShift | ekssAlt | ekssCtrl;

// A shortcut code: the virtual key in bits 0..15 and the modifier flags in
// bits 16..18 (Shift 0x10000, Alt 0x20000, Ctrl 0x40000). 0 is no shortcut.
using TEKShortCut = std::uint32_t;

// Virtual key numbers with a name of their own. Letters and digits are their
// upper-case ASCII codes ('A' 0x41, '0' 0x30); F1..F12 are 0x70..0x7B.
enum TEKVirtualKey : std::uint16_t
{
    ekvkBack = 0x08,
    ekvkTab = 0x09,
    ekvkReturn = 0x0D,
    ekvkPause = 0x13,
    ekvkEscape = 0x1B,
    ekvkSpace = 0x20,
    ekvkPrior = 0x21, // Page Up
    ekvkNext = 0x22,  // Page Down
    ekvkEnd = 0x23,
    ekvkHome = 0x24,
    ekvkLeft = 0x25,
    ekvkUp = 0x26,
    ekvkRight = 0x27,
    ekvkDown = 0x28,
    ekvkInsert = 0x2D,
    ekvkDelete = 0x2E,
    ekvkNumpad0 = 0x60, // ekvkNumpad0 + n for the keypad digit n
    ekvkMultiply = 0x6A,
    ekvkAdd = 0x6B,
    ekvkSubtract = 0x6D,
    ekvkDecimal = 0x6E,
    ekvkDivide = 0x6F,
    ekvkF1 = 0x70, // ekvkF1 + n - 1 for Fn, n = 1..12
    ekvkF12 = 0x7B,
};

constexpr TEKShortCut MakeShortCut(std::uint16_t key, TEKShiftState shift)
{
    return key == 0 ? 0
                    : static_cast<TEKShortCut>(key) |
                          (static_cast<TEKShortCut>(shift & kAllShiftFlags) << 16);
}
constexpr std::uint16_t ShortCutKey(TEKShortCut shortCut)
{
    return static_cast<std::uint16_t>(shortCut & 0xFFFF);
}
constexpr TEKShiftState ShortCutShift(TEKShortCut shortCut)
{
    return static_cast<TEKShiftState>((shortCut >> 16) & kAllShiftFlags);
}

// The code of a shortcut text; 0 for text that is not a shortcut. Modifier
// prefixes may come in any order, each at most once; names are read without
// regard to letter case, surrounding spaces are ignored, and a few common
// aliases are accepted ("Return", "Escape", "Delete", "Insert", "Backspace",
// "PageUp", "PageDown", "Control", ...).
TEKShortCut TextToShortCut(std::string_view text);
// The canonical text of a code: modifiers in the order Ctrl, Alt, Shift, then
// the key's canonical name ("Ctrl+Shift+F6"). Empty for 0, for a key without
// a name and for bits outside the key and the three modifier flags.
std::string ShortCutToText(TEKShortCut shortCut);

// The canonical name of a key ("F4", "Ins", "A"), empty for a key without one.
std::string KeyToName(std::uint16_t key);
// The key of a name (canonical or alias, any letter case), 0 for none.
std::uint16_t NameToKey(std::string_view name);
// The modifier flags of the prefixes of a shortcut text, 0 when the text is
// not a shortcut.
TEKShiftState TextToShiftState(std::string_view text);
