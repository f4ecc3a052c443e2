#include "EKCLog.h"
#include "EKCLogWin.h"
#include "EKPSetting.h"
#include "EKPTransport.h"
#include "EKQtHooks.h"
#include "EKTestServer.h"
#include "EKXML.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QPlainTextEdit>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

namespace {

int gArgc = 1;
char gArg0[] = "test";
char *gArgv[] = {gArg0, nullptr};

// A call made on a worker thread, as the background call makes it, with the
// real Qt hooks and keep-alive timer installed and the UI thread running its
// events meanwhile.
class TransportHooksTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (!QApplication::instance())
            new QApplication(gArgc, gArgv);
    }

    void SetUp() override
    {
        ASSERT_TRUE(Server.Running());
        ResetSettingValues();
        SettingValues().Host = "127.0.0.1";
        SettingValues().Port = Server.Port();
        SettingValues().Path = "app";
        SetGuiHooks(&Hooks);
        Timer.SetInterval(60000);
        Timer.SetEnabled(true);
        SetKeepAliveTimer(&Timer);
        ASSERT_TRUE(CreateHttpClient());
        Server.SetHandler([this](const TEKTestRequest &) {
            std::unique_lock lock(FMutex);
            FArrived = true;
            FCv.wait(lock, [this] { return FRelease; });
            return TEKTestAnswer::Xml("<re_getdata>rows</re_getdata>");
        });
    }
    void TearDown() override
    {
        Release();
        Server.SetHandler(nullptr);
        DestroyHttpClient();
        SetKeepAliveTimer(nullptr);
        SetGuiHooks(nullptr);
        ResetSettingValues();
        if (TfmClLog *log = TfmClLog::Instance())
            delete log;
    }

    // Runs the UI thread's events until done says so; false if it never does
    // within the bound (a hung call, not a speed limit).
    static bool SpinUntil(const std::function<bool()> &done)
    {
        for (int i = 0; i < 200000 && !done(); ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            std::this_thread::yield();
        }
        QCoreApplication::processEvents();
        return done();
    }
    bool Arrived()
    {
        std::lock_guard lock(FMutex);
        return FArrived;
    }
    void Release()
    {
        {
            std::lock_guard lock(FMutex);
            FRelease = true;
        }
        FCv.notify_all();
    }

    TEKTestServer Server;
    TEKQtHooks Hooks;
    TEKQtKeepAliveTimer Timer;
    std::mutex FMutex;
    std::condition_variable FCv;
    bool FArrived = false;
    bool FRelease = false;
};

TEST_F(TransportHooksTest, AWorkerThreadCallHoldsTheTimerAndShowsTheBusyCursor)
{
    ASSERT_TRUE(Timer.Timer()->isActive());
    std::atomic<bool> finished{false};
    TEKPCallRes result = ekpcrError;
    std::unique_ptr<TEKXML> response;
    std::thread worker([&] {
        TEKXML request;
        request.SetName("getdata");
        result = GetSrvXML(request, response);
        finished = true;
    });
    const bool arrived = SpinUntil([this] { return Arrived(); });
    // The hooks were called before the request left, so their queued parts
    // have run by now on this thread.
    const bool busyDuring =
        QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
    const bool timerDuring = Timer.Timer()->isActive();
    const bool enabledDuring = Timer.GetEnabled();
    Release();
    const bool done = SpinUntil([&] { return finished.load(); });
    worker.join();
    QCoreApplication::processEvents();

    ASSERT_TRUE(arrived);
    ASSERT_TRUE(done);
    EXPECT_TRUE(busyDuring);
    EXPECT_FALSE(timerDuring);
    EXPECT_FALSE(enabledDuring);
    EXPECT_EQ(result, ekpcrOK);
    ASSERT_TRUE(response);
    EXPECT_EQ(response->Name(), "re_getdata");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(Timer.GetEnabled());
    EXPECT_TRUE(Timer.Timer()->isActive());
}

TEST_F(TransportHooksTest, TheTransportsLogLinesReachTheCommunicationsWindow)
{
    SettingValues().ShowLog = true;
    SettingValues().LogComm = true;
    Release();
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        TEKXML request;
        request.SetName("getdata");
        std::unique_ptr<TEKXML> response;
        GetSrvXML(request, response);
        // A second call that fails: its "call error: " line follows.
        SettingValues().Port = TEKTestServer::DeadPort();
        GetSrvXML(request, response);
        finished = true;
    });
    const bool done = SpinUntil([&] { return finished.load(); });
    worker.join();
    QCoreApplication::processEvents();
    ASSERT_TRUE(done);
    TfmClLog *log = TfmClLog::Instance();
    ASSERT_NE(log, nullptr);
    const QStringList lines = log->Memo()->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 3) << log->Memo()->toPlainText().toStdString();
    EXPECT_TRUE(lines[0].startsWith("response (")) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith("): <re_getdata>rows</re_getdata>")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].endsWith("): ")) << lines[1].toStdString();
    EXPECT_EQ(lines[2], "call error: 7; Couldn't connect to server");
    const std::string shot =
        (std::filesystem::temp_directory_path() / "ek-transport-commlog.png").string();
    log->grab().save(QString::fromStdString(shot));
}

} // namespace
