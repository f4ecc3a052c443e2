#include "EKCLog.h"

#include "EKPSetting.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Records what the core asks of the user interface.
class TRecordingHooks : public TEKGuiHooks
{
public:
    void ShowInfo(const std::string &text) override { Calls.push_back("info:" + text); }
    void ShowError(const std::string &text) override { Calls.push_back("error:" + text); }
    bool Confirm(const std::string &text, bool defaultYes) override
    {
        Calls.push_back("confirm:" + text + (defaultYes ? ":yes" : ":no"));
        return Answer;
    }
    void BeginBusy() override { Calls.push_back("busy"); }
    void EndBusy() override { Calls.push_back("idle"); }
    void AppendCommLog(const std::string &text) override { Calls.push_back("comm:" + text); }
    std::vector<std::string> Calls;
    bool Answer = true;
};

class EKCLogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string tmpl = (fs::temp_directory_path() / "EKCLogTest.XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        Dir = tmpl;
        SetExeFolder(Dir.string());
        ResetSettingValues();
    }
    void TearDown() override
    {
        for (int32_t id : Ids)
            UnregisterLogFile(id);
        CloseClientLog();
        SetGuiHooks(nullptr);
        SetLogClock({});
        SetExeFolder("");
        ResetSettingValues();
        EndBusy();
        fs::remove_all(Dir);
    }
    int32_t Register(const std::string &pattern)
    {
        int32_t id = 0;
        EXPECT_TRUE(RegisterLogFile(pattern, id));
        Ids.push_back(id);
        return id;
    }
    std::string Read(const fs::path &p)
    {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string P(const std::string &name) { return (Dir / name).string(); }
    fs::path Dir;
    std::vector<int32_t> Ids;
};

TEKDateTime At(int y, int mo, int d, int h, int mi, int s)
{
    return ComposeDateTime(EncodeDate(y, mo, d), EncodeTime(h, mi, s));
}

TEST_F(EKCLogTest, TableHoldsTenEntries)
{
    int32_t first = 0;
    for (int i = 0; i < kMaxLogFiles; ++i) {
        int32_t id = Register(P("f" + std::to_string(i)));
        if (i == 0)
            first = id;
        EXPECT_EQ(id, first + i);
    }
    int32_t id = 99;
    EXPECT_FALSE(RegisterLogFile(P("eleventh"), id));
    EXPECT_EQ(id, 0);
    UnregisterLogFile(first);
    UnregisterLogFile(first); // unknown by now: nothing happens
    EXPECT_TRUE(RegisterLogFile(P("again"), id));
    EXPECT_EQ(id, first + kMaxLogFiles); // ids are never reused
    Ids.push_back(id);
}

TEST_F(EKCLogTest, LineFormats)
{
    int32_t id = Register(P("plain.log"));
    WriteLogLine(id, 5, "EKCProgManager.Run", true, "start", At(2012, 12, 10, 14, 30, 5));
    WriteLogLine(id, 9, "GetSrvResp", false, "call error", At(2012, 12, 10, 14, 30, 5));
    WriteLogLine(id, 2, "src", true, "\xC5\xA1\xC4\x8D", At(2012, 1, 2, 3, 4, 5));
    WriteLogLine(0, 5, "nowhere", true, "dropped", At(2012, 1, 2, 3, 4, 5));
    EXPECT_EQ(Read(P("plain.log")), "file opened: " + P("plain.log") +
                                        "\n5; 10.12.2012 14:30:05; EKCProgManager.Run; start\n"
                                        "9; GetSrvResp; call error\n"
                                        "2; 02.01.2012 03:04:05; src; \x9A\xE8\n");
}

TEST_F(EKCLogTest, AppendingToAnExistingFileStartsWithAnEmptyLine)
{
    {
        std::ofstream(P("old.log"), std::ios::binary) << "earlier\n";
    }
    int32_t id = Register(P("old.log"));
    WriteLogLine(id, 5, "s", false, "t", At(2012, 1, 1, 0, 0, 0));
    EXPECT_EQ(Read(P("old.log")), "earlier\n\nfile opened: " + P("old.log") + "\n5; s; t\n");
}

