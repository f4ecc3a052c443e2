#include "EKPTransport.h"

#include "EKBErrors.h"
#include "EKCLog.h"
#include "EKPSetting.h"
#include "EKTestServer.h"
#include "EKVersion.h"
#include "EKWin1250.h"
#include "EKXML.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path &name)
{
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Whether text is "response (", decimal milliseconds, "): " and then body.
bool IsResponseLine(const std::string &text, const std::string &body)
{
    const std::string head = "response (";
    if (text.rfind(head, 0) != 0)
        return false;
    std::size_t i = head.size();
    const std::size_t digits = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        ++i;
    return i > digits && text.substr(i) == "): " + body;
}

// One line of the client log, split into its parts.
struct LogLine
{
    int Level;
    std::string Source;
    std::string Text; // windows-1250 bytes as written
};

class TRecordingHooks : public TEKGuiHooks
{
public:
    void ShowInfo(const std::string &text) override { Record("info: " + text); }
    void ShowError(const std::string &text) override { Record("error: " + text); }
    bool Confirm(const std::string &text, bool) override
    {
        Record("confirm: " + text);
        return false;
    }
    void BeginBusy() override { Record("busy on"); }
    void EndBusy() override { Record("busy off"); }
    void AppendCommLog(const std::string &text) override { Record("comm: " + text); }

    std::vector<std::string> Events()
    {
        std::lock_guard lock(FMutex);
        return FEvents;
    }
    std::vector<std::thread::id> Threads()
    {
        std::lock_guard lock(FMutex);
        return FThreads;
    }
    void Clear()
    {
        std::lock_guard lock(FMutex);
        FEvents.clear();
        FThreads.clear();
    }

private:
    void Record(const std::string &event)
    {
        std::lock_guard lock(FMutex);
        FEvents.push_back(event);
        FThreads.push_back(std::this_thread::get_id());
    }
    std::mutex FMutex;
    std::vector<std::string> FEvents;
    std::vector<std::thread::id> FThreads;
};

class TFakeTimer : public IEKKeepAliveTimer
{
public:
    bool GetEnabled() const override
    {
        std::lock_guard lock(FMutex);
        return FEnabled;
    }
    void SetEnabled(bool enabled) override
    {
        std::lock_guard lock(FMutex);
        FEnabled = enabled;
        FThreads.push_back(std::this_thread::get_id());
    }
    std::vector<std::thread::id> Threads() const
    {
        std::lock_guard lock(FMutex);
        return FThreads;
    }

private:
    mutable std::mutex FMutex;
    bool FEnabled = false;
    std::vector<std::thread::id> FThreads;
};

std::unique_ptr<TEKXML> Request(const std::string &root, const std::string &childText = "")
{
    auto doc = std::make_unique<TEKXML>();
    doc->SetName(root);
    if (!childText.empty()) {
        doc->OpenLevel();
        doc->AddTextElement("version", childText);
        doc->CloseLevel();
    }
    return doc;
}

class TransportTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        char pattern[] = "/tmp/ektransport-XXXXXX";
        Folder = ::mkdtemp(pattern);
        fs::create_directories(Folder / "logs");
        SetExeFolder(Folder.string());
        OpenClientLog();
    }
    static void TearDownTestSuite()
    {
        CloseClientLog();
        SetExeFolder("");
        std::error_code ec;
        fs::remove_all(Folder, ec);
    }

    void SetUp() override
    {
        ASSERT_TRUE(Server.Running());
        ResetSettingValues();
        SettingValues().Host = "127.0.0.1";
        SettingValues().Port = Server.Port();
        SettingValues().Path = "app";
        SetGuiHooks(&Hooks);
        SetHttpTimeouts(5000, 90);
        ASSERT_TRUE(CreateHttpClient());
        LogStart = ReadLog().size();
    }
    void TearDown() override
    {
        DestroyHttpClient();
        SetKeepAliveTimer(nullptr);
        SetGuiHooks(nullptr);
        ResetSettingValues();
    }

    static std::vector<LogLine> ReadLog()
    {
        std::vector<LogLine> lines;
        for (const auto &entry : fs::directory_iterator(Folder / "logs")) {
            std::ifstream in(entry.path(), std::ios::binary);
            std::string line;
            while (std::getline(in, line)) {
                // level; dd.mm.yyyy hh:nn:ss; source; text
                const std::size_t a = line.find("; ");
                const std::size_t b = a == std::string::npos ? a : line.find("; ", a + 2);
                const std::size_t c = b == std::string::npos ? b : line.find("; ", b + 2);
                if (c == std::string::npos)
                    continue;
                lines.push_back({std::atoi(line.substr(0, a).c_str()),
                                 line.substr(b + 2, c - b - 2), line.substr(c + 2)});
            }
        }
        return lines;
    }
    // The lines written since the test started.
    std::vector<LogLine> NewLog() const
    {
        auto all = ReadLog();
        return {all.begin() + static_cast<std::ptrdiff_t>(std::min(LogStart, all.size())),
                all.end()};
    }

    static inline fs::path Folder;
    TEKTestServer Server;
    TRecordingHooks Hooks;
    std::size_t LogStart = 0;
};

