#include "EKCProgManager.h"

#include "EKCLog.h"
#include "EKPSetting.h"
#include "EKPTransport.h"
#include "EKTestServer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>

namespace fs = std::filesystem;
using Clock = std::chrono::system_clock;

namespace {

class TRecordingHooks : public TEKGuiHooks
{
public:
    void ShowInfo(const std::string &text) override { Shown.push_back("info:" + text); }
    void ShowError(const std::string &text) override { Shown.push_back("error:" + text); }
    bool Confirm(const std::string &, bool) override { return false; }
    void BeginBusy() override {}
    void EndBusy() override {}
    void AppendCommLog(const std::string &) override {}
    std::vector<std::string> Shown;
};

// The run with the windows replaced: the login answers as told, the main
// window records that it ran.
class TTestProgManager : public TEKCProgManager
{
public:
    bool Accept = false;
    bool ThrowInMainWindow = false;
    std::vector<std::string> Steps;

    bool RefreshUserProfile(bool send, bool receive) override
    {
        Steps.push_back(std::string("refresh ") + (send ? "send" : "") +
                        (receive ? "receive" : ""));
        return false;
    }
    void Logout() override { Steps.push_back("logout"); }

protected:
    bool ExecLoginWindow() override
    {
        Steps.push_back("login");
        return Accept;
    }
    void ExecMainWindow() override
    {
        Steps.push_back("main window");
        if (ThrowInMainWindow)
            throw std::runtime_error("main window failed");
    }
};

class EKCProgManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string tmpl = (fs::temp_directory_path() / "EKCProgManagerTest.XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        Dir = tmpl;
        SetExeFolder(Dir.string());
        ResetSettingValues();
        SetGuiHooks(&Hooks);
    }
    void TearDown() override
    {
        SetGuiHooks(nullptr);
        SetExeFolder("");
        ResetSettingValues();
        fs::remove_all(Dir);
    }
    void Touch(const fs::path &p, Clock::time_point when)
    {
        fs::create_directories(p.parent_path());
        std::ofstream(p) << "x";
        SetTime(p, when);
    }
    static void SetTime(const fs::path &p, Clock::time_point when)
    {
        auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch());
        struct timespec ts[2];
        ts[0].tv_sec = ts[1].tv_sec = static_cast<time_t>(ns.count() / 1000000000);
        ts[0].tv_nsec = ts[1].tv_nsec = static_cast<long>(ns.count() % 1000000000);
        ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), ts, AT_SYMLINK_NOFOLLOW), 0) << p;
    }
    std::vector<std::string> LogLines()
    {
        std::vector<std::string> lines;
        for (auto &e : fs::directory_iterator(Dir / "logs")) {
            std::ifstream in(e.path());
            for (std::string line; std::getline(in, line);)
                lines.push_back(line);
        }
        return lines;
    }
    // The log lines without time: "level; source; text".
    std::vector<std::string> LogEvents()
    {
        std::vector<std::string> out;
        for (const std::string &l : LogLines()) {
            if (l.rfind("file opened: ", 0) == 0 || l.empty())
                continue;
            size_t first = l.find("; ");
            size_t second = l.find("; ", first + 2);
            out.push_back(l.substr(0, first) + l.substr(second));
        }
        return out;
    }
    fs::path Dir;
    TRecordingHooks Hooks;
};

TEST_F(EKCProgManagerTest, ErrorTexts)
{
    struct Row
    {
        int Code;
        const char *Text;
    };
    const Row rows[] = {{1, "no http object"},
                        {2, "http exception"},
                        {3, "cannot read XML from stream"},
                        {4, "invalid settings"},
                        {5, "common call error"},
                        {6, "request processing error"},
                        {7, "cannot load form definition from XML"},
                        {0, "??"},
                        {8, "??"},
                        {9, "??"},
                        {-5, "??"},
                        {123456, "??"}};
    TEKCProgManager manager;
    for (const Row &r : rows)
        EXPECT_EQ(manager.ErrorText(r.Code), r.Text) << r.Code;
}

TEST_F(EKCProgManagerTest, OneInstanceIsTheProgramManager)
{
    EXPECT_EQ(ProgManager(), nullptr);
    {
        TEKCProgManager manager;
        EXPECT_EQ(ProgManager(), &manager);
        EXPECT_EQ(manager.Setting().Language, "ENG");
        EXPECT_EQ(manager.Setting().DefaultModule, 0);
    }
    EXPECT_EQ(ProgManager(), nullptr);
    EXPECT_EQ(SessionSeq(), 0);
    EXPECT_EQ(UserName(), "");
}

