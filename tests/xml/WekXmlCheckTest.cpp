// The wek-xmlcheck tool, run as a program on the fixtures of tests/data/xml.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

struct RunResult
{
    int ExitCode = -1;
    std::string Output;
};

RunResult RunTool(const std::string &arguments)
{
    RunResult result;
    std::string command = std::string("'") + WEK_BIN_DIR + "/wek-xmlcheck' " + arguments;
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.Output.append(buffer, n);
    int status = pclose(pipe);
    if (WIFEXITED(status))
        result.ExitCode = WEXITSTATUS(status);
    return result;
}

std::string Fixture(const char *name)
{
    return std::string("'") + WEK_TEST_DATA + "/xml/" + name + "'";
}

struct ToolCase
{
    const char *Label;
    std::string Arguments;
    int ExitCode;
    std::string Output;
};

TEST(WekXmlCheck, PrintsTheTreeOrTheFailure)
{
    if (!std::filesystem::exists(std::string(WEK_BIN_DIR) + "/wek-xmlcheck"))
        GTEST_SKIP() << "wek-xmlcheck is not built: build the target wek-xmlcheck first";
    const std::string tree =
        "<?xml version=\"1.0\" encoding=\"windows-1250\" ?>\n"
        "<re_formactions formid=\"0\" reqid=\"4\"><a xx=\"a\"/><b xx=\"b\"/>"
        "<c xx=\"c\"><![CDATA[ \xC5\xA1\xC5\xBE\xC4\x8D ]]></c></re_formactions>";
    const std::vector<ToolCase> cases = {
        {"file", Fixture("formactions.xml"), 0, tree},
        {"standard input", "< " + Fixture("formactions.xml"), 0, tree},
        {"malformed file", Fixture("broken.xml"), 1, "cannot read XML\n"},
        {"missing file", Fixture("no-such-file.xml"), 1, "cannot read XML\n"},
        {"empty input", "< /dev/null", 1, "cannot read XML\n"},
    };
    for (const ToolCase &c : cases) {
        RunResult r = RunTool(c.Arguments);
        EXPECT_EQ(r.ExitCode, c.ExitCode) << c.Label;
        EXPECT_EQ(r.Output, c.Output) << c.Label;
    }
}

} // namespace