TEST_F(TransportTest, SendsTheDocumentTextInWindows1250AsTextXml)
{
    auto request = Request("clientinit", "Příliš žluťoučký kůň");
    Server.Enqueue(TEKTestAnswer::Xml("<re_clientinit/>"));
    std::unique_ptr<TEKXML> response;
    ASSERT_EQ(GetSrvXML(*request, response), ekpcrOK);
    const TEKTestRequest req = Server.LastRequest();
    EXPECT_EQ(req.Method, "POST");
    EXPECT_EQ(req.Target, "/app");
    EXPECT_EQ(req.Header("Content-Type"), "text/xml");
    EXPECT_EQ(req.Body, Utf8ToWin1250(request->GetDocumentText()));
    EXPECT_NE(req.Body.find("\xF8\xED"), std::string::npos); // "ří" as single bytes
    ASSERT_TRUE(response);
    EXPECT_EQ(response->Name(), "re_clientinit");
    EXPECT_EQ(LastCallErrorCode(), 0);
    EXPECT_EQ(LastCallErrorText(), "");
}

TEST_F(TransportTest, BuildsTheServerAddressFromTheSettings)
{
    struct Row
    {
        const char *host;
        int port;
        const char *path;
        const char *address;
    };
    const std::vector<Row> rows = {
        {"srv", 8080, "app", "http://srv:8080/app"},
        {"srv", 8080, "", "http://srv:8080/"},
        {"srv", 80, "a/b", "http://srv:80/a/b"},
        {"https://srv", 443, "app", "https://srv:443/app"},
        {"HTTP://srv", 81, "x", "HTTP://srv:81/x"},
    };
    for (const Row &row : rows) {
        SettingValues().Host = row.host;
        SettingValues().Port = row.port;
        SettingValues().Path = row.path;
        EXPECT_EQ(ServerAddress(), row.address);
    }
}

TEST_F(TransportTest, RequestsGoToThePathAndUploadsBesideIt)
{
    const fs::path file = Folder / "up.bin";
    std::ofstream(file, std::ios::binary) << "x";
    struct Row
    {
        const char *path;
        const char *target;
        const char *uploadTarget;
    };
    const std::vector<Row> rows = {
        {"", "/", "/upload"},
        {"app", "/app", "/app/upload"},
        {"a/b", "/a/b", "/a/b/upload"},
    };
    for (const Row &row : rows) {
        SettingValues().Path = row.path;
        TEKStream in("<q/>"), out;
        ASSERT_EQ(GetSrvResp(in, out), ekpcrOK);
        EXPECT_EQ(Server.LastRequest().Target, row.target);
        ASSERT_EQ(UploadFile(file.string()), 0);
        EXPECT_EQ(Server.LastRequest().Target, row.uploadTarget);
    }
}

