#include "EKHttpClient.h"
#include "EKTestServer.h"

#include <gtest/gtest.h>

#include <curl/curl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

std::string ReadFile(const std::string &name)
{
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string DataFile(const std::string &name)
{
    return ReadFile(std::string(WEK_TEST_DATA) + "/comm/" + name);
}

class HttpClientTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(Server.Running()); }

    bool Post(const std::string &body, const std::string &path = "app")
    {
        Client.Clear();
        Client.Document() = body;
        Client.SetMimeType("text/xml");
        return Client.HTTPMethod("POST", Server.Url(path));
    }

    TEKTestServer Server;
    TEKHttpClient Client;
};

TEST_F(HttpClientTest, PostsTheBodyBytesWithItsMimeType)
{
    // Every byte value, NUL and high bytes included, must travel untouched.
    std::string body;
    for (int i = 0; i < 256; ++i)
        body += static_cast<char>(i);
    Server.Enqueue(TEKTestAnswer::Xml("<re/>"));
    ASSERT_TRUE(Post(body, "srv/path"));
    const TEKTestRequest req = Server.LastRequest();
    EXPECT_EQ(req.Method, "POST");
    EXPECT_EQ(req.Target, "/srv/path");
    EXPECT_EQ(req.Body, body);
    EXPECT_EQ(req.Header("Content-Type"), "text/xml");
    EXPECT_FALSE(req.HasHeader("Cookie"));
    EXPECT_FALSE(req.HasHeader("Expect"));
    EXPECT_EQ(Client.ResponseBody(), "<re/>");
}

TEST_F(HttpClientTest, EveryStatusIsACompletedExchange)
{
    struct Row
    {
        int status;
        const char *reason;
        const char *body;
    };
    const std::vector<Row> rows = {
        {200, "OK", "<ok/>"},
        {404, "Not Found", "<html>missing</html>"},
        {500, "Internal Server Error", "<html><body>broken</html>"},
        {204, "No Content", ""},
    };
    for (const Row &row : rows) {
        TEKTestAnswer a;
        a.Status = row.status;
        a.Reason = row.reason;
        a.Body = row.body;
        Server.Enqueue(a);
        ASSERT_TRUE(Post("<q/>")) << row.status;
        EXPECT_EQ(Client.ResultCode(), row.status);
        EXPECT_EQ(Client.ResultText(), row.reason);
        EXPECT_EQ(Client.ResponseBody(), row.body);
    }
}

TEST_F(HttpClientTest, KeepsTheResponseHeaderLinesInOrder)
{
    Server.Enqueue(TEKTestAnswer()
                       .WithHeader("X-First", "one")
                       .WithHeader("content-encoding", " identity ;q=1")
                       .WithHeader("X-Last", "three"));
    ASSERT_TRUE(Post("<q/>"));
    const auto &h = Client.ResponseHeaders();
    ASSERT_EQ(h.size(), 4u);
    EXPECT_EQ(h[0], "Content-Length: 0");
    EXPECT_EQ(h[1], "X-First: one");
    EXPECT_EQ(h[2], "content-encoding:  identity ;q=1");
    EXPECT_EQ(h[3], "X-Last: three");
}

TEST_F(HttpClientTest, CookiesOfOneAnswerGoBackWithTheNextRequests)
{
    Server.Enqueue(TEKTestAnswer().WithCookie("JSESSIONID", "abc").WithCookie("lang", "cz"));
    Server.Enqueue(TEKTestAnswer().WithCookie("JSESSIONID", "def"));
    Server.Enqueue(TEKTestAnswer());
    ASSERT_TRUE(Post("1"));
    ASSERT_TRUE(Post("2"));
    ASSERT_TRUE(Post("3"));
    const auto reqs = Server.Requests();
    ASSERT_EQ(reqs.size(), 3u);
    EXPECT_FALSE(reqs[0].HasHeader("Cookie"));
    EXPECT_EQ(reqs[1].Header("Cookie"), "JSESSIONID=abc; lang=cz");
    // A later value replaces the earlier one and keeps its place.
    EXPECT_EQ(reqs[2].Header("Cookie"), "JSESSIONID=def; lang=cz");
    int cookieHeaders = 0;
    for (const auto &h : reqs[2].Headers)
        cookieHeaders += h.first == "Cookie";
    EXPECT_EQ(cookieHeaders, 1);
}

TEST(HttpClientCookies, StoresNameValuePairsOfSetCookie)
{
    struct Row
    {
        std::vector<const char *> setCookies;
        const char *header;
    };
    const std::vector<Row> rows = {
        {{"a=1"}, "a=1"},
        {{"a=1; Path=/; HttpOnly", "b=2; Expires=Wed, 09 Jun 2021 10:18:14 GMT"}, "a=1; b=2"},
        {{" a = 1 ;x", "a=2"}, "a=2"},
        {{"a=x=y"}, "a=x=y"},
        {{"a="}, "a="},
        {{"novalue", "=anonymous", "b=2"}, "b=2"},
        {{"A=1", "a=2"}, "A=1; a=2"},
    };
    for (const Row &row : rows) {
        TEKHttpClient client;
        for (const char *c : row.setCookies)
            client.StoreCookie(c);
        EXPECT_EQ(client.CookieHeader(), row.header) << row.setCookies.front();
    }
}

TEST_F(HttpClientTest, OneConnectionServesTheWholeRun)
{
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(Post("<q/>"));
    for (const auto &req : Server.Requests())
        EXPECT_EQ(req.Connection, 1);
}

