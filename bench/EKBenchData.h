#pragma once

// Realistic server answers for benchmarks: a "getdata" answer whose data set
// has twelve columns of every column type and rows whose cells carry "fldord",
// free texts in CDATA sections with Czech letters, and some cells left out.
// The bytes are windows-1250, as they arrive on the wire.

#include "EKWin1250.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <initializer_list>
#include <vector>

namespace EKBenchData {

struct Column
{
    const char *Name;
    const char *Type;
    int Size;
};

// Column order of every generated answer: each type twice.
inline constexpr Column kColumns[12] = {
    {"c101", "string", 40},  {"c102", "integer", 0}, {"c103", "date", 0},
    {"c104", "datetime", 0}, {"c105", "time", 0},    {"c106", "numeric", 0},
    {"c107", "string", 200}, {"c108", "integer", 0}, {"c109", "date", 0},
    {"c110", "numeric", 0},  {"c111", "string", 10}, {"c112", "datetime", 0},
};

// A small deterministic generator, so that every run parses the same bytes.
class Random
{
public:
    explicit Random(std::uint64_t seed) : FState(seed) {}
    std::uint32_t Next()
    {
        FState = FState * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(FState >> 33);
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint32_t>(n)); }

private:
    std::uint64_t FState;
};

// Words with Czech letters (written here in UTF-8, sent in windows-1250).
struct Words
{
    std::vector<std::string> FirstNames, LastNames, Nouns;
};

inline const Words &Dictionary()
{
    static const Words words = [] {
        auto encode = [](std::initializer_list<const char *> list) {
            std::vector<std::string> out;
            for (const char *w : list)
                out.push_back(Utf8ToWin1250(w));
            return out;
        };
        Words w;
        w.FirstNames = encode({"Jan", "Petr", "Jiří", "Tomáš", "Štefan", "Lucie", "Kateřina",
                               "Žaneta", "Oldřich", "Václav", "Eva", "Čeněk"});
        w.LastNames = encode({"Novák", "Dvořák", "Švec", "Černý", "Železný", "Procházková",
                              "Kučerová", "Řezníček", "Horák", "Malý", "Král", "Beneš"});
        w.Nouns = encode({"objednávka", "dodávka", "šroub", "matice", "záruční", "servis", "část",
                          "přeprava", "sklad", "železo", "hliník", "oprava", "měsíční", "platba",
                          "faktura", "řada"});
        return w;
    }();
    return words;
}

inline void AppendNumber(std::string &out, long long value, int width = 0)
{
    char buffer[32];
    int n = std::snprintf(buffer, sizeof buffer, "%0*lld", width, value);
    out.append(buffer, static_cast<std::size_t>(n));
}

inline void AppendCell(std::string &out, int ord)
{
    out += "<fld fldord=\"";
    AppendNumber(out, ord);
    out += "\">";
}

inline void AppendDate(std::string &out, Random &r)
{
    AppendNumber(out, 2000 + r.Below(25), 4);
    AppendNumber(out, 1 + r.Below(12), 2);
    AppendNumber(out, 1 + r.Below(28), 2);
}

inline void AppendClock(std::string &out, Random &r)
{
    AppendNumber(out, r.Below(24), 2);
    AppendNumber(out, r.Below(60), 2);
    AppendNumber(out, r.Below(60), 2);
}

inline void AppendDecimal(std::string &out, Random &r)
{
    AppendNumber(out, r.Below(100000));
    out += '.';
    AppendNumber(out, r.Below(100), 2);
}

inline void AppendRow(std::string &out, Random &r, long long id)
{
    out += "<row>";
    for (int ord = 0; ord < 12; ++ord) {
        // Some cells are left out, as the server does for empty values.
        bool leaveOut = (ord == 6 && r.Below(5) == 0) || (ord == 8 && r.Below(3) == 0) ||
                        (ord == 9 && r.Below(4) == 0) || (ord == 11 && r.Below(6) == 0);
        if (leaveOut)
            continue;
        AppendCell(out, ord);
        switch (ord) {
        case 0:
            out += "<![CDATA[";
            out += Dictionary().LastNames[r.Below(12)];
            out += ' ';
            out += Dictionary().FirstNames[r.Below(12)];
            out += "]]>";
            break;
        case 1:
            AppendNumber(out, id);
            break;
        case 2:
        case 8:
            AppendDate(out, r);
            break;
        case 3:
        case 11:
            AppendDate(out, r);
            AppendClock(out, r);
            break;
        case 4:
            out += "00000000";
            AppendClock(out, r);
            break;
        case 5:
        case 9:
            AppendDecimal(out, r);
            break;
        case 6: {
            out += "<![CDATA[";
            int words = 2 + r.Below(6);
            for (int w = 0; w < words; ++w) {
                if (w)
                    out += ' ';
                out += Dictionary().Nouns[r.Below(16)];
            }
            out += "]]>";
            break;
        }
        case 7:
            AppendNumber(out, r.Below(1000));
            break;
        case 10:
            out += "<![CDATA[";
            out += static_cast<char>('A' + r.Below(26));
            out += static_cast<char>('A' + r.Below(26));
            out += '-';
            AppendNumber(out, r.Below(10000), 4);
            out += "]]>";
            break;
        }
        out += "</fld>";
    }
    out += "</row>\n";
}

// A "getdata" answer of about targetBytes bytes (at least one row).
inline std::string MakeDataSetAnswer(std::size_t targetBytes, std::uint64_t seed = 1)
{
    std::string out;
    out.reserve(targetBytes + 4096);
    out += "<?xml version=\"1.0\" encoding=\"windows-1250\" ?>\n";
    out += "<re_getdata formid=\"12\" reqid=\"7\">\n<xmlsetdef>";
    for (const Column &c : kColumns) {
        out += "<col><name>";
        out += c.Name;
        out += "</name><size>";
        AppendNumber(out, c.Size);
        out += "</size><type>";
        out += c.Type;
        out += "</type></col>";
    }
    out += "</xmlsetdef>\n<xmlsetdata>\n";
    const std::string_view tail = "</xmlsetdata>\n</re_getdata>";
    Random r(seed);
    long long id = 1;
    do {
        AppendRow(out, r, id++);
    } while (out.size() + tail.size() < targetBytes);
    out += tail;
    return out;
}

} // namespace EKBenchData