TEST_F(EKCProgManagerTest, CancelledLoginWritesStartAndStopOnly)
{
    fs::create_directory(Dir / "logs");
    fs::create_directory(Dir / "temp");
    Touch(Dir / "temp/old.htm", Clock::now() - std::chrono::hours(24 * 30));
    TTestProgManager manager;
    EXPECT_FALSE(manager.Run());
    EXPECT_EQ(manager.Steps, std::vector<std::string>{"login"});
    EXPECT_EQ(LogEvents(), (std::vector<std::string>{"5; EKCProgManager.Run; start",
                                                     "5; EKCProgManager.Run; stop"}));
    EXPECT_TRUE(fs::exists(Dir / "temp/old.htm")); // no clean-up without login
    EXPECT_TRUE(Hooks.Shown.empty());
    EXPECT_EQ(ClientLogId(), 0);
}

TEST_F(EKCProgManagerTest, AcceptedLoginRunsEveryStep)
{
    fs::create_directory(Dir / "logs");
    fs::create_directory(Dir / "temp");
    Touch(Dir / "temp/old.htm", Clock::now() - std::chrono::hours(24 * 30));
    Touch(Dir / "temp/new.htm", Clock::now());
    Touch(Dir / "logs/WEKCl20000101_1.log", Clock::now() - std::chrono::hours(24 * 30));
    TTestProgManager manager;
    manager.Accept = true;
    manager.Setting().Language = "XYZ";
    EXPECT_TRUE(manager.Run());
    EXPECT_EQ(manager.Steps,
              (std::vector<std::string>{"login", "main window", "refresh send", "logout"}));
    EXPECT_EQ(Hooks.Shown, std::vector<std::string>{"error:Client locales cannot be opened: XYZ"});
    EXPECT_FALSE(fs::exists(Dir / "temp/old.htm"));
    EXPECT_TRUE(fs::exists(Dir / "temp/new.htm"));
    EXPECT_FALSE(fs::exists(Dir / "logs/WEKCl20000101_1.log"));
    EXPECT_EQ(LogEvents(),
              (std::vector<std::string>{"5; EKCProgManager.Run; start",
                                        "9; EKCProgManager.Run; error writing user profile",
                                        "5; EKCProgManager.Run; stop"}));
    EXPECT_EQ(ClientText(1), "!1");
}

TEST_F(EKCProgManagerTest, FailureInTheRunStillWritesStop)
{
    fs::create_directory(Dir / "logs");
    TTestProgManager manager;
    manager.Accept = true;
    manager.ThrowInMainWindow = true;
    EXPECT_FALSE(manager.Run());
    EXPECT_EQ(LogEvents(), (std::vector<std::string>{"5; EKCProgManager.Run; start",
                                                     "9; EKCProgManager.Run; main window failed",
                                                     "5; EKCProgManager.Run; stop"}));
    EXPECT_EQ(ClientLogId(), 0);
}

TEST_F(EKCProgManagerTest, Paths)
{
    std::string exe = Dir.string() + "/";
    EXPECT_EQ(TempFolder(), exe + "temp");
    EXPECT_EQ(ClientPath("logs"), exe + "logs");
    EXPECT_EQ(ClientPath("\\logs"), exe + "logs");
    EXPECT_EQ(ClientPath("/var/icons/a.png"), "/var/icons/a.png");
}

TEST_F(EKCProgManagerTest, FolderDateIsTheModificationTime)
{
    fs::create_directory(Dir / "d");
    TEKDateTime when = ComposeDateTime(EncodeDate(2012, 12, 10), EncodeTime(14, 30, 5));
    struct tm local = {};
    local.tm_year = 112;
    local.tm_mon = 11;
    local.tm_mday = 10;
    local.tm_hour = 14;
    local.tm_min = 30;
    local.tm_sec = 5;
    local.tm_isdst = -1;
    SetTime(Dir / "d", Clock::from_time_t(mktime(&local)));
    EXPECT_EQ(FormatDateValue("yyyymmddhhnnss", FolderDate((Dir / "d").string())),
              FormatDateValue("yyyymmddhhnnss", when));
    EXPECT_EQ(FormatDateValue("yyyymmddhhnnss", FolderDate((Dir / "d").string() + "/")),
              FormatDateValue("yyyymmddhhnnss", when));
    EXPECT_EQ(FolderDate((Dir / "missing").string()), 0);
}

