// Runs the built client in a folder of its own, the way it is installed, and
// ends it the way a desktop session does: with SIGTERM while the login window
// waits for the user.
#include "EKCodecs.h"
#include "EKTestServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class WekExecutableTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fs::path built = fs::path(WEK_BIN_DIR) / "wek";
        if (!fs::exists(built))
            GTEST_SKIP() << "the client is not built: " << built;
        std::string tmpl = (fs::temp_directory_path() / "WekExecutableTest.XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        Dir = tmpl;
        fs::copy_file(built, Dir / "wek");
        fs::copy_file(fs::path(WEK_BIN_DIR) / "WEKCli.eng", Dir / "WEKCli.eng");
        ASSERT_TRUE(Server.WriteIni((Dir / "WEK.ini").string()));
        Server.SetDefault(TEKTestAnswer::Xml("<re_clientinit/>"));
        fs::create_directory(Dir / "logs");
        fs::create_directory(Dir / "temp");
    }
    void TearDown() override
    {
        if (!Dir.empty())
            fs::remove_all(Dir);
    }

    // Starts the client from another folder (it must find its files by its own
    // location), waits until its login window has asked the server for the
    // version, then sends SIGTERM. Returns the exit code, -1 when it did not
    // exit normally within the time.
    int RunClientUntilSignal(int signal = SIGTERM)
    {
        const std::size_t before = Server.RequestCount();
        pid_t pid = fork();
        if (pid == 0) {
            if (chdir("/") != 0)
                _exit(120);
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            const std::string exe = (Dir / "wek").string();
            freopen("/dev/null", "w", stdout);
            freopen("/dev/null", "w", stderr);
            execl(exe.c_str(), exe.c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
        if (pid < 0)
            return -1;
        using namespace std::chrono;
        const auto deadline = steady_clock::now() + seconds(60);
        while (Server.RequestCount() == before && steady_clock::now() < deadline)
            std::this_thread::sleep_for(milliseconds(20));
        EXPECT_GT(Server.RequestCount(), before) << "the client never asked the server";
        kill(pid, signal);
        int status = 0;
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (steady_clock::now() > deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                return -1;
            }
            std::this_thread::sleep_for(milliseconds(20));
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Read(const fs::path &p)
    {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    TEKTestServer Server;
    fs::path Dir;
};

// "5; dd.mm.yyyy hh:nn:ss; EKCProgManager.Run; <text>"
void ExpectRunLine(const std::string &line, const std::string &text)
{
    const std::string tail = "; EKCProgManager.Run; " + text;
    ASSERT_EQ(line.size(), std::string("5; dd.mm.yyyy hh:nn:ss").size() + tail.size()) << line;
    EXPECT_EQ(line.substr(0, 3), "5; ");
    EXPECT_EQ(line[5], '.');
    EXPECT_EQ(line[8], '.');
    EXPECT_EQ(line[13], ' ');
    EXPECT_EQ(line[16], ':');
    EXPECT_EQ(line[19], ':');
    EXPECT_EQ(line.substr(22), tail);
}

TEST_F(WekExecutableTest, EndedRunLogsStartAndStopAndCountsRuns)
{
    for (int run = 1; run <= 2; ++run) {
        std::string dayBefore = FormatDateValue("yyyymmdd", Now());
        ASSERT_EQ(RunClientUntilSignal(run == 1 ? SIGTERM : SIGINT), 0) << "run " << run;
        std::string dayAfter = FormatDateValue("yyyymmdd", Now());

        EXPECT_EQ(Read(Dir / "temp/clglob.bin"), std::string(1, char(run)) + std::string(3, '\0'));

        std::string suffix = "_" + std::to_string(run) + ".log";
        fs::path log = Dir / "logs" / ("WEKCl" + dayBefore + suffix);
        if (!fs::exists(log))
            log = Dir / "logs" / ("WEKCl" + dayAfter + suffix);
        ASSERT_TRUE(fs::exists(log)) << log;
        std::ifstream in(log);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        ASSERT_GE(lines.size(), 3u) << Read(log);
        EXPECT_EQ(lines[0], "file opened: " + log.string());
        ExpectRunLine(lines[1], "start");
        ExpectRunLine(lines.back(), "stop");
        EXPECT_NE(Read(log).find("; TEKQtTermination; end of the run requested by a signal"),
                  std::string::npos)
            << Read(log);
    }
    // Only the version check: a run ended at the login window sends nothing else.
    for (const TEKTestRequest &r : Server.Requests())
        EXPECT_NE(r.Body.find("<clientinit>"), std::string::npos) << r.Body;
}

TEST_F(WekExecutableTest, RunsWithoutLogAndTempFolders)
{
    fs::remove_all(Dir / "logs");
    fs::remove_all(Dir / "temp");
    EXPECT_EQ(RunClientUntilSignal(), 0);
    EXPECT_FALSE(fs::exists(Dir / "logs"));
    EXPECT_FALSE(fs::exists(Dir / "temp"));
}

} // namespace
