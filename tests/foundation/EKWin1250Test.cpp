#include "EKWin1250.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// Decodes one well-formed UTF-8 sequence; -1 when it is not exactly one.
long OneCodePoint(std::string_view s)
{
    const auto *p = reinterpret_cast<const unsigned char *>(s.data());
    if (s.size() == 1 && p[0] < 0x80)
        return p[0];
    if (s.size() == 2 && (p[0] & 0xE0) == 0xC0)
        return ((p[0] & 0x1F) << 6) | (p[1] & 0x3F);
    if (s.size() == 3 && (p[0] & 0xF0) == 0xE0)
        return ((p[0] & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F);
    return -1;
}

TEST(EKWin1250, EveryByteRoundTrips)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    const std::string utf8 = Win1250ToUtf8(all);
    EXPECT_EQ(Utf8ToWin1250(utf8), all);
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        const std::string_view u = Win1250CharUtf8(static_cast<unsigned char>(b));
        EXPECT_EQ(Win1250ToUtf8(one), u) << b;
        EXPECT_EQ(Utf8ToWin1250(u), one) << b;
        const long cp = OneCodePoint(u);
        ASSERT_GE(cp, 0) << b;
        EXPECT_EQ(CodePointToWin1250(static_cast<char32_t>(cp)), b) << b;
    }
}

TEST(EKWin1250, KnownCharacters)
{
    struct Row
    {
        unsigned char byte;
        const char *utf8;
    };
    const std::vector<Row> rows = {
        {0x9A, "\xC5\xA1"},     // š
        {0x9E, "\xC5\xBE"},     // ž
        {0xE8, "\xC4\x8D"},     // č
        {0x8A, "\xC5\xA0"},     // Š
        {0xC8, "\xC4\x8C"},     // Č
        {0x8E, "\xC5\xBD"},     // Ž
        {0x80, "\xE2\x82\xAC"}, // €
        {0xF8, "\xC5\x99"},     // ř
        {0xEC, "\xC4\x9B"},     // ě
        {0xF9, "\xC5\xAF"},     // ů
        {0xA3, "\xC5\x81"},     // Ł
        {0xB9, "\xC4\x85"},     // ą
        {0xA0, "\xC2\xA0"},     // no-break space
        {0x84, "\xE2\x80\x9E"}, // „
        {0x96, "\xE2\x80\x93"}, // –
        {0xFF, "\xCB\x99"},     // ˙
        {0x41, "A"},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(Win1250ToUtf8(std::string(1, static_cast<char>(r.byte))), r.utf8) << int(r.byte);
        EXPECT_EQ(Utf8ToWin1250(r.utf8), std::string(1, static_cast<char>(r.byte))) << int(r.byte);
    }
    // "Příliš žluťoučký" both ways.
    const std::string utf8 = "P\xC5\x99\xC3\xADli\xC5\xA1 \xC5\xBElu\xC5\xA5ou\xC4\x8Dk\xC3\xBD";
    const std::string bytes = "P\xF8\xEDli\x9A \x9Elu\x9Dou\xE8k\xFD";
    EXPECT_EQ(Utf8ToWin1250(utf8), bytes);
    EXPECT_EQ(Win1250ToUtf8(bytes), utf8);
}

TEST(EKWin1250, UnmappableCharactersBecomeQuestionMarks)
{
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"\xC3\xA5", "?"},         // å is not in windows-1250
        {"\xC3\xB1", "?"},         // ñ
        {"\xE2\x82\xB9", "?"},     // ₹
        {"\xE4\xB8\xAD", "?"},     // 中
        {"\xF0\x9F\x98\x80", "?"}, // an emoji (four bytes) is one character
        {"\xC2\x80", "?"},         // U+0080 is a C1 control windows-1250 lacks
        {"a\xEF\xBF\xBD"
         "b",
         "a?b"}, // replacement character
        {"\xC5\xA1\xC3\xA5\xC5\xA1", "\x9A?\x9A"},
    };
    for (const auto &[in, out] : rows)
        EXPECT_EQ(Utf8ToWin1250(in), out);
    EXPECT_EQ(CodePointToWin1250(0x00E5), 0);
    EXPECT_EQ(CodePointToWin1250(0x1F600), 0);
    EXPECT_EQ(CodePointToWin1250(0x110000), 0);
    EXPECT_EQ(CodePointToWin1250(0xFFFFFFFF), 0);
}

TEST(EKWin1250, MalformedUtf8GivesQuestionMarksAndResyncs)
{
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"a\xC5", "a?"},    // truncated two-byte sequence at the end
        {"\xE2\x82", "??"}, // truncated three-byte sequence
        {"\xE2\x82"
         "A",
         "??A"},                           // truncated, then ASCII
        {"\xF0\x9F\x98", "???"},           // truncated four-byte sequence
        {"\xC0\x80", "??"},                // overlong NUL
        {"\xC1\xBF", "??"},                // overlong
        {"\xE0\x80\xAF", "???"},           // overlong "/"
        {"\xF0\x82\x82\xAC", "????"},      // overlong €
        {"\xED\xA0\x80", "???"},           // lone high surrogate
        {"\xED\xBF\xBF", "???"},           // lone low surrogate
        {"\xF4\x90\x80\x80", "????"},      // above U+10FFFF
        {"\xF8\x88\x80\x80\x80", "?????"}, // five-byte form
        {"\xFF\xFE", "??"},
        {"\x80"
         "abc",
         "?abc"}, // stray continuation byte
        {"\xC5"
         "\xC5\xA1",
         "?\x9A"}, // lead byte without continuation, then š
        {std::string("a\0b", 3), std::string("a\0b", 3)},
    };
    for (const auto &[in, out] : rows)
        EXPECT_EQ(Utf8ToWin1250(in), out) << testing::PrintToString(in);
}

// Random bytes never crash the encoder or grow the text, and what comes out
// is stable under another decode and encode.
TEST(EKWin1250, RandomBytesAreHandled)
{
    std::mt19937 rng(11);
    for (int round = 0; round < 20000; ++round) {
        std::string in(rng() % 16, '\0');
        for (char &c : in)
            c = static_cast<char>(rng() % 4 == 0 ? rng() % 128 : 0x80 + rng() % 128);
        const std::string out = Utf8ToWin1250(in);
        ASSERT_LE(out.size(), in.size());
        // Decoding the output and encoding again is stable.
        ASSERT_EQ(Utf8ToWin1250(Win1250ToUtf8(out)), out);
    }
}

TEST(EKWin1250, AppendKeepsWhatIsThere)
{
    std::string out = "x";
    AppendWin1250AsUtf8(out, "\x9A"
                             "a\x80");
    EXPECT_EQ(out, "x\xC5\xA1"
                   "a\xE2\x82\xAC");
    AppendWin1250AsUtf8(out, "");
    EXPECT_EQ(out, "x\xC5\xA1"
                   "a\xE2\x82\xAC");
    EXPECT_EQ(Win1250ToUtf8(""), "");
    EXPECT_EQ(Utf8ToWin1250(""), "");
}

} // namespace