TEST_F(EKCLogTest, FileSwitchesAtTheFinestPlaceholder)
{
    struct Row
    {
        const char *Name;
        std::string Pattern;
        std::vector<TEKDateTime> Times;
        std::vector<std::string> Files; // the file of each line
    };
    const std::vector<Row> rows = {
        {"no placeholder",
         "fixed.log",
         {At(2012, 12, 10, 23, 59, 59), At(2012, 12, 11, 0, 0, 0), At(2013, 5, 1, 8, 0, 0)},
         {"fixed.log", "fixed.log", "fixed.log"}},
        {"day",
         "d<yyyymmdd>.log",
         {At(2012, 12, 10, 23, 59, 59), At(2012, 12, 11, 0, 0, 0), At(2012, 12, 11, 13, 0, 0)},
         {"d20121210.log", "d20121211.log", "d20121211.log"}},
        {"day and hour",
         "h<yyyymmdd>_<hh>.log",
         {At(2012, 12, 10, 22, 59, 59), At(2012, 12, 10, 23, 0, 0), At(2012, 12, 11, 0, 0, 1)},
         {"h20121210_22.log", "h20121210_23.log", "h20121211_00.log"}},
        {"minute",
         "m<hh><nn>.log",
         {At(2012, 12, 10, 10, 15, 0), At(2012, 12, 10, 10, 15, 59), At(2012, 12, 10, 10, 16, 0)},
         {"m1015.log", "m1015.log", "m1016.log"}},
    };
    for (const Row &r : rows) {
        int32_t id = Register(P(r.Pattern));
        for (size_t i = 0; i < r.Times.size(); ++i)
            WriteLogLine(id, 5, "s", false, "line" + std::to_string(i) + r.Name, r.Times[i]);
        for (size_t i = 0; i < r.Files.size(); ++i) {
            std::string body = Read(P(r.Files[i]));
            EXPECT_NE(body.find("5; s; line" + std::to_string(i) + r.Name + "\n"),
                      std::string::npos)
                << r.Name << " line " << i << " in " << r.Files[i];
            EXPECT_EQ(body.rfind("file opened: " + P(r.Files[i]) + "\n", 0), 0u) << r.Name;
        }
    }
}

TEST_F(EKCLogTest, ClientLogSwitchesAtMidnight)
{
    fs::create_directory(Dir / "logs");
    fs::create_directory(Dir / "temp");
    {
        std::ofstream(Dir / "temp/clglob.bin", std::ios::binary) << std::string("\x06\0\0\0", 4);
    }
    TEKDateTime now = At(2012, 12, 10, 23, 59, 58);
    SetLogClock([&now] { return now; });
    OpenClientLog();
    EXPECT_NE(ClientLogId(), 0);
    WriteLog(5, "EKCProgManager.Run", "start");
    now = At(2012, 12, 11, 0, 0, 0);
    WriteLog(5, "EKCProgManager.Run", "stop");
    CloseClientLog();
    EXPECT_EQ(ClientLogId(), 0);
    WriteLog(5, "after", "close"); // goes nowhere
    std::string day1 = (Dir / "logs/WEKCl20121210_7.log").string();
    std::string day2 = (Dir / "logs/WEKCl20121211_7.log").string();
    EXPECT_EQ(Read(day1),
              "file opened: " + day1 + "\n5; 10.12.2012 23:59:58; EKCProgManager.Run; start\n");
    EXPECT_EQ(Read(day2),
              "file opened: " + day2 + "\n5; 11.12.2012 00:00:00; EKCProgManager.Run; stop\n");
}

TEST_F(EKCLogTest, MissingLogFolderLogsNothing)
{
    OpenClientLog();
    WriteLog(5, "s", "t");
    CloseClientLog();
    EXPECT_FALSE(fs::exists(Dir / "logs"));
}

TEST_F(EKCLogTest, UnwritableExistingLogIsNeverEmptied)
{
    {
        std::ofstream(P("ro.log"), std::ios::binary) << "keep me\n";
    }
    chmod(P("ro.log").c_str(), 0444);
    int32_t id = Register(P("ro.log"));
    if (geteuid() != 0) {
        WriteLogLine(id, 5, "s", false, "t", At(2012, 1, 1, 0, 0, 0));
    } else {
        // Root writes through any permission: write as an ordinary user.
        chmod(Dir.c_str(), 0777);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (setgid(65534) != 0 || setuid(65534) != 0)
                _exit(2);
            WriteLogLine(id, 5, "s", false, "t", At(2012, 1, 1, 0, 0, 0));
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        if (WEXITSTATUS(status) == 2)
            GTEST_SKIP() << "cannot switch to an ordinary user";
    }
    EXPECT_EQ(Read(P("ro.log")), "keep me\n");
}

