// Runs the built client in a folder of its own, the way it is installed.
#include "EKCodecs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

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
        std::ofstream(Dir / "WEK.ini") << "[connection]\nhost=127.0.0.1\nport=1\npath=wek\n";
        fs::create_directory(Dir / "logs");
        fs::create_directory(Dir / "temp");
    }
    void TearDown() override
    {
        if (!Dir.empty())
            fs::remove_all(Dir);
    }
    int RunClient()
    {
        // Started from another folder: the client must find its files by its
        // own location, not by the working directory.
        std::string cmd =
            "cd / && QT_QPA_PLATFORM=offscreen '" + (Dir / "wek").string() + "' >/dev/null 2>&1";
        int status = std::system(cmd.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Read(const fs::path &p)
    {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    fs::path Dir;
};

TEST_F(WekExecutableTest, CancelledRunLogsStartAndStopAndCountsRuns)
{
    for (int run = 1; run <= 2; ++run) {
        std::string dayBefore = FormatDateValue("yyyymmdd", Now());
        ASSERT_EQ(RunClient(), 0) << "run " << run;
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
        ASSERT_EQ(lines.size(), 3u) << Read(log);
        EXPECT_EQ(lines[0], "file opened: " + log.string());
        const char *texts[] = {"start", "stop"};
        for (int i = 0; i < 2; ++i) {
            const std::string &l = lines[i + 1];
            // "5; dd.mm.yyyy hh:nn:ss; EKCProgManager.Run; start"
            ASSERT_EQ(l.size(), std::string("5; dd.mm.yyyy hh:nn:ss; EKCProgManager.Run; ").size() +
                                    std::string(texts[i]).size())
                << l;
            EXPECT_EQ(l.substr(0, 3), "5; ");
            EXPECT_EQ(l[5], '.');
            EXPECT_EQ(l[8], '.');
            EXPECT_EQ(l[13], ' ');
            EXPECT_EQ(l[16], ':');
            EXPECT_EQ(l.substr(22), std::string("; EKCProgManager.Run; ") + texts[i]);
        }
    }
}

TEST_F(WekExecutableTest, RunsWithoutLogAndTempFolders)
{
    fs::remove_all(Dir / "logs");
    fs::remove_all(Dir / "temp");
    EXPECT_EQ(RunClient(), 0);
    EXPECT_FALSE(fs::exists(Dir / "logs"));
    EXPECT_FALSE(fs::exists(Dir / "temp"));
}

} // namespace