TEST_F(TransportTest, EveryRowOfTheFailureTable)
{
    struct Row
    {
        const char *what;
        TEKTestAnswer answer;
        TEKPCallRes result;
        int code;
        std::string text;
        bool document;
        std::string logSource; // the one level-9 line expected; empty for none
        std::string logText;
    };
    TEKTestAnswer html;
    html.Status = 500;
    html.Reason = "Internal Server Error";
    html.Body = "<html><body><p>Server failure<br></body></html>";
    TEKTestAnswer notFound = TEKTestAnswer::Xml("<re_x/>");
    notFound.Status = 404;
    TEKTestAnswer drop;
    drop.Drop = true;
    const std::vector<Row> rows = {
        {"success", TEKTestAnswer::Xml("<re_x a=\"1\"/>"), ekpcrOK, 0, "", true, "", ""},
        {"404 with XML is a success", notFound, ekpcrOK, 0, "", true, "", ""},
        {"500 with an HTML page", html, ekpcrError, 3, FormatErrorCode(3), true, "", ""},
        {"empty body", TEKTestAnswer(), ekpcrError, 3, FormatErrorCode(3), true, "", ""},
        {"error root", TEKTestAnswer::Xml("<error><code>17</code><text>no rights</text></error>"),
         ekpcrError, 17, "no rights", true, "", ""},
        {"error root, children named anyhow",
         TEKTestAnswer::Xml("<error><a>-4</a><b>WEK.1: as sent</b><c>x</c></error>"), ekpcrError,
         -4, "WEK.1: as sent", true, "", ""},
        {"error root with one child", TEKTestAnswer::Xml("<error><code>17</code></error>"),
         ekpcrError, 5, FormatErrorCode(5), true, "GetSrvXML", ""},
        {"error root without a number",
         TEKTestAnswer::Xml("<error><code>x17</code><text>t</text></error>"), ekpcrError, 5,
         FormatErrorCode(5), true, "GetSrvXML", ""},
        {"error root without children", TEKTestAnswer::Xml("<error/>"), ekpcrError, 5,
         FormatErrorCode(5), true, "GetSrvXML", ""},
        {"connection dropped", drop, ekpcrError, 2, FormatErrorCode(2), false, "GetSrvResp",
         "call error: 52; Server returned nothing (no headers, no data)"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const std::size_t logBefore = ReadLog().size();
        Server.Enqueue(row.answer);
        std::unique_ptr<TEKXML> response;
        EXPECT_EQ(GetSrvXML(*Request("formdesc"), response), row.result);
        EXPECT_EQ(LastCallErrorCode(), row.code);
        EXPECT_EQ(LastCallErrorText(), row.text);
        EXPECT_EQ(response != nullptr, row.document);
        auto log = ReadLog();
        log.erase(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(logBefore));
        if (row.logSource.empty()) {
            EXPECT_TRUE(log.empty());
        } else {
            ASSERT_EQ(log.size(), 1u);
            EXPECT_EQ(log[0].Level, 9);
            EXPECT_EQ(log[0].Source, row.logSource);
            if (!row.logText.empty()) {
                EXPECT_EQ(log[0].Text, row.logText);
            }
        }
    }
}

TEST_F(TransportTest, TheCallerKeepsTheErrorDocument)
{
    Server.Enqueue(TEKTestAnswer::Xml("<error><code>17</code><text>no rights</text></error>"));
    std::unique_ptr<TEKXML> response;
    ASSERT_EQ(GetSrvXML(*Request("action"), response), ekpcrError);
    ASSERT_TRUE(response);
    EXPECT_EQ(response->Name(), "error");
    EXPECT_EQ(response->ElementCount(), 2);
}

TEST_F(TransportTest, ADeadServerFailsTheCall)
{
    SettingValues().Port = TEKTestServer::DeadPort();
    std::unique_ptr<TEKXML> response;
    EXPECT_EQ(GetSrvXML(*Request("clientinit", "1"), response), ekpcrError);
    EXPECT_FALSE(response);
    EXPECT_EQ(LastCallErrorCode(), 2);
    EXPECT_EQ(LastCallErrorText(), "WEK.00002: http exception");
    const auto log = NewLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].Text, "call error: 7; Couldn't connect to server");
}

