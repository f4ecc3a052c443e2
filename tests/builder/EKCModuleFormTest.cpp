#include "EKCModuleForm.h"

#include "EKCLog.h"
#include "EKPCall.h"
#include "EKPSetting.h"
#include "EKPTransport.h"
#include "EKQtHooks.h"
#include "EKTestServer.h"
#include "EKXML.h"

#include <QApplication>
#include <QStatusBar>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

QApplication &App()
{
    static int argc = 1;
    static char name[] = "EKCModuleFormTest";
    static char *argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

std::unique_ptr<TEKXML> Request(const char *root)
{
    auto request = std::make_unique<TEKXML>();
    request->SetName(root);
    return request;
}

// What a timer saw of the window while the call waited.
struct TObserved
{
    int Ticks = 0;
    bool AlwaysLoading = true;
    std::vector<QString> Panel0;
    std::vector<long long> Panel1;
};

class ModuleFormTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        App();
        ASSERT_TRUE(Server.Running());
        ResetSettingValues();
        SettingValues().Host = Server.Host();
        SettingValues().Port = Server.Port();
        SettingValues().Path = "app";
        ASSERT_TRUE(CreateHttpClient());
        // The real hooks: the busy cursor is switched from the call thread.
        SetGuiHooks(&Hooks);
        Form.SetupModuleWindow();
        Timer.setInterval(5);
        QObject::connect(&Timer, &QTimer::timeout, [this] {
            ++Seen.Ticks;
            Seen.AlwaysLoading = Seen.AlwaysLoading && Form.IsLoadingData();
            Seen.Panel0.push_back(Form.StatusPanelText(0));
            Seen.Panel1.push_back(Form.StatusPanelText(1).toLongLong());
        });
    }
    void TearDown() override
    {
        SetGuiHooks(nullptr);
        DestroyHttpClient();
        ResetSettingValues();
    }

    // The application exists before the window member is built.
    struct TAppFirst
    {
        TAppFirst() { App(); }
    } AppFirst;
    TEKTestServer Server;
    TEKQtHooks Hooks;
    TEKCModuleForm Form;
    QTimer Timer;
    TObserved Seen;
};

TEST_F(ModuleFormTest, SlowCallKeepsHandlingEventsAndShowsProgress)
{
    const int delayMs = 400;
    TEKTestAnswer answer = TEKTestAnswer::Xml("<re_getdata><a>1</a></re_getdata>");
    answer.DelayMs = delayMs;
    Server.Enqueue(answer);
    auto request = Request("getdata");
    std::unique_ptr<TEKXML> response;

    EXPECT_FALSE(Form.IsLoadingData());
    Timer.start();
    const TEKPCallRes result = Form.BackgroundCallXML(*request, response);
    Timer.stop();

    EXPECT_EQ(result, ekpcrOK);
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(response->Name(), "re_getdata");
    EXPECT_FALSE(Form.IsLoadingData());
    // Timer events ran during the wait, and every one of them saw the busy flag.
    EXPECT_GT(Seen.Ticks, 0);
    EXPECT_TRUE(Seen.AlwaysLoading);
    EXPECT_NE(std::find(Seen.Panel0.begin(), Seen.Panel0.end(), QString("loading")),
              Seen.Panel0.end());
    EXPECT_TRUE(std::is_sorted(Seen.Panel1.begin(), Seen.Panel1.end()));
    EXPECT_EQ(Form.StatusPanelText(0), QString());
    bool isNumber = false;
    const long long totalMs = Form.StatusPanelText(1).toLongLong(&isNumber);
    EXPECT_TRUE(isNumber);
    EXPECT_GE(totalMs, delayMs);
    ASSERT_EQ(Server.RequestCount(), 1u);
    EXPECT_EQ(Server.LastRequest().Body, request->GetDocumentBytes());
}

struct TFailedCallCase
{
    const char *Name;
    bool WantXML;
    bool WithClient;
    TEKPCallRes Expected;
};

class ModuleFormFailedCallTest : public ModuleFormTest,
                                 public ::testing::WithParamInterface<TFailedCallCase>
{
};

TEST_P(ModuleFormFailedCallTest, ReturnsTheResultAndHandsOutNothing)
{
    const TFailedCallCase &c = GetParam();
    if (!c.WithClient)
        DestroyHttpClient();
    TEKTestAnswer drop;
    drop.Drop = true;
    Server.SetDefault(drop);
    auto request = Request("getdoc");
    std::unique_ptr<TEKXML> xml = std::make_unique<TEKXML>();
    std::unique_ptr<TEKStream> stream = std::make_unique<TEKStream>();

    const TEKPCallRes result = Form.BackgroundCall(c.WantXML, *request, stream, xml);

    EXPECT_EQ(result, c.Expected);
    EXPECT_EQ(xml, nullptr);
    EXPECT_EQ(stream, nullptr);
    EXPECT_FALSE(Form.IsLoadingData());
    EXPECT_EQ(Form.StatusPanelText(0), QString());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ModuleFormFailedCallTest,
    ::testing::Values(TFailedCallCase{"DroppedXml", true, true, ekpcrError},
                      TFailedCallCase{"DroppedStream", false, true, ekpcrError},
                      TFailedCallCase{"NoClientXml", true, false, ekpcrHaltApp},
                      TFailedCallCase{"NoClientStream", false, false, ekpcrHaltApp}),
    [](const auto &info) { return std::string(info.param.Name); });

TEST_F(ModuleFormTest, StreamFormHandsOutAnErrorAnswerAsBytes)
{
    const std::string body = "<error><code>17</code><text>no rights</text></error>";
    Server.Enqueue(TEKTestAnswer::Xml(body));
    auto request = Request("getdoc");
    std::unique_ptr<TEKStream> stream;

    EXPECT_EQ(Form.BackgroundCallStream(*request, stream), ekpcrOK);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->Bytes, body);
}

TEST_F(ModuleFormTest, BoundCallContextCallsInTheBackground)
{
    TEKTestAnswer answer = TEKTestAnswer::Xml(R"(<re_moduleopen enabled="0" message="closed"/>)");
    answer.DelayMs = 100;
    Server.Enqueue(answer);
    TEKPCallContext context(&Form);
    std::string message;
    Timer.start();
    EXPECT_EQ(context.OpenModule(5, message), -1);
    Timer.stop();
    EXPECT_EQ(message, "closed");
    EXPECT_GT(Seen.Ticks, 0);
    EXPECT_TRUE(Seen.AlwaysLoading);
    EXPECT_FALSE(Form.IsLoadingData());
}

} // namespace