TEST_F(EKCLogTest, LinesFromManyThreadsStayWhole)
{
    int32_t id = Register(P("threads.log"));
    const int perThread = 300;
    auto writer = [id](char tag) {
        for (int i = 0; i < perThread; ++i)
            WriteLogLine(id, 2, std::string(1, tag), false, std::string(200, tag),
                         At(2012, 1, 1, 0, 0, 0));
    };
    std::thread a(writer, 'a'), b(writer, 'b'), c(writer, 'c');
    a.join();
    b.join();
    c.join();
    std::istringstream in(Read(P("threads.log")));
    std::string line;
    std::getline(in, line); // "file opened: "
    int count = 0;
    while (std::getline(in, line)) {
        ++count;
        ASSERT_EQ(line.size(), 206u) << line;
        char tag = line[3];
        EXPECT_EQ(line, "2; " + std::string(1, tag) + "; " + std::string(200, tag));
    }
    EXPECT_EQ(count, 3 * perThread);
}

TEST_F(EKCLogTest, ShowLogEchoesTheTextAlone)
{
    TRecordingHooks hooks;
    SetGuiHooks(&hooks);
    WriteLog(9, "GetSrvResp", "quiet");
    SettingValues().ShowLog = true;
    WriteLog(9, "GetSrvResp", "call error: 404; Not Found");
    EXPECT_EQ(hooks.Calls, std::vector<std::string>{"comm:call error: 404; Not Found"});
}

TEST_F(EKCLogTest, UserErrorLogsAndShows)
{
    struct Row
    {
        const char *Title;
        const char *Text;
        const char *Logged;
        const char *Shown;
    };
    const Row rows[] = {
        {"Loading modules list", "no http object", "Loading modules list: no http object",
         "error:Loading modules list\r\nno http object"},
        {"", "bare", ": bare", "error:bare"},
    };
    fs::create_directory(Dir / "logs");
    OpenClientLog();
    TRecordingHooks hooks;
    SetGuiHooks(&hooks);
    for (const Row &r : rows) {
        hooks.Calls.clear();
        ShowUserError(r.Title, r.Text);
        EXPECT_EQ(hooks.Calls, std::vector<std::string>{r.Shown});
    }
    std::string log;
    for (auto &e : fs::directory_iterator(Dir / "logs"))
        log = Read(e.path());
    for (const Row &r : rows)
        EXPECT_NE(log.find("; user error; " + std::string(r.Logged) + "\n"), std::string::npos)
            << log;
}

TEST_F(EKCLogTest, MessageDialogsGoToTheHooks)
{
    TRecordingHooks hooks;
    SetGuiHooks(&hooks);
    ShowInfo("i");
    ShowError("e");
    EXPECT_TRUE(Confirm("q", false));
    hooks.Answer = false;
    EXPECT_EQ(MessageDialog(ekmdkConfirmation, "r", true), ekmdbNo);
    EXPECT_EQ(MessageDialog(ekmdkError, "x", true), ekmdbOK);
    EXPECT_EQ(hooks.Calls, (std::vector<std::string>{"info:i", "error:e", "confirm:q:no",
                                                     "confirm:r:yes", "error:x"}));
    SetGuiHooks(nullptr);
    EXPECT_FALSE(Confirm("silent default", true));
}

TEST_F(EKCLogTest, BusyCursorDoesNotNest)
{
    TRecordingHooks hooks;
    SetGuiHooks(&hooks);
    EXPECT_EQ(CurrentCursor(), ekcurDefault);
    BeginBusy();
    BeginBusy();
    EXPECT_EQ(CurrentCursor(), ekcurHourGlass);
    EndBusy();
    EXPECT_EQ(CurrentCursor(), ekcurDefault);
    EndBusy();
    SetCurrentCursor(ekcurHourGlass);
    SetCurrentCursor(ekcurDefault);
    EXPECT_EQ(hooks.Calls, (std::vector<std::string>{"busy", "idle", "busy", "idle"}));
}

} // namespace
