#include "EKIniFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

struct ReadCase
{
    const char *Name;
    const char *Text;
    const char *Section;
    const char *Key;
    const char *Expected;
};

const ReadCase kReadCases[] = {
    {"plain", "[connection]\nhost=srv\n", "connection", "host", "srv"},
    {"section case", "[Connection]\nhost=srv\n", "CONNECTION", "host", "srv"},
    {"key case", "[connection]\nHoSt=srv\n", "connection", "HOST", "srv"},
    {"value trimmed", "[c]\nhost =  srv one \t\n", "c", "host", "srv one"},
    {"first duplicate wins", "[c]\nhost=a\nhost=b\n", "c", "host", "a"},
    {"merged sections", "[c]\nx=1\n[d]\n[C]\nhost=late\n", "c", "host", "late"},
    {"crlf", "[c]\r\nhost=srv\r\nport=1\r\n", "c", "host", "srv"},
    {"missing key", "[c]\nport=1\n", "c", "host", "<def>"},
    {"missing section", "[d]\nhost=srv\n", "c", "host", "<def>"},
    {"before any section", "host=srv\n[c]\n", "c", "host", "<def>"},
    {"comment", "[c]\n;host=srv\n#host=x\n", "c", "host", "<def>"},
    {"empty value", "[c]\nhost=\n", "c", "host", ""},
    {"equals in value", "[c]\nhost=a=b\n", "c", "host", "a=b"},
    {"bare line is no key", "[c]\nhost\n", "c", "host", "<def>"},
    {"byte order mark", "\xEF\xBB\xBF[c]\nhost=srv\n", "c", "host", "srv"},
    {"unterminated section", "[c\nhost=srv\n", "c", "host", "srv"},
    {"windows-1250 text", "[c]\nhost=\x9A\xE8\n", "c", "host", "\xC5\xA1\xC4\x8D"},
    {"utf-8 kept", "[c]\nhost=\xC5\xA1\n", "c", "host", "\xC5\xA1"},
};

TEST(EKIniFileTest, ReadsValuesByTheRules)
{
    for (const ReadCase &c : kReadCases) {
        TEKIniFile ini;
        ini.LoadFromText(c.Text);
        EXPECT_EQ(ini.ReadString(c.Section, c.Key, "<def>"), c.Expected) << c.Name;
    }
}

TEST(EKIniFileTest, SectionValuesComeInFileOrder)
{
    TEKIniFile ini;
    ini.LoadFromText("[client_modules]\nm30 = Sales\nm10=Stock\n ;note\n\nm20=Staff\n"
                     "[other]\nx=1\n[CLIENT_MODULES]\nm5=Late\n");
    std::vector<std::string> expected = {"m30=Sales", "m10=Stock", "m20=Staff", "m5=Late"};
    EXPECT_EQ(ini.ReadSectionValues("Client_Modules"), expected);
    EXPECT_TRUE(ini.ReadSectionValues("missing").empty());
    EXPECT_TRUE(ini.SectionExists("OTHER"));
    EXPECT_FALSE(ini.SectionExists("missing"));
}

TEST(EKIniFileTest, MissingFileReadsAsEmpty)
{
    TEKIniFile ini;
    ini.LoadFromText("[c]\nx=1\n");
    EXPECT_FALSE(ini.LoadFromFile("/nonexistent/dir/WEK.ini"));
    EXPECT_FALSE(ini.SectionExists("c"));
}

TEST(EKIniFileTest, LoadsFromFile)
{
    auto path = std::filesystem::temp_directory_path() / "EKIniFileTest.ini";
    {
        std::ofstream out(path, std::ios::binary);
        out << "[a]\nk=v\n";
    }
    TEKIniFile ini;
    ASSERT_TRUE(ini.LoadFromFile(path.string()));
    EXPECT_EQ(ini.ReadString("a", "k", ""), "v");
    std::filesystem::remove(path);
}

} // namespace

namespace {

// Every truncation of a file reads without failing, and what it gives is a
// prefix of what the whole file gives.
TEST(EKIniFileTest, EveryTruncatedFileReads)
{
    const std::string whole =
        "\xEF\xBB\xBF[connection]\r\nhost = srv\r\n; c\r\n[client_modules]\r\n"
        "m30=Sales\r\nm10=\x8A"
        "tock\r\n";
    for (size_t n = 0; n <= whole.size(); ++n) {
        TEKIniFile ini;
        ini.LoadFromText(std::string_view(whole).substr(0, n));
        std::string host = ini.ReadString("connection", "host", "");
        EXPECT_EQ(std::string("srv").rfind(host, 0), 0u) << n << ": " << host;
        std::vector<std::string> modules = ini.ReadSectionValues("client_modules");
        EXPECT_LE(modules.size(), 2u) << n;
        if (!modules.empty()) {
            EXPECT_EQ(std::string("m30=Sales").rfind(modules[0], 0), 0u) << n << ": " << modules[0];
        }
    }
}

} // namespace
