#include "EKCodecs.h"
#include "EKTypes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

TEST(EKTypes, NamesAndCodesRoundTrip)
{
    const std::vector<std::pair<int, std::string>> rows = {
        {1, "string"},  {2, "date"},     {3, "datetime"}, {4, "time"},
        {5, "integer"}, {6, "codelist"}, {7, "file"},     {8, "recnumber"},
        {9, "bool"},    {10, "numeric"}, {11, "setclist"}};
    for (const auto &[code, name] : rows) {
        EXPECT_EQ(DataTypeToName(code), name);
        EXPECT_EQ(NameToDataType(name), code);
    }
}

TEST(EKTypes, UnknownCodesAndNames)
{
    for (int code : {0, 12, -1, 255, 1000})
        EXPECT_EQ(DataTypeToName(code), "??") << code;
    for (const char *name : {"String", "", "??", "DATE", " date", "date ", "int"})
        EXPECT_EQ(NameToDataType(name), ekdtUnknown) << name;
    static_assert(sizeof(TEKDataType) == 1);
}

// --- CDATA ----------------------------------------------------------------------

TEST(EKCodecs, ToCDATA)
{
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"", ""},
        {"a", "<![CDATA[a]]>"},
        {"a]]>b", "<![CDATA[a]]]]><![CDATA[>b]]>"},
        {"]]>", "<![CDATA[]]]]><![CDATA[>]]>"},
        {" x ", "<![CDATA[ x ]]>"},
        {"a]]b>", "<![CDATA[a]]b>]]>"},
    };
    for (const auto &[in, out] : rows)
        EXPECT_EQ(ToCDATA(in), out) << in;
}

TEST(EKCodecs, FromCDATA)
{
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"", ""},
        {"<![CDATA[a]]]]><![CDATA[>b]]>", "a]]>b"},
        {"  <![CDATA[  inner  ]]>  ", "  inner  "},
        {"\r\n\t<![CDATA[x]]>\n", "x"},
        {"   plain text  ", "plain text"},
        {"<![CDATA[]]>", ""},
        // Overlapping markers are no section.
        {"<![CDATA[>", "<![CDATA[>"},
        {"<![CDATA[a", "<![CDATA[a"},
        {"a]]>", "a]]>"},
        {"    ", ""},
        // Bytes above 127 (UTF-8) are never trimmed.
        {"\xC5\xA1 ", "\xC5\xA1"},
    };
    for (const auto &[in, out] : rows)
        EXPECT_EQ(FromCDATA(in), out) << in;
}

// Every non-empty text survives protection, including texts built from the
// marker characters themselves.
TEST(EKCodecs, CDATARoundTripOverMarkerAlphabet)
{
    const std::string alphabet = "]]>[<!CDAT \n";
    std::mt19937 rng(1234);
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const int len = 1 + static_cast<int>(rng() % 20);
        for (int i = 0; i < len; ++i)
            text.push_back(alphabet[rng() % alphabet.size()]);
        ASSERT_EQ(FromCDATA(ToCDATA(text)), text) << "[" << text << "]";
    }
    for (const std::string text : {"]]><![CDATA[", "]]]>", "]]>]]>", "<![CDATA[x]]>", " "})
        EXPECT_EQ(FromCDATA(ToCDATA(text)), text) << text;
}

// --- Text helpers ---------------------------------------------------------------

TEST(EKCodecs, ReplaceAllText)
{
    struct Row
    {
        std::string text, oldText, newText;
        bool caseSensitive;
        std::string expected;
    };
    const std::vector<Row> rows = {
        {"aXbXc", "X", "--", true, "a--b--c"},
        {"aaaa", "aa", "a", true, "aa"},  // no rescan of replaced parts
        {"abc", "b", "bb", true, "abbc"}, // new text contains old
        {"AbcABCabc", "abc", "x", true, "AbcABCx"},
        {"AbcABC", "abc", "x", false, "xx"},
        {"abc", "", "x", true, "abc"}, // empty old text changes nothing
        {"", "a", "b", false, ""},
        {"\xC5\xA0koda \xC5\xA1koda", "\xC5\xA1koda", "X", false, "X X"}, // Š/š
        {"\xC4\x8C\xC4\x8D", "\xC4\x8D", "c", false, "cc"},               // Č/č
        {"\xC5\x81\xC5\x82", "\xC5\x82", "l", false, "ll"},               // Ł/ł (odd upper)
        {"\xC3\x89t\xC3\xA9", "\xC3\xA9", "e", false, "ete"},             // É/é
        {"\xC5\xA0koda", "\xC5\xA1koda", "X", true, "\xC5\xA0koda"},
        {"x\xC5", "X\xC5", "y", false, "y"}, // a truncated sequence is compared as is
    };
    for (const auto &r : rows)
        EXPECT_EQ(ReplaceAllText(r.text, r.oldText, r.newText, r.caseSensitive), r.expected)
            << r.text << " / " << r.oldText;
}