TEST_F(TransportTest, RawCallsHandOnTheBodyWhateverTheStatus)
{
    TEKTestAnswer html;
    html.Status = 500;
    html.Body = "<html>broken";
    Server.Enqueue(html);
    TEKStream in("<q/>"), out("old");
    out.Position = 2;
    EXPECT_EQ(GetSrvResp(in, out), ekpcrOK);
    EXPECT_EQ(out.Bytes, "<html>broken");
    EXPECT_EQ(out.Position, 0u);

    // A failed exchange leaves the stream empty.
    TEKTestAnswer drop;
    drop.Drop = true;
    Server.Enqueue(drop);
    EXPECT_EQ(GetSrvResp(in, out), ekpcrError);
    EXPECT_EQ(out.Size(), 0u);
}

TEST_F(TransportTest, StreamCallsDoNotLookForAnErrorRoot)
{
    const std::string error = "<error><code>17</code><text>no rights</text></error>";
    Server.Enqueue(TEKTestAnswer::Xml(error));
    std::unique_ptr<TEKStream> stream;
    ASSERT_EQ(GetSrvStream(*Request("getdoc"), stream), ekpcrOK);
    ASSERT_TRUE(stream);
    EXPECT_EQ(stream->Bytes, error);
    EXPECT_EQ(stream->Position, 0u);
    EXPECT_EQ(LastCallErrorCode(), 0);

    TEKTestAnswer drop;
    drop.Drop = true;
    Server.Enqueue(drop);
    EXPECT_EQ(GetSrvStream(*Request("getdoc"), stream), ekpcrError);
    EXPECT_FALSE(stream);
    EXPECT_EQ(LastCallErrorCode(), 2);
}

TEST_F(TransportTest, CompressedAnswersArriveDecoded)
{
    const std::string dir = std::string(WEK_TEST_DATA) + "/comm/";
    TEKTestAnswer a = TEKTestAnswer::Xml(ReadFile(dir + "answer.xml.zlib"));
    a.WithHeader("Content-Encoding", "deflate");
    Server.Enqueue(a);
    std::unique_ptr<TEKXML> response;
    ASSERT_EQ(GetSrvXML(*Request("serverinfo"), response), ekpcrOK);
    EXPECT_EQ(response->Name(), "re_test");
    EXPECT_EQ(response->Text(), "compressed answer");
    EXPECT_EQ(ResponseHeader("Content-Encoding"), "deflate");
}

TEST_F(TransportTest, LogCommunicationWritesOneLinePerCall)
{
    SettingValues().LogComm = true;
    Server.Enqueue(TEKTestAnswer::Xml("<re_x>\x9A</re_x>")); // "š" in windows-1250
    TEKTestAnswer drop;
    drop.Drop = true;
    Server.Enqueue(drop);
    std::unique_ptr<TEKXML> response;
    ASSERT_EQ(GetSrvXML(*Request("noop"), response), ekpcrOK);
    ASSERT_EQ(GetSrvXML(*Request("noop"), response), ekpcrError);
    const auto log = NewLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].Level, 2);
    EXPECT_EQ(log[0].Source, "GetSrvResp");
    EXPECT_TRUE(IsResponseLine(log[0].Text, "<re_x>\x9A</re_x>")) << log[0].Text;
    EXPECT_EQ(log[1].Level, 2);
    EXPECT_TRUE(IsResponseLine(log[1].Text, "")) << log[1].Text;
    EXPECT_EQ(log[2].Level, 9);
    EXPECT_EQ(log[2].Text.rfind("call error: ", 0), 0u);
}

TEST_F(TransportTest, FindsAResponseHeaderInAnyLetterCase)
{
    Server.Enqueue(TEKTestAnswer()
                       .WithHeader("content-encoding", " gzip ;q=1")
                       .WithHeader("X-Empty", "")
                       .WithHeader("X-Twice", "first")
                       .WithHeader("x-twice", "second")
                       .WithHeader("X-Longer-Name", "long")
                       .WithHeader("X-Spaced", "  a b  "));
    TEKStream in("<q/>"), out;
    ASSERT_EQ(GetSrvResp(in, out), ekpcrOK);
    struct Row
    {
        const char *name;
        const char *value;
    };
    const std::vector<Row> rows = {
        {"Content-Encoding", "gzip"},
        {"CONTENT-ENCODING", "gzip"},
        {"X-Twice", "first"},
        {"X-Empty", ""},
        {"X-Longer", ""},
        {"X-Spaced", "a b"},
        {"Missing", ""},
        {"Content-Length", "0"},
    };
    for (const Row &row : rows)
        EXPECT_EQ(ResponseHeader(row.name), row.value) << row.name;
}

