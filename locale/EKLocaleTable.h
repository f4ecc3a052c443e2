#pragma once

// The text function every client locale library exports as "GetStr": writes
// the text of id into buffer as one length byte followed by up to capacity
// windows-1250 characters and returns true, or returns false for an id
// without a text (buffer untouched).
extern "C" bool GetStr(int id, unsigned char *buffer, int capacity);

namespace EKLocale {

// One text of a table; ids not listed have no text.
struct TextEntry
{
    int Id;
    const char *Text; // windows-1250
};

// GetStr over a table; shared by the language files.
inline bool CopyText(const TextEntry *table, int count, int id, unsigned char *buffer, int capacity)
{
    if (!buffer || capacity < 0)
        return false;
    for (int i = 0; i < count; ++i) {
        if (table[i].Id != id)
            continue;
        int n = 0;
        while (table[i].Text[n] && n < capacity && n < 255)
            ++n;
        buffer[0] = static_cast<unsigned char>(n);
        for (int k = 0; k < n; ++k)
            buffer[k + 1] = static_cast<unsigned char>(table[i].Text[k]);
        return true;
    }
    return false;
}

} // namespace EKLocale
