#include "EKRes.h"

#include "EKCProgManager.h"
#include "EKPSetting.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

class EKResTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string tmpl = (fs::temp_directory_path() / "EKResTest.XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        Dir = tmpl;
        SetExeFolder(Dir.string());
        SetClientTextFunc(nullptr);
    }
    void TearDown() override
    {
        SetClientTextFunc(nullptr);
        SetExeFolder("");
        fs::remove_all(Dir);
    }
    void Install(const char *built, const char *as)
    {
        fs::copy_file(fs::path(WEK_BIN_DIR) / built, Dir / as);
    }
    fs::path Dir;
};

TEST_F(EKResTest, WithoutALibraryTextsAreTheirNumbers)
{
    EXPECT_EQ(ClientText(8), "!8");
    EXPECT_EQ(ClientText(0), "");
    EXPECT_EQ(ClientText(-5), "!-5");
    TEKCProgManager manager;
    EXPECT_FALSE(manager.LoadClientLocales("ENG"));
    EXPECT_EQ(ClientTextFunc(), nullptr);
    EXPECT_EQ(ClientText(1), "!1");
}

TEST_F(EKResTest, LanguageSelectsTheLibrary)
{
    struct Row
    {
        const char *Language;
        int Id;
        const char *Text;
    };
    const Row rows[] = {
        {"ENG", 1, "&File"},
        {"ENG", 2, "Close"},
        {"ENG", 11, "Help contents"},
        {"ENG", 28, "Close window"},
        {"ENG", 13, "!13"},
        {"ENG", 0, ""},
        {"DEU", 1, "&Datei"},
        {"DEU", 21, "E&inf\xC3\xBCgen"},
        {"DEU", 29,
         "N\xC3\xA4"
         "chstes Fenster"},
        {"deu", 6, "&Fenster"},
    };
    Install("WEKCli.eng", "WEKCli.eng");
    Install("WEKCli.deu", "WEKCli.deu");
    for (const Row &r : rows) {
        TEKCProgManager manager; // a fresh registry for every language
        ASSERT_TRUE(manager.LoadClientLocales(r.Language)) << r.Language;
        EXPECT_EQ(ClientText(r.Id), r.Text) << r.Language << " " << r.Id;
    }
}

TEST_F(EKResTest, EveryMenuTextExistsInEveryLanguage)
{
    for (const char *ext : {"eng", "deu"}) {
        TEKLocRegistry registry;
        TEKGetStrFunc func = nullptr;
        fs::remove(Dir / "WEKCli.x");
        Install((std::string("WEKCli.") + ext).c_str(), "WEKCli.x");
        ASSERT_TRUE(registry.LoadLocaleLibrary("WEKCli", "x", func)) << ext;
        SetClientTextFunc(func);
        for (int id = 1; id <= 31; ++id) {
            std::string text = ClientText(id);
            if (id == 13)
                EXPECT_EQ(text, "!13") << ext;
            else
                EXPECT_NE(text.substr(0, 1), "!") << ext << " " << id;
        }
    }
}

TEST_F(EKResTest, LibraryWithoutGetStrIsRefused)
{
    Install("WEKCli.notext", "WEKCli.xyz");
    TEKCProgManager manager;
    EXPECT_FALSE(manager.LoadClientLocales("XYZ"));
    ASSERT_NE(manager.Locales(), nullptr);
    EXPECT_EQ(manager.Locales()->Count(), 0);
    EXPECT_EQ(ClientText(8), "!8");
}

TEST_F(EKResTest, RegistryIsKeyedByBaseName)
{
    Install("WEKCli.eng", "WEKCli.eng");
    Install("WEKCli.deu", "WEKCli.deu");
    TEKLocRegistry registry;
    TEKGetStrFunc eng = nullptr;
    TEKGetStrFunc again = nullptr;
    ASSERT_TRUE(registry.LoadLocaleLibrary("WEKCli", "eng", eng));
    ASSERT_TRUE(registry.LoadLocaleLibrary("wekcli", "deu", again));
    EXPECT_EQ(again, eng);
    EXPECT_EQ(registry.Count(), 1);
}

TEST_F(EKResTest, ReleasingTheRegistryDropsItsTextFunction)
{
    Install("WEKCli.eng", "WEKCli.eng");
    {
        TEKCProgManager manager;
        ASSERT_TRUE(manager.LoadClientLocales("ENG"));
        EXPECT_EQ(ClientText(3), "&Edit");
    }
    EXPECT_EQ(ClientTextFunc(), nullptr);
    EXPECT_EQ(ClientText(3), "!3");
}

bool OverlongText(int, unsigned char *buffer, int)
{
    buffer[0] = 255;
    for (int i = 1; i < 256; ++i)
        buffer[i] = 'a';
    return true;
}

bool NoText(int, unsigned char *, int)
{
    return false;
}

TEST_F(EKResTest, TextFunctionResults)
{
    SetClientTextFunc(OverlongText);
    EXPECT_EQ(ClientText(1), std::string(255, 'a'));
    SetClientTextFunc(NoText);
    EXPECT_EQ(ClientText(7), "!7");
    EXPECT_EQ(ClientText(0), "");
}

} // namespace