TEST_F(HttpClientTest, ExchangesThatDoNotCompleteReportCurlsCode)
{
    struct Row
    {
        const char *what;
        TEKTestAnswer answer;
        bool deadPort;
        int code;
    };
    TEKTestAnswer drop;
    drop.Drop = true;
    TEKTestAnswer stall;
    stall.DelayMs = 5000;
    const std::vector<Row> rows = {
        {"nothing listens", {}, true, CURLE_COULDNT_CONNECT},
        {"connection dropped", drop, false, CURLE_GOT_NOTHING},
        {"server stalls", stall, false, CURLE_OPERATION_TIMEDOUT},
    };
    for (const Row &row : rows) {
        TEKHttpClient client;
        client.SetTimeouts(2000, 1);
        if (!row.deadPort)
            Server.Enqueue(row.answer);
        const std::string url =
            row.deadPort ? "http://127.0.0.1:" + std::to_string(TEKTestServer::DeadPort()) + "/"
                         : Server.Url("app");
        // An empty body: the bytes of a body count as movement for a few
        // seconds, which would hide the stall from a 1 s limit.
        client.Document().clear();
        EXPECT_FALSE(client.HTTPMethod("POST", url)) << row.what;
        EXPECT_EQ(client.ResultCode(), row.code) << row.what;
        EXPECT_EQ(client.ResultText(), curl_easy_strerror(static_cast<CURLcode>(row.code)));
        EXPECT_TRUE(client.ResponseBody().empty()) << row.what;
    }
}

TEST_F(HttpClientTest, DecodesCompressedBodiesWithoutAskingForCompression)
{
    struct Row
    {
        const char *encoding;
        const char *file;
    };
    const std::vector<Row> rows = {{"gzip", "answer.xml.gz"}, {"deflate", "answer.xml.zlib"}};
    const std::string plain = DataFile("answer.xml");
    ASSERT_FALSE(plain.empty());
    for (const Row &row : rows) {
        TEKTestAnswer a = TEKTestAnswer::Xml(DataFile(row.file));
        a.WithHeader("Content-Encoding", row.encoding);
        Server.Enqueue(a);
        ASSERT_TRUE(Post("<q/>")) << row.encoding;
        EXPECT_EQ(Client.ResponseBody(), plain) << row.encoding;
        EXPECT_FALSE(Server.LastRequest().HasHeader("Accept-Encoding"));
    }
}

TEST_F(HttpClientTest, TalksThroughTheProxyWithItsCredentials)
{
    Client.SetProxy("127.0.0.1", std::to_string(Server.Port()), "user", "secret");
    ASSERT_TRUE(Client.HTTPMethod("POST", "http://server.invalid:8080/app"));
    const TEKTestRequest req = Server.LastRequest();
    EXPECT_EQ(req.Target, "http://server.invalid:8080/app");
    EXPECT_EQ(req.Header("Proxy-Authorization"), "Basic dXNlcjpzZWNyZXQ="); // user:secret
}

TEST_F(HttpClientTest, WithoutAProxyHostTheEnvironmentsProxyIsIgnored)
{
    const std::string dead = "http://127.0.0.1:" + std::to_string(TEKTestServer::DeadPort());
    ::setenv("http_proxy", dead.c_str(), 1);
    ::setenv("HTTP_PROXY", dead.c_str(), 1);
    const bool ok = Post("<q/>");
    ::unsetenv("http_proxy");
    ::unsetenv("HTTP_PROXY");
    EXPECT_TRUE(ok) << Client.ResultText();
    EXPECT_EQ(Server.LastRequest().Target, "/app");
}

TEST_F(HttpClientTest, StreamsABodyInPiecesWithItsLength)
{
    std::string source(3 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < source.size(); ++i)
        source[i] = static_cast<char>(i * 7 + i / 251);
    std::size_t pos = 0;
    TEKHttpBody body;
    body.Size = source.size();
    body.Read = [&](char *buf, std::size_t len) {
        // At most 1000 bytes a time, so the body crosses many reads.
        const std::size_t n = std::min({len, source.size() - pos, std::size_t{1000}});
        std::memcpy(buf, source.data() + pos, n);
        pos += n;
        return n;
    };
    Server.Enqueue(TEKTestAnswer::Xml("discarded"));
    ASSERT_TRUE(
        Client.PostStream(Server.Url("upload"), "multipart/form-data; boundary=x", body, false));
    const TEKTestRequest req = Server.LastRequest();
    EXPECT_EQ(req.Header("Content-Length"), std::to_string(source.size()));
    EXPECT_FALSE(req.HasHeader("Transfer-Encoding"));
    EXPECT_FALSE(req.HasHeader("Expect"));
    EXPECT_EQ(req.Header("Content-Type"), "multipart/form-data; boundary=x");
    EXPECT_TRUE(req.Body == source);
    EXPECT_TRUE(Client.ResponseBody().empty());
}

TEST_F(HttpClientTest, AnAbortedBodySourceFailsTheExchange)
{
    TEKHttpBody body;
    body.Size = 100;
    body.Read = [](char *, std::size_t) { return TEKHttpBody::ReadAbort; };
    EXPECT_FALSE(Client.PostStream(Server.Url("upload"), "application/octet-stream", body, true));
    EXPECT_EQ(Client.ResultCode(), CURLE_ABORTED_BY_CALLBACK);
    // The handle stays usable for the next call.
    EXPECT_TRUE(Post("<q/>"));
}

} // namespace
