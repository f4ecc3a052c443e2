#include "EKWin1250.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <utility>

namespace {

// Code points of the bytes 0x80..0xFF.
constexpr char16_t kHigh[128] = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021, 0x0088, 0x2030, 0x0160, 0x2039,
    0x015A, 0x0164, 0x017D, 0x0179, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141,
    0x00A4, 0x0104, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB,
    0x013D, 0x02DD, 0x013E, 0x017C, 0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3,
    0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB,
    0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

struct Utf8Entry
{
    char bytes[3];
    unsigned char length;
};

constexpr Utf8Entry MakeEntry(char16_t cp)
{
    Utf8Entry e{};
    if (cp < 0x800) {
        e.bytes[0] = static_cast<char>(0xC0 | (cp >> 6));
        e.bytes[1] = static_cast<char>(0x80 | (cp & 0x3F));
        e.length = 2;
    } else {
        e.bytes[0] = static_cast<char>(0xE0 | (cp >> 12));
        e.bytes[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        e.bytes[2] = static_cast<char>(0x80 | (cp & 0x3F));
        e.length = 3;
    }
    return e;
}

constexpr std::array<Utf8Entry, 128> MakeUtf8Table()
{
    std::array<Utf8Entry, 128> t{};
    for (int i = 0; i < 128; ++i)
        t[i] = MakeEntry(kHigh[i]);
    return t;
}

constexpr std::array<Utf8Entry, 128> kUtf8 = MakeUtf8Table();

using Reverse = std::array<std::pair<char16_t, unsigned char>, 128>;

constexpr Reverse MakeReverse()
{
    Reverse r{};
    for (int i = 0; i < 128; ++i)
        r[i] = {kHigh[i], static_cast<unsigned char>(0x80 + i)};
    std::sort(r.begin(), r.end());
    return r;
}

constexpr Reverse kReverse = MakeReverse();

// Direct answers for the code points below U+0800 (ASCII, Latin, the caron
// and the C1 controls): everything a Czech or Slovak text holds besides a
// few punctuation marks and the euro sign.
constexpr std::array<unsigned char, 0x800> MakeLow()
{
    std::array<unsigned char, 0x800> t{};
    for (int i = 0; i < 0x80; ++i)
        t[i] = static_cast<unsigned char>(i);
    for (int i = 0; i < 128; ++i)
        if (kHigh[i] < 0x800)
            t[kHigh[i]] = static_cast<unsigned char>(0x80 + i);
    return t;
}

constexpr std::array<unsigned char, 0x800> kLow = MakeLow();

// Length of the run of ASCII bytes at the start of [p, end), eight bytes at
// a time where possible.
std::size_t AsciiRun(const char *p, const char *end)
{
    const char *start = p;
    while (end - p >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        if (word & 0x8080808080808080ULL)
            break;
        p += 8;
    }
    while (p < end && static_cast<unsigned char>(*p) < 0x80)
        ++p;
    return static_cast<std::size_t>(p - start);
}

} // namespace

std::string_view Win1250CharUtf8(unsigned char byte)
{
    static const char ascii[128] = {
#define R(n) n, n + 1, n + 2, n + 3, n + 4, n + 5, n + 6, n + 7
        R(0),  R(8),  R(16), R(24), R(32),  R(40),  R(48), R(56), R(64),
        R(72), R(80), R(88), R(96), R(104), R(112), R(120)
#undef R
    };
    if (byte < 0x80)
        return std::string_view(&ascii[byte], 1);
    const Utf8Entry &e = kUtf8[byte - 0x80];
    return std::string_view(e.bytes, e.length);
}

void AppendWin1250AsUtf8(std::string &out, std::string_view bytes)
{
    out.reserve(out.size() + bytes.size() + bytes.size() / 8);
    const char *p = bytes.data();
    const char *end = p + bytes.size();
    while (p < end) {
        // Copy runs of ASCII in one go: most of every answer is ASCII.
        const std::size_t run = AsciiRun(p, end);
        out.append(p, run);
        p += run;
        if (p < end) {
            const Utf8Entry &e = kUtf8[static_cast<unsigned char>(*p) - 0x80];
            out.append(e.bytes, e.length);
            ++p;
        }
    }
}

std::string Win1250ToUtf8(std::string_view bytes)
{
    std::string out;
    AppendWin1250AsUtf8(out, bytes);
    return out;
}

unsigned char CodePointToWin1250(char32_t cp)
{
    if (cp < 0x800)
        return kLow[cp];
    if (cp > 0xFFFF)
        return 0;
    auto it = std::lower_bound(kReverse.begin(), kReverse.end(),
                               std::pair<char16_t, unsigned char>(static_cast<char16_t>(cp), 0));
    if (it != kReverse.end() && it->first == cp)
        return it->second;
    return 0;
}

std::string Utf8ToWin1250(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    const auto *p = reinterpret_cast<const unsigned char *>(utf8.data());
    const auto *end = p + utf8.size();
    while (p < end) {
        const std::size_t run =
            AsciiRun(reinterpret_cast<const char *>(p), reinterpret_cast<const char *>(end));
        out.append(reinterpret_cast<const char *>(p), run);
        p += run;
        if (p == end)
            break;
        unsigned char c = *p;
        int length = 0;
        char32_t cp = 0;
        char32_t min = 0;
        if ((c & 0xE0) == 0xC0) {
            length = 2;
            cp = c & 0x1F;
            min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3;
            cp = c & 0x0F;
            min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4;
            cp = c & 0x07;
            min = 0x10000;
        }
        bool ok = length > 0 && end - p >= length;
        for (int k = 1; ok && k < length; ++k) {
            if ((p[k] & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (p[k] & 0x3F);
        }
        if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
            ok = false;
        if (!ok) {
            // A malformed sequence: one "?" for its lead byte, then resync.
            out.push_back('?');
            ++p;
            continue;
        }
        unsigned char b = CodePointToWin1250(cp);
        out.push_back(b ? static_cast<char>(b) : '?');
        p += length;
    }
    return out;
}