TEST_F(TransportTest, UploadsTheMultipartBodyByteForByte)
{
    std::string content;
    for (int i = 0; i < 300000; ++i)
        content += static_cast<char>((i * 31) ^ (i >> 8));
    const fs::path file = Folder / "příloha.bin";
    std::ofstream(file, std::ios::binary) << content;
    TFakeTimer timer;
    timer.SetEnabled(true);
    SetKeepAliveTimer(&timer);
    SetLastCallError(3);
    Hooks.Clear();

    ASSERT_EQ(UploadFile(file.string()), 0);
    const TEKTestRequest req = Server.LastRequest();
    const std::string type = req.Header("Content-Type");
    const std::string prefix = "multipart/form-data; boundary=";
    ASSERT_EQ(type.rfind(prefix, 0), 0u);
    const std::string boundary = type.substr(prefix.size());
    ASSERT_EQ(boundary.size(), 8 + std::strlen("_Synapse_boundary")) << boundary;
    EXPECT_EQ(boundary.substr(8), "_Synapse_boundary");
    for (char c : boundary.substr(0, 8))
        EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << boundary;
    EXPECT_LE(std::stoul(boundary.substr(0, 8), nullptr, 16), 2147483646ul);
    const std::string expected = "--" + boundary + "\r\n" +
                                 "content-disposition: form-data; name=\"fx\"; filename=\"" +
                                 Utf8ToWin1250(file.string()) + "\"\r\n" +
                                 "Content-Type: Application/octet-string\r\n\r\n" + content;
    EXPECT_TRUE(req.Body == expected);
    EXPECT_EQ(req.Body.find("--" + boundary + "--"), std::string::npos);
    // The upload leaves the timer and a successful upload the last call error alone.
    EXPECT_EQ(timer.Threads().size(), 1u);
    EXPECT_TRUE(timer.GetEnabled());
    EXPECT_EQ(LastCallErrorCode(), 3);
    EXPECT_EQ(Hooks.Events(), (std::vector<std::string>{"busy on", "busy off"}));
}

TEST_F(TransportTest, AnUploadThatCannotStartSendsNothing)
{
    struct Row
    {
        const char *what;
        std::string file;
        bool client;
        int code;
    };
    const fs::path file = Folder / "there.bin";
    std::ofstream(file, std::ios::binary) << "data";
    const std::vector<Row> rows = {
        {"missing file", (Folder / "missing.bin").string(), true, 5},
        {"a folder", Folder.string(), true, 5},
        {"no HTTP client", file.string(), false, 1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        if (!row.client)
            DestroyHttpClient();
        Server.ClearRequests();
        EXPECT_EQ(UploadFile(row.file), 2);
        EXPECT_EQ(Server.RequestCount(), 0u);
        // The failure is described by the upload itself.
        EXPECT_EQ(LastCallErrorCode(), row.code);
    }
}

TEST_F(TransportTest, AFailedUploadExchangeReportsItself)
{
    const fs::path file = Folder / "drop.bin";
    std::ofstream(file, std::ios::binary) << "data";
    TEKTestAnswer drop;
    drop.Drop = true;
    Server.Enqueue(drop);
    SetLastCallError(0);
    EXPECT_EQ(UploadFile(file.string()), 2);
    EXPECT_EQ(LastCallErrorCode(), 2);
    const auto log = NewLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].Source, "UploadFile");
    EXPECT_EQ(log[0].Text.rfind("call error: 52; ", 0), 0u);
}