TEST_F(EKCProgManagerTest, CleanFolderByAge)
{
    const auto now = Clock::now();
    const auto cutoff = now - std::chrono::minutes(7200);
    const fs::path t = Dir / "temp";
    struct Entry
    {
        const char *Path;
        Clock::time_point When;
        bool ReadOnly;
        bool Stays;
    };
    const Entry entries[] = {
        {"at_cutoff.htm", cutoff, false, true},
        {"after.htm", cutoff + std::chrono::minutes(1), false, true},
        {"before.htm", cutoff - std::chrono::minutes(1), false, false},
        {"before_ro.htm", cutoff - std::chrono::minutes(1), true, false},
        {"old/sub/a.htm", cutoff - std::chrono::hours(48), false, false},
        {"mixed/old.htm", cutoff - std::chrono::hours(1), false, false},
        {"mixed/new.htm", now, false, true},
        {"clglob.bin", cutoff - std::chrono::hours(1), false, false},
    };
    for (const Entry &e : entries) {
        Touch(t / e.Path, e.When);
        if (e.ReadOnly)
            chmod((t / e.Path).c_str(), 0444);
    }
    fs::create_directory(t / "empty_old");
    fs::create_directory(t / "empty_new");
    // Folder dates last: creating their files changed them.
    SetTime(t / "old/sub", cutoff - std::chrono::hours(48));
    SetTime(t / "old", cutoff - std::chrono::hours(48));
    SetTime(t / "mixed", cutoff - std::chrono::hours(48));
    SetTime(t / "empty_old", cutoff - std::chrono::hours(1));
    SetTime(t / "empty_new", now);

    EXPECT_FALSE(CleanFolder(t.string(), false, true, 7200, now)); // some files stayed
    for (const Entry &e : entries)
        EXPECT_EQ(fs::exists(t / e.Path), e.Stays) << e.Path;
    EXPECT_FALSE(fs::exists(t / "old"));
    EXPECT_FALSE(fs::exists(t / "empty_old"));
    EXPECT_TRUE(fs::exists(t / "empty_new"));
    EXPECT_TRUE(fs::exists(t / "mixed"));
    EXPECT_TRUE(fs::exists(t)); // the folder itself always stays
}

TEST_F(EKCProgManagerTest, CleanFolderEdges)
{
    const auto now = Clock::now();
    const auto old = now - std::chrono::hours(24 * 10);
    EXPECT_FALSE(CleanFolder((Dir / "missing").string(), false, true, 7200, now));
    Touch(Dir / "plain.txt", old);
    EXPECT_FALSE(CleanFolder((Dir / "plain.txt").string(), false, true, 7200, now));

    // Without an age limit everything goes; a removable folder goes too.
    Touch(Dir / "all/a", now);
    Touch(Dir / "all/b/c", now);
    EXPECT_TRUE(CleanFolder((Dir / "all").string(), true, true, 0, now));
    EXPECT_FALSE(fs::exists(Dir / "all"));

    // Subfolders are kept when not asked to remove them.
    Touch(Dir / "keep/sub/a", old);
    SetTime(Dir / "keep/sub", old);
    EXPECT_TRUE(CleanFolder((Dir / "keep").string(), false, false, 7200, now));
    EXPECT_TRUE(fs::exists(Dir / "keep/sub"));
    EXPECT_FALSE(fs::exists(Dir / "keep/sub/a"));

    // A link to a folder elsewhere is removed as a link; what it points to stays.
    Touch(Dir / "outside/precious", old);
    fs::create_directory(Dir / "links");
    fs::create_directory_symlink(Dir / "outside", Dir / "links/to_outside");
    SetTime(Dir / "links/to_outside", old);
    CleanFolder((Dir / "links").string(), false, true, 7200, now);
    EXPECT_TRUE(fs::exists(Dir / "outside/precious"));
    EXPECT_FALSE(fs::is_symlink(Dir / "links/to_outside"));
}

