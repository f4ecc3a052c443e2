#include "EKCCallThread.h"

#include "EKPSetting.h"
#include "EKPTransport.h"
#include "EKTestServer.h"
#include "EKXML.h"

#include <gtest/gtest.h>

#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

class CallThreadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Server.Running());
        ResetSettingValues();
        SettingValues().Host = Server.Host();
        SettingValues().Port = Server.Port();
        SettingValues().Path = "app";
        ASSERT_TRUE(CreateHttpClient());
        Request.SetName("getdata");
    }
    void TearDown() override
    {
        SetCallThreadPoster(nullptr);
        DestroyHttpClient();
        ResetSettingValues();
    }

    // Waits with the default poster, recording what the window would show.
    TEKPCallRes Wait(bool wantXML)
    {
        TEKCallWaitHooks hooks;
        hooks.ProcessEvents = [this] { ++EventRounds; };
        hooks.ShowProgress = [this](const std::string &status, long long ms) {
            Statuses.push_back(status);
            Millis.push_back(ms);
        };
        return WaitForBackgroundCall(wantXML, Request, Stream, Xml, hooks);
    }

    TEKTestServer Server;
    TEKXML Request;
    std::unique_ptr<TEKStream> Stream = std::make_unique<TEKStream>("stale");
    std::unique_ptr<TEKXML> Xml = std::make_unique<TEKXML>();
    int EventRounds = 0;
    std::vector<std::string> Statuses;
    std::vector<long long> Millis;
};

TEST_F(CallThreadTest, SlowAnswerShowsLoadingThenEndsEmptyWithTheTotalTime)
{
    const int delayMs = 300;
    TEKTestAnswer answer = TEKTestAnswer::Xml("<re_getdata/>");
    answer.DelayMs = delayMs;
    Server.Enqueue(answer);

    EXPECT_EQ(Wait(true), ekpcrOK);

    ASSERT_NE(Xml, nullptr);
    EXPECT_EQ(Xml->Name(), "re_getdata");
    EXPECT_EQ(Stream, nullptr);
    EXPECT_GT(EventRounds, 1);
    ASSERT_FALSE(Statuses.empty());
    EXPECT_NE(std::find(Statuses.begin(), Statuses.end(), "loading"), Statuses.end());
    EXPECT_EQ(Statuses.back(), "");
    EXPECT_TRUE(std::is_sorted(Millis.begin(), Millis.end()));
    EXPECT_GE(Millis.back(), delayMs);
    EXPECT_EQ(Server.LastRequest().Body, Request.GetDocumentBytes());
}

struct TAnswerCase
{
    const char *Name;
    bool WantXML;
    bool Drop;
    const char *Body;
    TEKPCallRes Expected;
    bool XmlOut;
    bool StreamOut;
};

class CallThreadAnswerTest : public CallThreadTest,
                             public ::testing::WithParamInterface<TAnswerCase>
{
};

TEST_P(CallThreadAnswerTest, HandsOutWhatTheTransportGave)
{
    const TAnswerCase &c = GetParam();
    TEKTestAnswer answer = TEKTestAnswer::Xml(c.Body);
    answer.Drop = c.Drop;
    Server.Enqueue(answer);

    EXPECT_EQ(Wait(c.WantXML), c.Expected);

    EXPECT_EQ(Xml != nullptr, c.XmlOut);
    EXPECT_EQ(Stream != nullptr, c.StreamOut);
    if (Stream) {
        EXPECT_EQ(Stream->Bytes, c.Body);
    }
    EXPECT_EQ(Statuses.back(), "");
}

const char kErrorAnswer[] = "<error><code>17</code><text>no rights</text></error>";

INSTANTIATE_TEST_SUITE_P(
    Cases, CallThreadAnswerTest,
    ::testing::Values(
        TAnswerCase{"XmlAnswer", true, false, "<re_x/>", ekpcrOK, true, false},
        // The caller still gets the document of an "error" answer.
        TAnswerCase{"XmlErrorRoot", true, false, kErrorAnswer, ekpcrError, true, false},
        // The stream form does not recognise "error": the raw bytes come back.
        TAnswerCase{"StreamErrorRoot", false, false, kErrorAnswer, ekpcrOK, false, true},
        TAnswerCase{"XmlDropped", true, true, "", ekpcrError, false, false},
        TAnswerCase{"StreamDropped", false, true, "", ekpcrError, false, false}),
    [](const auto &info) { return std::string(info.param.Name); });

TEST_F(CallThreadTest, WithoutHttpClientHaltsAndHandsOutNothing)
{
    DestroyHttpClient();
    EXPECT_EQ(Wait(true), ekpcrHaltApp);
    EXPECT_EQ(Xml, nullptr);
    EXPECT_EQ(Stream, nullptr);
    EXPECT_EQ(LastCallErrorCode(), 1);
    EXPECT_EQ(Server.RequestCount(), 0u);
}

TEST_F(CallThreadTest, InstalledPosterRunsEveryStepOnTheWaitingThread)
{
    std::mutex lock;
    std::deque<std::function<void()>> posted;
    SetCallThreadPoster([&](std::function<void()> step) {
        std::lock_guard<std::mutex> guard(lock);
        posted.push_back(std::move(step));
    });
    const std::thread::id waiting = std::this_thread::get_id();
    std::vector<std::thread::id> ranOn;
    TEKCallWaitHooks hooks;
    hooks.ProcessEvents = [&] {
        for (;;) {
            std::function<void()> step;
            {
                std::lock_guard<std::mutex> guard(lock);
                if (posted.empty())
                    return;
                step = std::move(posted.front());
                posted.pop_front();
            }
            ranOn.push_back(std::this_thread::get_id());
            step();
        }
    };
    TEKTestAnswer answer = TEKTestAnswer::Xml("<re_x/>");
    answer.DelayMs = 50;
    Server.Enqueue(answer);

    EXPECT_EQ(WaitForBackgroundCall(true, Request, Stream, Xml, hooks), ekpcrOK);

    // Status "loading", status empty, finished.
    ASSERT_EQ(ranOn.size(), 3u);
    for (const auto &id : ranOn)
        EXPECT_EQ(id, waiting);
    EXPECT_NE(Xml, nullptr);
}

TEST(PollPauseTest, QuietAtFirstThenGrowingUpToTheCeiling)
{
    const struct
    {
        int Polls;
        long long Ms;
    } rows[] = {{1, 0}, {10, 0}, {11, 11}, {12, 12}, {57, 57}, {100, 100}, {101, 100}, {5000, 100}};
    for (const auto &row : rows)
        EXPECT_EQ(PollPause(row.Polls).count(), row.Ms) << "after " << row.Polls << " polls";
}

} // namespace