TEST_F(TransportTest, AfterDestroyEveryCallEndsWithCodeOne)
{
    DestroyHttpClient();
    Hooks.Clear();
    std::unique_ptr<TEKXML> xml = std::make_unique<TEKXML>();
    EXPECT_EQ(GetSrvXML(*Request("logout"), xml), ekpcrHaltApp);
    EXPECT_FALSE(xml);
    EXPECT_EQ(LastCallErrorCode(), 1);
    EXPECT_EQ(LastCallErrorText(), "WEK.00001: no http object");
    std::unique_ptr<TEKStream> stream;
    EXPECT_EQ(GetSrvStream(*Request("getdata"), stream), ekpcrHaltApp);
    EXPECT_FALSE(stream);
    TEKStream in("<q/>"), out;
    SetLastCallError(0);
    EXPECT_EQ(GetSrvResp(in, out), ekpcrHaltApp);
    EXPECT_EQ(LastCallErrorCode(), 1);
    EXPECT_EQ(Server.RequestCount(), 0u);
    EXPECT_TRUE(Hooks.Events().empty());
    EXPECT_TRUE(NewLog().empty());
}

TEST_F(TransportTest, CookiesOfOneAnswerGoBackWithTheNextRequest)
{
    Server.Enqueue(TEKTestAnswer::Xml("<re_login/>").WithCookie("JSESSIONID", "s1"));
    Server.Enqueue(TEKTestAnswer::Xml("<re_modules/>").WithCookie("route", "r2"));
    Server.Enqueue(TEKTestAnswer::Xml("<re_x/>"));
    std::unique_ptr<TEKXML> response;
    for (const char *root : {"login", "modules", "moduleopen"})
        ASSERT_EQ(GetSrvXML(*Request(root), response), ekpcrOK);
    const auto reqs = Server.Requests();
    ASSERT_EQ(reqs.size(), 3u);
    EXPECT_FALSE(reqs[0].HasHeader("Cookie"));
    EXPECT_EQ(reqs[1].Header("Cookie"), "JSESSIONID=s1");
    EXPECT_EQ(reqs[2].Header("Cookie"), "JSESSIONID=s1; route=r2");
}

TEST_F(TransportTest, TheProxySettingsReachTheClient)
{
    SettingValues().Host = "server.invalid";
    SettingValues().Port = 8080;
    SettingValues().ProxyHost = "127.0.0.1";
    SettingValues().ProxyPort = std::to_string(Server.Port());
    SettingValues().ProxyUser = "user";
    SettingValues().ProxyPass = "secret";
    ASSERT_TRUE(CreateHttpClient());
    std::unique_ptr<TEKXML> response;
    Server.Enqueue(TEKTestAnswer::Xml("<re_x/>"));
    ASSERT_EQ(GetSrvXML(*Request("serverinfo"), response), ekpcrOK);
    EXPECT_EQ(Server.LastRequest().Target, "http://server.invalid:8080/app");
    EXPECT_EQ(Server.LastRequest().Header("Proxy-Authorization"), "Basic dXNlcjpzZWNyZXQ=");
}