// The server exchanges of the run, against a loopback server.
class EKCProgManagerServerTest : public EKCProgManagerTest
{
protected:
    void SetUp() override
    {
        EKCProgManagerTest::SetUp();
        ASSERT_TRUE(Server.Running());
        ASSERT_TRUE(Server.WriteIni((Dir / "WEK.ini").string()));
        ASSERT_TRUE(ReadSettings(Manager.Setting()));
        CreateHttpClient();
        fs::create_directory(Dir / "logs");
        OpenClientLog();
    }
    void TearDown() override
    {
        CloseClientLog();
        DestroyHttpClient();
        EKCProgManagerTest::TearDown();
    }
    TEKTestServer Server;
    TEKCProgManager Manager;
};

TEST_F(EKCProgManagerServerTest, ReceivesTheProfile)
{
    Server.Enqueue(TEKTestAnswer::Xml("<?xml version=\"1.0\"?>\n<re_refreshprofile>"
                                      "<item name=\"formcoor 5:0\" infotype=\"1\">1 2 3 4</item>"
                                      "</re_refreshprofile>"));
    EXPECT_TRUE(Manager.RefreshUserProfile(false, true));
    EXPECT_EQ(Manager.ProfileManager().GetValue(1, "formcoor 5:0"), "1 2 3 4");
    std::string body = Server.LastRequest().Body;
    EXPECT_NE(body.find("<refreshprofile receive=\"1\""), std::string::npos) << body;
    EXPECT_EQ(body.find("<item"), std::string::npos) << body;
}

TEST_F(EKCProgManagerServerTest, SendsTheProfileAndReportsAFailure)
{
    Manager.ProfileManager().SetValue(3, "qfcols 5:0", "1;2");
    Server.Enqueue(TEKTestAnswer::Xml("<error><code>77</code><text>no</text></error>"));
    EXPECT_FALSE(Manager.RefreshUserProfile(true, false));
    std::string body = Server.LastRequest().Body;
    EXPECT_EQ(body.find("receive"), std::string::npos) << body;
    EXPECT_NE(body.find("qfcols 5:0"), std::string::npos) << body;
    EXPECT_NE(LogEvents().back().find("9; RefreshUserProfile; getting profile error"),
              std::string::npos);
}

TEST_F(EKCProgManagerServerTest, LoadsTheModuleList)
{
    struct Row
    {
        const char *Answer;
        int Modules; // -1: no list
        const char *Report;
    };
    const Row rows[] = {
        {"<re_modules><m><formid>30</formid><name>Sales</name></m></re_modules>", 1, nullptr},
        {"<modules_list/>", -1, "error:Loading modules list from XML\r\n"},
        {"<error><code>4711</code><text>denied</text></error>", -1,
         "error:Loading modules list\r\ndenied"},
    };
    for (const Row &r : rows) {
        Manager.SetModuleList(nullptr);
        Hooks.Shown.clear();
        Server.Enqueue(TEKTestAnswer::Xml(r.Answer));
        Manager.LoadModules();
        EXPECT_NE(Server.LastRequest().Body.find("<modules"), std::string::npos);
        if (r.Modules < 0) {
            EXPECT_EQ(Manager.ModuleList(), nullptr) << r.Answer;
        } else {
            ASSERT_NE(Manager.ModuleList(), nullptr) << r.Answer;
            EXPECT_EQ(Manager.ModuleList()->Count(), r.Modules);
            EXPECT_EQ(Manager.ModuleList()->Items(0)->Name, "Sales");
        }
        if (r.Report) {
            ASSERT_EQ(Hooks.Shown.size(), 1u) << r.Answer;
            EXPECT_EQ(Hooks.Shown[0].substr(0, std::string(r.Report).size()), r.Report);
        } else {
            EXPECT_TRUE(Hooks.Shown.empty());
        }
    }
}

TEST_F(EKCProgManagerServerTest, AfterLogoutEveryCallFailsWithNoHttpObject)
{
    Server.Enqueue(TEKTestAnswer::Xml("<error><code>1</code><text>gone</text></error>"));
    Manager.Logout();
    EXPECT_NE(Server.LastRequest().Body.find("<logout"), std::string::npos);
    EXPECT_FALSE(HttpClientExists());
    size_t before = Server.RequestCount();
    EXPECT_FALSE(Manager.RefreshUserProfile(true, false));
    EXPECT_EQ(LastCallErrorCode(), 1);
    EXPECT_EQ(Server.RequestCount(), before);
}

} // namespace
