#include "EKPSetting.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class EKPSettingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string tmpl = (fs::temp_directory_path() / "EKPSettingTest.XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        Dir = tmpl;
        SetExeFolder(Dir.string());
        ResetSettingValues();
    }
    void TearDown() override
    {
        SetExeFolder("");
        ResetSettingValues();
        fs::remove_all(Dir);
    }
    void WriteFile(const fs::path &name, const std::string &bytes)
    {
        std::ofstream out(Dir / name, std::ios::binary);
        out << bytes;
    }
    std::string ReadFile(const fs::path &name)
    {
        std::ifstream in(Dir / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    fs::path Dir;
};

TEST_F(EKPSettingTest, ExeFolderEndsWithSeparator)
{
    EXPECT_EQ(ExeFolder(), Dir.string() + "/");
    SetExeFolder("");
    std::string own = ExeFolder();
    ASSERT_FALSE(own.empty());
    EXPECT_EQ(own.back(), '/');
    EXPECT_TRUE(fs::exists(own));
}

TEST_F(EKPSettingTest, MissingFileGivesDefaults)
{
    TEKPSetting s;
    EXPECT_FALSE(ReadSettings(s));
    const TEKPSettingValues &v = SettingValues();
    EXPECT_EQ(v.Host, "");
    EXPECT_EQ(v.Port, 0);
    EXPECT_EQ(v.Path, "");
    EXPECT_EQ(v.NoopFrequency, 0);
    EXPECT_FALSE(v.ShowLog);
    EXPECT_FALSE(v.LogComm);
    EXPECT_EQ(s.Language, "ENG");
    EXPECT_EQ(s.DefaultModule, 0);
    EXPECT_TRUE(s.ClientModules.empty());
}

struct SettingsCase
{
    const char *Name;
    const char *Ini;
    bool Result;
    const char *Host;
    int Port;
    const char *Path;
    int Noop;
    bool ShowLog;
    int DefaultModule;
    const char *Language;
    bool LogComm;
    bool Tabs;
    bool Max;
    size_t Modules;
};

const char kFull[] = "[connection]\nhost=srv\nport=8080\npath= /app/ \nnoopfrequency=60\n"
                     "proxyhost=px\n[client]\nshowlog=1\ndefaultmodule=30\nlanguage=DEU\n"
                     "logcomm=1\nmodulewintabs=1\nmodulewinmax=1\n[client_modules]\nm30=Sales\n";

const SettingsCase kCases[] = {
    {"full", kFull, true, "srv", 8080, "app", 60, true, 30, "DEU", true, true, true, 1},
    {"double slashes", "[connection]\nhost=h\nport=1\npath=//app//\n", true, "h", 1, "/app/", 0,
     false, 0, "ENG", false, false, false, 0},
    {"only a slash", "[connection]\nhost=h\nport=1\npath=/\n", true, "h", 1, "", 0, false, 0, "ENG",
     false, false, false, 0},
    {"port not a number", "[connection]\nhost=srv\nport=abc\npath=p\n[client]\nshowlog=1\n", false,
     "srv", 0, "", 0, false, 0, "ENG", false, false, false, 0},
    {"negative keep-alive", "[connection]\nhost=h\nport=1\nnoopfrequency=-1\n", false, "h", 1, "",
     -1, false, 0, "ENG", false, false, false, 0},
    {"no host", "[connection]\nport=1\n", false, "", 1, "", 0, false, 0, "ENG", false, false, false,
     0},
    {"zero port", "[connection]\nhost=h\nport=0\n", false, "h", 0, "", 0, false, 0, "ENG", false,
     false, false, 0},
    {"switch words stay off",
     "[connection]\nhost=h\nport=1\n[client]\nshowlog=yes\nlogcomm=true\nmodulewintabs=2\n", true,
     "h", 1, "", 0, false, 0, "ENG", false, false, false, 0},
    {"bad default module",
     "[connection]\nhost=h\nport=2\npath=p\nproxyhost=x\n[client]\nshowlog=1\ndefaultmodule=x\n"
     "language=DEU\nlogcomm=1\nmodulewintabs=1\nmodulewinmax=1\n[client_modules]\nm1=A\n",
     true, "h", 2, "p", 0, true, 0, "ENG", false, false, false, 0},
    {"port too large", "[connection]\nhost=h\nport=99999999999\n", false, "h", 0, "", 0, false, 0,
     "ENG", false, false, false, 0},
};

TEST_F(EKPSettingTest, ReadsTheFile)
{
    for (const SettingsCase &c : kCases) {
        ResetSettingValues();
        WriteFile("WEK.ini", c.Ini);
        TEKPSetting s;
        EXPECT_EQ(ReadSettings(s), c.Result) << c.Name;
        const TEKPSettingValues &v = SettingValues();
        EXPECT_EQ(v.Host, c.Host) << c.Name;
        EXPECT_EQ(v.Port, c.Port) << c.Name;
        EXPECT_EQ(v.Path, c.Path) << c.Name;
        EXPECT_EQ(v.NoopFrequency, c.Noop) << c.Name;
        EXPECT_EQ(v.ShowLog, c.ShowLog) << c.Name;
        EXPECT_EQ(s.DefaultModule, c.DefaultModule) << c.Name;
        EXPECT_EQ(s.Language, c.Language) << c.Name;
        EXPECT_EQ(v.LogComm, c.LogComm) << c.Name;
        EXPECT_EQ(v.ModuleWinTabs, c.Tabs) << c.Name;
        EXPECT_EQ(v.ModuleWinMax, c.Max) << c.Name;
        EXPECT_EQ(s.ClientModules.size(), c.Modules) << c.Name;
    }
}

TEST_F(EKPSettingTest, ProxyValuesReadBeforeAStop)
{
    WriteFile("WEK.ini", "[connection]\nhost=h\nport=1\nproxyhost=ph\nproxyport=3128\n"
                         "proxyuser=u\nproxypass=p w\n[client]\ndefaultmodule=bad\n");
    TEKPSetting s;
    EXPECT_TRUE(ReadSettings(s));
    EXPECT_EQ(SettingValues().ProxyHost, "ph");
    EXPECT_EQ(SettingValues().ProxyPort, "3128");
    EXPECT_EQ(SettingValues().ProxyUser, "u");
    EXPECT_EQ(SettingValues().ProxyPass, "p w");
}

TEST_F(EKPSettingTest, ModuleAndIconSectionsKeepFileOrder)
{
    WriteFile("WEK.ini", "[connection]\nhost=h\nport=1\n[client_icons]\ni20=/icons/b.png\n"
                         "i10=a.ico\n[client_modules]\nm30=Sales\nm10=Stock\nm20=Staff\n");
    TEKPSetting s;
    ASSERT_TRUE(ReadSettings(s));
    EXPECT_EQ(s.ClientModules, (std::vector<std::string>{"m30=Sales", "m10=Stock", "m20=Staff"}));
    EXPECT_EQ(s.ClientIcons, (std::vector<std::string>{"i20=/icons/b.png", "i10=a.ico"}));
}

TEST(EKPSettingModuleLine, SplitsNameAndValue)
{
    struct Row
    {
        const char *Line;
        bool Ok;
        int Id;
        const char *Value;
    };
    const Row rows[] = {
        {"m30=Sales", true, 30, "Sales"}, {"x-4=Neg", true, -4, "Neg"}, {"m=Empty", false, 0, ""},
        {"mab=Bad", false, 0, ""},        {"noequals", false, 0, ""},   {"m7=a=b", true, 7, "a=b"},
    };
    for (const Row &r : rows) {
        int32_t id = 0;
        std::string value;
        EXPECT_EQ(ParseModuleLine(r.Line, id, value), r.Ok) << r.Line;
        if (r.Ok) {
            EXPECT_EQ(id, r.Id) << r.Line;
            EXPECT_EQ(value, r.Value) << r.Line;
        }
    }
}

TEST_F(EKPSettingTest, RunCounter)
{
    struct Row
    {
        const char *Name;
        bool Exists;
        std::string Before;
        int Expected;
        std::string After;
    };
    const Row rows[] = {
        {"missing file", false, "", 1, std::string("\x01\0\0\0", 4)},
        {"41 becomes 42", true, std::string("\x29\0\0\0", 4), 42, std::string("\x2A\0\0\0", 4)},
        {"short file", true, std::string("\x05\0\0", 3), 1, std::string("\x01\0\0\0", 4)},
        {"later bytes kept", true, std::string("\xFF\x00\x00\x00tail", 8), 256,
         std::string("\x00\x01\x00\x00tail", 8)},
        {"counter at its end", true, std::string("\xFF\xFF\xFF\x7F", 4), 1,
         std::string("\x01\0\0\0", 4)},
    };
    fs::create_directory(Dir / "temp");
    for (const Row &r : rows) {
        ResetSettingValues();
        fs::remove(Dir / "temp/clglob.bin");
        if (r.Exists)
            WriteFile("temp/clglob.bin", r.Before);
        EXPECT_EQ(GetRunNumber(), r.Expected) << r.Name;
        EXPECT_EQ(ReadFile("temp/clglob.bin"), r.After) << r.Name;
    }
}

TEST_F(EKPSettingTest, RunNumberIsFixedForTheProcess)
{
    fs::create_directory(Dir / "temp");
    WriteFile("temp/clglob.bin", std::string("\x07\0\0\0", 4));
    EXPECT_EQ(GetRunNumber(), 8);
    WriteFile("temp/clglob.bin", std::string("\x63\0\0\0", 4));
    EXPECT_EQ(GetRunNumber(), 8);
    EXPECT_EQ(ReadFile("temp/clglob.bin"), std::string("\x63\0\0\0", 4));
}

TEST_F(EKPSettingTest, NoTempFolderGivesZeroAndRetries)
{
    EXPECT_EQ(GetRunNumber(), 0);
    EXPECT_FALSE(fs::exists(Dir / "temp"));
    fs::create_directory(Dir / "temp");
    EXPECT_EQ(GetRunNumber(), 1);
}

} // namespace
