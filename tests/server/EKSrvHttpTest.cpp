#include "SrvTestSupport.h"

#include "EKHttpClient.h"
#include "EKSrvHttp.h"

class SrvHttpTest : public SrvFixture
{
protected:
    void SetUp() override
    {
        SrvFixture::SetUp();
        FHttp = std::make_unique<TEKSrvHttp>(*FHandler, "wek");
        FPort = FHttp->Start(0);
        ASSERT_GT(FPort, 0);
    }
    void TearDown() override
    {
        FHttp.reset();
        SrvFixture::TearDown();
    }
    std::string Url(const std::string &tail = "") const
    {
        return "127.0.0.1:" + std::to_string(FPort) + "/wek" + tail;
    }
    // One POST through the client's own HTTP client; the answer's root.
    std::string Post(TEKHttpClient &http, const std::string &request)
    {
        http.Clear();
        http.Document() = Utf8ToWin1250(request);
        http.SetMimeType("text/xml");
        EXPECT_TRUE(http.HTTPMethod("POST", Url())) << http.ResultText();
        TEKXML doc;
        EXPECT_EQ(doc.LoadFromStream(http.ResponseBody()), 0) << http.ResponseBody();
        return doc.Name();
    }
    std::unique_ptr<TEKSrvHttp> FHttp;
    int FPort = 0;
};

TEST_F(SrvHttpTest, TheSessionCookieOfTheLoginCarriesTheLaterRequests)
{
    TEKHttpClient http;
    EXPECT_EQ(Post(http, "<noop/>"), "error");
    EXPECT_EQ(Post(http, "<login><user>" + Hex("demo") + "</user><password>" + Hex("demo") +
                             "</password></login>"),
              "re_login");
    ASSERT_EQ(http.Cookies().size(), 1u);
    EXPECT_EQ(http.Cookies()[0].first, TEKSrvHandler::kSessionCookie);
    EXPECT_EQ(Post(http, "<noop/>"), "re_noop");
    EXPECT_EQ(Post(http, "<modules/>"), "re_modules");
    // Another client has no session of its own.
    TEKHttpClient other;
    EXPECT_EQ(Post(other, "<modules/>"), "error");
    EXPECT_EQ(Post(http, "<logout/>"), "re_logout");
    EXPECT_EQ(Post(http, "<noop/>"), "error");
}

TEST_F(SrvHttpTest, AnUploadWithoutAClosingBoundaryIsStored)
{
    TEKHttpClient http;
    Post(http,
         "<login><user>" + Hex("demo") + "</user><password>" + Hex("demo") + "</password></login>");
    const std::string boundary = "7FFFFFFE_Synapse_boundary";
    const std::string content = std::string("\0\1\2 file --", 11) + boundary + "\r\n";
    const std::string body = "--" + boundary +
                             "\r\ncontent-disposition: form-data; name=\"fx\"; filename=\"" +
                             Utf8ToWin1250("/tmp/žluťoučký.txt") +
                             "\"\r\nContent-Type: Application/octet-string\r\n\r\n" + content;
    http.Clear();
    http.Document() = body;
    http.SetMimeType("multipart/form-data; boundary=" + boundary);
    ASSERT_TRUE(http.HTTPMethod("POST", Url("/upload"))) << http.ResultText();
    TEKXML doc;
    ASSERT_EQ(doc.LoadFromStream(http.ResponseBody()), 0) << http.ResponseBody();
    EXPECT_EQ(doc.Name(), "re_upload") << doc.GetXMLText();
    const auto latest = FStore->LatestUpload(1);
    ASSERT_TRUE(latest);
    EXPECT_EQ(latest->first, "žluťoučký.txt");
    EXPECT_EQ(latest->second, int64_t(content.size()));
}

TEST_F(SrvHttpTest, OtherPathsAndMethodsDoNotReachTheHandler)
{
    TEKHttpClient http;
    struct Row
    {
        std::string method, tail;
        int status;
    };
    for (const Row &row : std::vector<Row>{{"POST", "/", 200},
                                           {"POST", "x", 404},
                                           {"GET", "", 404},
                                           {"POST", "/upload/x", 404}}) {
        http.Clear();
        http.Document() = "<noop/>";
        http.SetMimeType("text/xml");
        ASSERT_TRUE(http.HTTPMethod(row.method, Url(row.tail))) << http.ResultText();
        EXPECT_EQ(http.ResultCode(), row.status) << row.method << " " << row.tail;
    }
}

TEST_F(SrvHttpTest, AStoppedServerCanStartAgain)
{
    FHttp->Stop();
    FHttp->Stop();
    const int port = FHttp->Start(0);
    ASSERT_GT(port, 0);
    FPort = port;
    TEKHttpClient http;
    EXPECT_EQ(Post(http, "<clientinit><version>x</version></clientinit>"), "re_clientinit");
    // A port in use cannot be bound twice.
    TEKSrvHttp second(*FHandler);
    EXPECT_EQ(second.Start(port), -1);
}