TEST(EKCodecs, CutFirstPart)
{
    struct Row
    {
        std::string text;
        char sep;
        std::string part, rest;
    };
    const std::vector<Row> rows = {
        {"a;b;c", ';', "a", "b;c"}, {";b", ';', "", "b"}, {"a;", ';', "a", ""},
        {"abc", ';', "abc", ""},    {"", ';', "", ""},    {"a|b", '|', "a", "b"},
    };
    for (const auto &r : rows) {
        std::string text = r.text;
        EXPECT_EQ(CutFirstPart(text, r.sep), r.part) << r.text;
        EXPECT_EQ(text, r.rest) << r.text;
    }
}

// --- Dates ----------------------------------------------------------------------

TEST(EKCodecs, EncodeDateKnownDayCounts)
{
    struct Row
    {
        int y, m, d;
        double days;
    };
    const std::vector<Row> rows = {
        {1899, 12, 30, 0},       {1899, 12, 31, 1},   {1900, 1, 1, 2},       {1899, 12, 29, -1},
        {1970, 1, 1, 25569},     {2000, 3, 1, 36586}, {2012, 12, 31, 41274}, {1, 1, 1, -693593},
        {9999, 12, 31, 2958465}, {1900, 3, 1, 61},    {1800, 1, 1, -36522},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(EncodeDate(r.y, r.m, r.d), r.days) << r.y << "-" << r.m << "-" << r.d;
        int y = 0, m = 0, d = 0;
        DecodeDate(r.days, y, m, d);
        EXPECT_EQ((std::vector<int>{y, m, d}), (std::vector<int>{r.y, r.m, r.d})) << r.days;
    }
}

TEST(EKCodecs, InvalidDatesAndTimesAreRefused)
{
    const std::vector<std::vector<int>> dates = {{2012, 13, 1}, {2012, 0, 1},  {2011, 2, 29},
                                                 {1900, 2, 29}, {2012, 4, 31}, {0, 1, 1},
                                                 {10000, 1, 1}, {2012, 1, 0}};
    for (const auto &d : dates) {
        TEKDateTime out = 0;
        EXPECT_FALSE(TryEncodeDate(d[0], d[1], d[2], out)) << d[0] << "-" << d[1] << "-" << d[2];
        EXPECT_THROW(EncodeDate(d[0], d[1], d[2]), EConvertError);
    }
    TEKDateTime out = 0;
    EXPECT_TRUE(TryEncodeDate(2000, 2, 29, out));
    const std::vector<std::vector<int>> times = {{24, 0, 0, 0}, {25, 0, 0, 0},   {0, 60, 0, 0},
                                                 {0, 0, 60, 0}, {0, 0, 0, 1000}, {-1, 0, 0, 0}};
    for (const auto &t : times)
        EXPECT_THROW(EncodeTime(t[0], t[1], t[2], t[3]), EConvertError) << t[0] << ":" << t[1];
}

// Every date from year 1 to 9999 decodes to what encoded it (sampled densely
// around the epoch, sparsely elsewhere).
TEST(EKCodecs, DayCountRoundTrip)
{
    for (int day = -693593; day <= 2958465; day += (day > -40000 && day < 80000) ? 1 : 97) {
        int y = 0, m = 0, d = 0;
        DecodeDate(day, y, m, d);
        ASSERT_EQ(EncodeDate(y, m, d), day) << day;
    }
}

TEST(EKCodecs, NegativeDateTimesKeepTheirTimeOfDay)
{
    // Before the epoch the time of day is the absolute fraction.
    const TEKDateTime value = ComposeDateTime(EncodeDate(1899, 12, 29), EncodeTime(6, 0, 0));
    EXPECT_DOUBLE_EQ(value, -1.25);
    EXPECT_EQ(FormatDateValue("yyyymmddhhnnss", value), "18991229060000");
    EXPECT_EQ(FormatDateValue("yyyymmddhhnnss", CompactToDateTime("18500615233000")),
              "18500615233000");
    EXPECT_DOUBLE_EQ(DateOnly(-1.25), -1.0);
    EXPECT_DOUBLE_EQ(TruncToHour(ComposeDateTime(-1, EncodeTime(6, 45, 10))), -1.25);
}