TEST_F(TransportTest, ACallHoldsTheKeepAliveTimerAndShowsTheBusyCursor)
{
    struct Row
    {
        const char *what;
        bool enabledBefore;
        bool drop;
    };
    const std::vector<Row> rows = {
        {"running timer, success", true, false},
        {"running timer, failed exchange", true, true},
        {"stopped timer stays stopped", false, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        TFakeTimer timer;
        timer.SetEnabled(row.enabledBefore);
        SetKeepAliveTimer(&timer);
        bool enabledDuring = true;
        std::vector<std::string> eventsDuring;
        Server.SetHandler([&](const TEKTestRequest &) {
            enabledDuring = timer.GetEnabled();
            eventsDuring = Hooks.Events();
            TEKTestAnswer a = TEKTestAnswer::Xml("<re_x/>");
            a.Drop = row.drop;
            return a;
        });
        Hooks.Clear();
        std::unique_ptr<TEKXML> response;
        GetSrvXML(*Request("noop"), response);
        EXPECT_FALSE(enabledDuring);
        EXPECT_EQ(eventsDuring, std::vector<std::string>{"busy on"});
        EXPECT_EQ(timer.GetEnabled(), row.enabledBefore);
        EXPECT_EQ(Hooks.Events(), (std::vector<std::string>{"busy on", "busy off"}));
        SetKeepAliveTimer(nullptr);
        Server.SetHandler(nullptr);
    }
}

TEST_F(TransportTest, ACallOnAnotherThreadReachesTheHooksFromThere)
{
    TFakeTimer timer;
    timer.SetEnabled(true);
    const std::size_t timerCallsBefore = timer.Threads().size();
    SetKeepAliveTimer(&timer);
    Hooks.Clear();
    Server.Enqueue(TEKTestAnswer::Xml("<re_getdata/>"));
    TEKPCallRes result = ekpcrError;
    std::thread::id worker;
    std::thread t([&] {
        worker = std::this_thread::get_id();
        std::unique_ptr<TEKXML> response;
        result = GetSrvXML(*Request("getdata"), response);
    });
    t.join();
    EXPECT_EQ(result, ekpcrOK);
    for (const auto &id : Hooks.Threads())
        EXPECT_EQ(id, worker);
    const auto timerThreads = timer.Threads();
    ASSERT_EQ(timerThreads.size(), timerCallsBefore + 2);
    for (std::size_t i = timerCallsBefore; i < timerThreads.size(); ++i)
        EXPECT_EQ(timerThreads[i], worker);
    EXPECT_EQ(Hooks.Threads().size(), 2u);
}

TEST_F(TransportTest, AnOverlappingCallFailsInsteadOfSharingTheClient)
{
    std::mutex m;
    std::condition_variable cv;
    bool arrived = false, release = false;
    Server.SetHandler([&](const TEKTestRequest &) {
        std::unique_lock lock(m);
        arrived = true;
        cv.notify_all();
        cv.wait(lock, [&] { return release; });
        return TEKTestAnswer::Xml("<re_getdata/>");
    });
    TEKPCallRes first = ekpcrError;
    std::thread t([&] {
        std::unique_ptr<TEKXML> response;
        first = GetSrvXML(*Request("getdata"), response);
    });
    {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return arrived; });
    }
    std::unique_ptr<TEKXML> response;
    const TEKPCallRes second = GetSrvXML(*Request("noop"), response);
    const int32_t secondCode = LastCallErrorCode();
    {
        std::lock_guard lock(m);
        release = true;
    }
    cv.notify_all();
    t.join();
    EXPECT_EQ(second, ekpcrError);
    EXPECT_EQ(secondCode, 2);
    EXPECT_EQ(first, ekpcrOK);
    EXPECT_EQ(Server.RequestCount(), 1u);
    Server.SetHandler(nullptr);
}

TEST_F(TransportTest, ReportCallErrorShowsTheLastCallErrorUnderTheTitle)
{
    SetLastCallError(3);
    Hooks.Clear();
    ReportCallError("Loading modules list");
    EXPECT_EQ(Hooks.Events(),
              std::vector<std::string>{"error: Loading modules list\r\n" + FormatErrorCode(3)});
    const auto log = NewLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].Source, "user error");
    EXPECT_EQ(log[0].Text, "Loading modules list: " + FormatErrorCode(3));
}

TEST_F(TransportTest, TheLastCallErrorTextIsFormattedExceptForZero)
{
    for (int32_t code : {1, 2, 3, 5, 17, 0}) {
        SetLastCallError(code);
        EXPECT_EQ(LastCallErrorCode(), code);
        EXPECT_EQ(LastCallErrorText(), code == 0 ? std::string() : FormatErrorCode(code));
    }
}

} // namespace

namespace {

// The probe tool run against the test server, as a user would run it.
class ProbeToolTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Server.Running());
        Probe = fs::path(WEK_BIN_DIR) / "wek-probe";
        if (!fs::exists(Probe))
            GTEST_SKIP() << "wek-probe is not built: " << Probe;
        char pattern[] = "/tmp/ekprobe-XXXXXX";
        Folder = ::mkdtemp(pattern);
    }
    void TearDown() override
    {
        std::error_code ec;
        if (!Folder.empty())
            fs::remove_all(Folder, ec);
    }

    // Runs the tool on the settings file; returns its exit status.
    int Run(const fs::path &ini, std::string &output)
    {
        const std::string command = Probe.string() + " '" + ini.string() + "' 2>&1";
        FILE *pipe = ::popen(command.c_str(), "r");
        if (!pipe)
            return -1;
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
            output.append(buf, n);
        const int status = ::pclose(pipe);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    TEKTestServer Server;
    fs::path Probe;
    fs::path Folder;
};

