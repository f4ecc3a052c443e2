#include "EKShortCut.h"

#include <cstddef>

namespace {

struct KeyName
{
    std::uint16_t Key;
    std::string_view Name;
};

// Canonical names of the keys that are not letters, digits or F1..F12; the
// first entry of a key is the one written.
constexpr KeyName kNamedKeys[] = {
    {ekvkBack, "BkSp"},     {ekvkBack, "Backspace"}, {ekvkBack, "Back"},
    {ekvkTab, "Tab"},       {ekvkReturn, "Enter"},   {ekvkReturn, "Return"},
    {ekvkPause, "Pause"},   {ekvkPause, "Break"},    {ekvkEscape, "Esc"},
    {ekvkEscape, "Escape"}, {ekvkSpace, "Space"},    {ekvkPrior, "PgUp"},
    {ekvkPrior, "PageUp"},  {ekvkPrior, "Prior"},    {ekvkNext, "PgDn"},
    {ekvkNext, "PageDown"}, {ekvkNext, "Next"},      {ekvkEnd, "End"},
    {ekvkHome, "Home"},     {ekvkLeft, "Left"},      {ekvkUp, "Up"},
    {ekvkRight, "Right"},   {ekvkDown, "Down"},      {ekvkInsert, "Ins"},
    {ekvkInsert, "Insert"}, {ekvkDelete, "Del"},     {ekvkDelete, "Delete"},
    {ekvkMultiply, "Num*"}, {ekvkMultiply, "Num *"}, {ekvkAdd, "Num+"},
    {ekvkAdd, "Num +"},     {ekvkSubtract, "Num-"},  {ekvkSubtract, "Num -"},
    {ekvkDecimal, "Num."},  {ekvkDecimal, "Num ."},  {ekvkDivide, "Num/"},
    {ekvkDivide, "Num /"},
};

struct Modifier
{
    TEKShiftFlag Flag;
    std::string_view Prefix;
};

// Reading accepts every prefix; writing uses the first of each flag, in this
// order.
constexpr Modifier kModifiers[] = {
    {ekssCtrl, "Ctrl+"}, {ekssAlt, "Alt+"}, {ekssShift, "Shift+"}, {ekssCtrl, "Control+"}};

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

bool SameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

bool StartsWithText(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

} // namespace

std::string KeyToName(std::uint16_t key)
{
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9'))
        return std::string(1, static_cast<char>(key));
    if (key >= ekvkF1 && key <= ekvkF12)
        return "F" + std::to_string(key - ekvkF1 + 1);
    if (key >= ekvkNumpad0 && key <= ekvkNumpad0 + 9)
        return "Num" + std::to_string(key - ekvkNumpad0);
    for (const KeyName &k : kNamedKeys)
        if (k.Key == key)
            return std::string(k.Name);
    return {};
}

std::uint16_t NameToKey(std::string_view name)
{
    if (name.empty())
        return 0;
    if (name.size() == 1) {
        const char c = name[0];
        if (c >= '0' && c <= '9')
            return static_cast<std::uint16_t>(c);
        if (Lower(c) >= 'a' && Lower(c) <= 'z')
            return static_cast<std::uint16_t>(Lower(c) - 'a' + 'A');
        return 0;
    }
    if ((name[0] == 'F' || name[0] == 'f') && name.size() <= 3 && name[1] >= '1' &&
        name[1] <= '9') {
        int n = name[1] - '0';
        if (name.size() == 3) {
            if (name[2] < '0' || name[2] > '9')
                return 0;
            n = n * 10 + (name[2] - '0');
        }
        return n >= 1 && n <= 12 ? static_cast<std::uint16_t>(ekvkF1 + n - 1) : 0;
    }
    for (std::string_view prefix : {std::string_view("Num"), std::string_view("Num ")})
        if (name.size() == prefix.size() + 1 && StartsWithText(name, prefix) &&
            name.back() >= '0' && name.back() <= '9')
            return static_cast<std::uint16_t>(ekvkNumpad0 + (name.back() - '0'));
    for (const KeyName &k : kNamedKeys)
        if (SameText(k.Name, name))
            return k.Key;
    return 0;
}

TEKShortCut TextToShortCut(std::string_view text)
{
    std::string_view rest = Trim(text);
    TEKShiftState shift = 0;
    for (;;) {
        bool found = false;
        for (const Modifier &m : kModifiers) {
            // A prefix with nothing after it is no modifier: "Ctrl+" alone
            // has no key.
            if (rest.size() > m.Prefix.size() && StartsWithText(rest, m.Prefix)) {
                if (shift & m.Flag)
                    return 0;
                shift |= m.Flag;
                rest.remove_prefix(m.Prefix.size());
                found = true;
                break;
            }
        }
        if (!found)
            break;
    }
    return MakeShortCut(NameToKey(rest), shift);
}

std::string ShortCutToText(TEKShortCut shortCut)
{
    if (shortCut &
        ~(static_cast<TEKShortCut>(0xFFFF) | (static_cast<TEKShortCut>(kAllShiftFlags) << 16)))
        return {};
    const std::string name = KeyToName(ShortCutKey(shortCut));
    if (name.empty())
        return {};
    const TEKShiftState shift = ShortCutShift(shortCut);
    std::string out;
    for (TEKShiftFlag flag : {ekssCtrl, ekssAlt, ekssShift})
        if (shift & flag)
            for (const Modifier &m : kModifiers)
                if (m.Flag == flag) {
                    out += m.Prefix;
                    break;
                }
    return out + name;
}

TEKShiftState TextToShiftState(std::string_view text)
{
    return ShortCutShift(TextToShortCut(text));
}