TEST(EKCodecs, FormatDateValue)
{
    const TEKDateTime dt = ComposeDateTime(EncodeDate(2012, 3, 4), EncodeTime(5, 6, 7, 89));
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"yyyymmdd", "20120304"},
        {"yyyymmddhhnnss", "20120304050607"},
        {"dd.mm.yyyy hh:nn:ss", "04.03.2012 05:06:07"},
        {"hh:nn:ss.zzz", "05:06:07.089"},
        {"Date: dd/mm", "Date: 04/03"},
        {"", ""},
    };
    for (const auto &[pattern, out] : rows)
        EXPECT_EQ(FormatDateValue(pattern, dt), out) << pattern;
    EXPECT_EQ(FormatDateValue("yyyymmdd", EncodeDate(1, 1, 1)), "00010101");
    // A pure time is written with the epoch date.
    EXPECT_EQ(FormatDateValue("yyyymmddhhnnss", EncodeTime(14, 30, 5)), "18991230143005");
}

TEST(EKCodecs, TimeThatRoundsToMidnightCarriesIntoNextDay)
{
    struct Row
    {
        TEKDateTime value;
        std::string text;
    };
    const double almost = 1.0 - 0.4 / 86400000.0; // 23:59:59.9996
    const std::vector<Row> rows = {
        {41274 + almost, "20130101000000.000"},
        {-1 - almost, "18991230000000.000"}, // 29 Dec 23:59:59.9996
        {almost, "18991231000000.000"},
        {41274 + 0.5, "20121231120000.000"},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(FormatDateValue("yyyymmddhhnnss.zzz", r.value), r.text) << r.value;
        const TEKDateTimeParts p = DecodeDateTime(r.value);
        EXPECT_LT(p.Hour, 24);
        EXPECT_EQ(FormatDateValue("yyyymmdd", DateOnly(r.value)), r.text.substr(0, 8));
    }
}

TEST(EKCodecs, OutOfRangeValuesDecodeWithoutFailing)
{
    const double inf = HUGE_VAL;
    for (double v : {1e300, -1e300, std::nan(""), inf, -inf, 2958466.5, -693594.5}) {
        const TEKDateTimeParts p = DecodeDateTime(v);
        EXPECT_GE(p.Year, kMinYear) << v;
        EXPECT_LE(p.Year, kMaxYear) << v;
        EXPECT_EQ(FormatDateValue("yyyymmddhhnnss", v).size(), 14u) << v;
    }
}

TEST(EKCodecs, CompactToDateTime)
{
    struct Row
    {
        std::string text;
        std::string formatted; // yyyymmddhhnnss of the result
    };
    const std::vector<Row> rows = {
        {"20121231", "20121231000000"},
        {"00000000143005", "18991230143005"},
        {"20121231143005", "20121231143005"},
        {"20000229235959", "20000229235959"},
        {"18991230000000", "18991230000000"},
        {"00010101000000", "00010101000000"},
        {"99991231235959", "99991231235959"},
        {"20121231143005999", "20121231143005"}, // characters after the 14th are not read
    };
    for (const auto &r : rows)
        EXPECT_EQ(FormatDateValue("yyyymmddhhnnss", CompactToDateTime(r.text)), r.formatted)
            << r.text;
    EXPECT_DOUBLE_EQ(CompactToDateTime("00000000143005"), EncodeTime(14, 30, 5));
    EXPECT_DOUBLE_EQ(CompactToDateTime("20121231"), EncodeDate(2012, 12, 31));
}

TEST(EKCodecs, CompactToDateTimeRefusesBadText)
{
    for (const char *text :
         {"", "2012123", "201212311430", "2012123114300", "20121331", "20120230", "00000000",
          "2012x231", "20121231250000", "20121231146000", "20121231143060", "-0121231", " 2012123",
          "2012 231143005", "20121231+43005", "0000000014300x", "00000000240000",
          "\xC5\xA1\xC5\xA1\xC5\xA1\xC5\xA1"})
        EXPECT_THROW(CompactToDateTime(text), EConvertError) << text;
}

TEST(EKCodecs, CompactFormRoundTripsThroughFormat)
{
    std::mt19937 rng(99);
    for (int i = 0; i < 5000; ++i) {
        TEKDateTimeParts p;
        p.Year = 1 + static_cast<int>(rng() % 9999);
        p.Month = 1 + static_cast<int>(rng() % 12);
        p.Day = 1 + static_cast<int>(rng() % DaysInMonth(p.Year, p.Month));
        p.Hour = static_cast<int>(rng() % 24);
        p.Minute = static_cast<int>(rng() % 60);
        p.Second = static_cast<int>(rng() % 60);
        const std::string text = FormatDateValue("yyyymmddhhnnss", EncodeDateTime(p));
        ASSERT_EQ(FormatDateValue("yyyymmddhhnnss", CompactToDateTime(text)), text);
    }
}