TEST_F(ProbeToolTest, ReportsBothCallsAndTheirAnswers)
{
    struct Row
    {
        const char *what;
        TEKTestIni ini;
        const char *serverInfoAnswer;
        int exitStatus;
        const char *target;
        std::vector<std::string> expected; // pieces of the output
    };
    TEKTestIni direct;
    TEKTestIni proxied;
    proxied.Host = "server.invalid";
    proxied.Port = 8080;
    proxied.Path = "wek";
    proxied.Connection = {"proxyhost=127.0.0.1", "proxyport=" + std::to_string(Server.Port()),
                          "proxyuser=probe", "proxypass=pw"};
    const std::vector<Row> rows = {
        {"direct",
         direct,
         "<re_serverinfo><version>2.1.2</version></re_serverinfo>",
         0,
         "/app",
         {"clientinit: ekpcrOK", "serverinfo: ekpcrOK", "last call error: 0\n",
          "<version>2.1.2</version>", "proxy: none"}},
        {"through a proxy",
         proxied,
         "<re_serverinfo/>",
         0,
         "http://server.invalid:8080/wek",
         {"proxy: 127.0.0.1:" + std::to_string(Server.Port()) + " as probe",
          "serverinfo: ekpcrOK"}},
        {"error answer",
         direct,
         "<error><c>6</c><t>db down</t></error>",
         1,
         "/app",
         {"serverinfo: ekpcrError", "last call error: 6 db down", "<t>db down</t>"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        Server.ClearRequests();
        Server.Enqueue(TEKTestAnswer::Xml("<re_clientinit/>"));
        Server.Enqueue(TEKTestAnswer::Xml(row.serverInfoAnswer));
        const fs::path ini = Folder / "probe.ini";
        ASSERT_TRUE(Server.WriteIni(ini.string(), row.ini));
        std::string output;
        EXPECT_EQ(Run(ini, output), row.exitStatus) << output;
        for (const std::string &piece : row.expected)
            EXPECT_NE(output.find(piece), std::string::npos) << piece << "\n" << output;
        const auto reqs = Server.Requests();
        ASSERT_EQ(reqs.size(), 2u);
        EXPECT_EQ(reqs[0].Target, row.target);
        EXPECT_NE(reqs[0].Body.find(std::string("<clientinit><version>") + WEK_CLIENT_VERSION +
                                    "</version></clientinit>"),
                  std::string::npos)
            << reqs[0].Body;
        EXPECT_NE(reqs[1].Body.find("<serverinfo"), std::string::npos) << reqs[1].Body;
    }
}

TEST_F(ProbeToolTest, FailsWhenTheServerCannotBeReached)
{
    TEKTestIni ini;
    ini.Port = TEKTestServer::DeadPort();
    const fs::path file = Folder / "WEK.ini";
    ASSERT_TRUE(Server.WriteIni(file.string(), ini));
    std::string output;
    EXPECT_EQ(Run(file, output), 1) << output;
    EXPECT_NE(output.find("clientinit: ekpcrError"), std::string::npos) << output;
    EXPECT_NE(output.find("last call error: 2 WEK.00002: http exception"), std::string::npos)
        << output;
    EXPECT_NE(output.find("log: call error: 7; Couldn't connect to server"), std::string::npos)
        << output;
}

TEST_F(ProbeToolTest, RefusesUnusableSettings)
{
    const fs::path file = Folder / "WEK.ini";
    std::ofstream(file) << "[connection]\nhost=\nport=80\n";
    std::string output;
    EXPECT_EQ(Run(file, output), 2) << output;
    EXPECT_NE(output.find("WEK.00004: invalid settings"), std::string::npos) << output;
    EXPECT_EQ(Server.RequestCount(), 0u);
}

} // namespace