TEST(EKCodecs, TextToDate)
{
    struct Row
    {
        std::string text;
        int y, m, d;
    };
    const std::vector<Row> rows = {
        {"31.12.2012", 2012, 12, 31},  {"1.2.2012", 2012, 2, 1},     {"01.02.2012", 2012, 2, 1},
        {" 29.02.2000 ", 2000, 2, 29}, {"5.6.12", 2012, 6, 5},       {"5.6.99", 1999, 6, 5},
        {"1.1.0001", 1, 1, 1},         {"31.12.9999", 9999, 12, 31}, {"15.3.1850", 1850, 3, 15},
    };
    for (const auto &r : rows)
        EXPECT_DOUBLE_EQ(TextToDate(r.text), EncodeDate(r.y, r.m, r.d)) << r.text;
}

TEST(EKCodecs, TextToDateRefusesBadText)
{
    for (const char *text :
         {"",           "  ",         "31.12",     "31.12.",     "31/12/2012",
          "32.12.2012", "29.02.2011", "0.1.2012",  "1.0.2012",   "1.13.2012",
          "1.1.10000",  "1..2012",    ".1.2012",   "1.1.2012.",  "a.1.2012",
          "1.1.20x2",   "+1.1.2012",  "-1.1.2012", "001.1.2012", "1.1.2012 12:00",
          "1 .1.2012",  "2012-12-31"})
        EXPECT_THROW(TextToDate(text), EConvertError) << text;
}

TEST(EKCodecs, Truncations)
{
    const TEKDateTime dt = ComposeDateTime(EncodeDate(2012, 12, 31), EncodeTime(14, 30, 59, 999));
    EXPECT_EQ(FormatDateValue("yyyymmddhhnnss.zzz", TruncToMinute(dt)), "20121231143000.000");
    EXPECT_EQ(FormatDateValue("yyyymmddhhnnss.zzz", TruncToHour(dt)), "20121231140000.000");
    EXPECT_DOUBLE_EQ(DateOnly(dt), EncodeDate(2012, 12, 31));
    // A binary value just below a whole minute is that minute, not the one before.
    const TEKDateTime minute = EncodeDate(2012, 12, 31) + 14.0 / 24 + 31.0 / 1440;
    EXPECT_EQ(FormatDateValue("hh:nn:ss", TruncToMinute(std::nextafter(minute, 0.0))), "14:31:00");
}

TEST(EKCodecs, NowIsAPlausibleLocalTime)
{
    const TEKDateTime now = Now();
    const TEKDateTimeParts p = DecodeDateTime(now);
    EXPECT_GE(p.Year, 2020);
    EXPECT_DOUBLE_EQ(Today(), DateOnly(Today()));
    EXPECT_LE(Today(), Now());
}

// --- Numbers --------------------------------------------------------------------

TEST(EKCodecs, FloatToText)
{
    struct Row
    {
        double value;
        int decimals;
        std::string text;
    };
    const std::vector<Row> rows = {
        {2.5, 4, "2.5000"},
        {-3, 2, "-3.00"},
        {1234567, 0, "1234567"},
        {0, 0, "0"},
        {0, 3, "0.000"},
        {-0.0, 2, "0.00"},
        {-0.001, 2, "0.00"}, // negative only when something is left after rounding
        {-0.005, 2, "-0.01"},
        {0.125, 2, "0.13"}, // halves away from zero
        {-0.125, 2, "-0.13"},
        {2.5, 0, "3"},
        {1.005, 2, "1.01"}, // as written, not as stored in binary
        {0.5, 0, "1"},
        {0.49, 0, "0"},
        {9.995, 2, "10.00"},
        {99.99, 1, "100.0"},
        {0.0001234, 6, "0.000123"},
        {0.0000004, 6, "0.000000"},
        {0.0000005, 6, "0.000001"},
        {123.456, -3, "123"},
        {1e20, 0, "100000000000000000000"},
        {1.5e-10, 2, "0.00"},
        {12345.678, 1, "12345.7"},
        {NAN, 2, "NAN"},
        {INFINITY, 2, "INF"},
        {-INFINITY, 2, "-INF"},
    };
    for (const auto &r : rows)
        EXPECT_EQ(FloatToText(r.value, r.decimals), r.text) << r.value << " " << r.decimals;
    EXPECT_EQ(FloatToText(1e308, 2).size(), 309u + 3u);
    EXPECT_EQ(FloatToText(0.1, 30), "0.100000000000000000");
}

TEST(EKCodecs, TextToFloat)
{
    struct Row
    {
        std::string text;
        double value;
    };
    const std::vector<Row> rows = {
        {"1.5", 1.5},
        {"1,5", 0},
        {"  -2.25", -2.25},
        {"+3", 3},
        {"1e3", 1000},
        {"1E-2", 0.01},
        {"2.5e+1", 25},
        {".5", 0.5},
        {"5.", 5},
        {"", 0},
        {" ", 0},
        {"1.5 ", 0},
        {"abc", 0},
        {"1.5x", 0},
        {"inf", 0},
        {"nan", 0},
        {"0x10", 0},
        {"1e", 0},
        {"1e+", 0},
        {"--1", 0},
        {"+-1", 0},
        {".", 0},
        {"-.", 0},
        {"1e999", 0},
        {"-1e999", 0},
        {"1 000", 0},
        {"\t1", 0},
        {"0", 0},
        {"-0.0", 0},
        {"007", 7},
        {"123456789.125", 123456789.125},
    };
    for (const auto &r : rows)
        EXPECT_DOUBLE_EQ(TextToFloat(r.text), r.value) << "[" << r.text << "]";
}

TEST(EKCodecs, FloatTextRoundTrip)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> dist(-1e6, 1e6);
    for (int i = 0; i < 5000; ++i) {
        const double v = std::round(dist(rng) * 100) / 100;
        ASSERT_DOUBLE_EQ(TextToFloat(FloatToText(v, 2)), v) << v;
    }
}

TEST(EKCodecs, BoolText)
{
    EXPECT_EQ(BoolToText(true), "1");
    EXPECT_EQ(BoolToText(false), "0");
    const std::vector<std::pair<std::string, bool>> rows = {
        {"1", true},     {"1 ", false}, {" 1", false}, {"0", false},
        {"true", false}, {"", false},   {"01", false}, {"2", false}};
    for (const auto &[text, value] : rows)
        EXPECT_EQ(TextToBool(text), value) << "[" << text << "]";
}

TEST(EKCodecs, Hex)
{
    EXPECT_EQ(ByteToHex(0), "00");
    EXPECT_EQ(ByteToHex(0xAB), "AB");
    EXPECT_EQ(ByteToHex(0x0F), "0F");
    const unsigned char bytes[] = {0, 255};
    EXPECT_EQ(BytesToHex(bytes, 2), "00FF");
    EXPECT_EQ(BytesToHex(bytes, 0), "");
    EXPECT_EQ(BytesToHex(nullptr, 0), "");
    EXPECT_EQ(BytesToHex(std::string_view("\x01\x7f\x80", 3)), "017F80");
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    const std::string hex = BytesToHex(all);
    ASSERT_EQ(hex.size(), 512u);
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(std::stoi(hex.substr(b * 2, 2), nullptr, 16), b);
}

TEST(EKCodecs, FieldNames)
{
    EXPECT_EQ(FieldIdToName(42), "c42");
    EXPECT_EQ(FieldIdToName(0), "c0");
    EXPECT_EQ(FieldIdToName(-7), "c-7");
    const std::vector<std::pair<std::string, int>> good = {
        {"c42", 42}, {"c0", 0}, {"x17", 17}, {"c-7", -7}, {"c2147483647", 2147483647}, {"42", 2}};
    for (const auto &[name, id] : good)
        EXPECT_EQ(FieldNameToId(name), id) << name;
    for (const char *name : {"", "c", "c42_d", "cc42", "c 42", "c42 ", "c2147483648", "c+-1"})
        EXPECT_THROW(FieldNameToId(name), EConvertError) << name;
}

TEST(EKCodecs, StrToInt)
{
    const std::vector<std::pair<std::string, int>> good = {
        {"0", 0}, {"-1", -1}, {"+5", 5}, {"2147483647", 2147483647}, {"-2147483648", INT32_MIN}};
    for (const auto &[text, value] : good)
        EXPECT_EQ(StrToInt(text), value) << text;
    for (const char *text : {"", "+", "-", " 1", "1 ", "1.0", "0x1", "2147483648", "+-1", "1e3"}) {
        int v = 99;
        EXPECT_FALSE(TryStrToInt(text, v)) << text;
        EXPECT_EQ(v, 99);
        EXPECT_THROW(StrToInt(text), EConvertError) << text;
    }
}

} // namespace
