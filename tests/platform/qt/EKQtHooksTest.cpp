#include "EKQtHooks.h"

#include "EKCLogWin.h"
#include "EKPSetting.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

class EKQtHooksTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "EKQtHooksTest";
        static char *argv[] = {name, nullptr};
        if (!QApplication::instance())
            new QApplication(argc, argv);
    }
    void SetUp() override { SetGuiHooks(&Hooks); }
    void TearDown() override
    {
        SetGuiHooks(nullptr);
        while (QGuiApplication::overrideCursor())
            QGuiApplication::restoreOverrideCursor();
        if (TfmClLog *w = TfmClLog::Instance())
            delete w;
    }
    // Runs the UI thread's events until done is set (bounded, so that a
    // failure cannot hang the run).
    static void PumpUntil(const std::atomic<bool> &done)
    {
        QElapsedTimer guard;
        guard.start();
        while (!done.load() && guard.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::processEvents();
    }
    // Answers every modal box that appears by pressing a key, recording it.
    struct BoxAnswerer
    {
        explicit BoxAnswerer(Qt::Key key)
        {
            QObject::connect(&Poll, &QTimer::timeout, [this, key] {
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                if (!box)
                    return;
                Title = box->windowTitle();
                Text = box->text();
                for (QAbstractButton *b : box->buttons())
                    Buttons << b->text();
                Shot = box->grab();
                QTest::keyClick(box, key);
            });
            Poll.start(5);
        }
        QTimer Poll;
        QString Title;
        QString Text;
        QStringList Buttons;
        QPixmap Shot;
    };
    TEKQtHooks Hooks;
};

TEST_F(EKQtHooksTest, ConfirmFromAnotherThreadAnswersByDefaultButton)
{
    struct Row
    {
        bool DefaultYes;
        Qt::Key Key;
        bool Expected;
    };
    const Row rows[] = {{false, Qt::Key_Return, false},
                        {true, Qt::Key_Return, true},
                        {true, Qt::Key_Escape, false}};
    for (const Row &r : rows) {
        BoxAnswerer answerer(r.Key);
        std::atomic<bool> done{false};
        bool answer = !r.Expected;
        std::thread worker([&] {
            answer = Confirm("Close the form?", r.DefaultYes);
            done = true;
        });
        PumpUntil(done);
        worker.join();
        EXPECT_EQ(answer, r.Expected) << r.DefaultYes << " " << r.Key;
        EXPECT_EQ(answerer.Title, "Confirmation");
        EXPECT_EQ(answerer.Text, "Close the form?");
        EXPECT_TRUE(answerer.Buttons.contains("yes") && answerer.Buttons.contains("no"))
            << answerer.Buttons.join(",").toStdString();
        if (!r.DefaultYes)
            answerer.Shot.save("/tmp/EKQtHooksTest_confirm.png");
    }
}

TEST_F(EKQtHooksTest, MessageBoxesFromAnotherThread)
{
    struct Row
    {
        TEKMsgDlgKind Kind;
        const char *Title;
    };
    const Row rows[] = {{ekmdkError, "Error"}, {ekmdkInformation, "Information"}};
    for (const Row &r : rows) {
        BoxAnswerer answerer(Qt::Key_Return);
        std::atomic<bool> done{false};
        TEKMsgDlgButton button = ekmdbNo;
        std::thread worker([&] {
            button = MessageDialog(r.Kind, "Loading modules list\r\nno http object", false);
            done = true;
        });
        PumpUntil(done);
        worker.join();
        EXPECT_EQ(button, ekmdbOK);
        EXPECT_EQ(answerer.Title, r.Title);
        EXPECT_TRUE(answerer.Text.startsWith("Loading modules list"));
        if (r.Kind == ekmdkError)
            answerer.Shot.save("/tmp/EKQtHooksTest_error.png");
    }
}

TEST_F(EKQtHooksTest, ConfirmOnTheUiThreadRunsDirectly)
{
    BoxAnswerer answerer(Qt::Key_Return);
    EXPECT_TRUE(Confirm("direct", true));
    EXPECT_EQ(answerer.Text, "direct");
}

TEST_F(EKQtHooksTest, CommunicationsWindowFromAnotherThread)
{
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i)
            Hooks.AppendCommLog("line " + std::to_string(i));
        done = true;
    });
    PumpUntil(done);
    worker.join();
    QCoreApplication::processEvents();
    TfmClLog *w = TfmClLog::Instance();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), "Communications");
    EXPECT_EQ(w->size(), QSize(576, 377));
    EXPECT_EQ(w->parentWidget(), nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->Memo()->isReadOnly());
    QStringList lines = w->Memo()->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 50);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(lines[i], QString("line %1").arg(i));
    w->grab().save("/tmp/EKQtHooksTest_comm.png");

    w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(TfmClLog::Instance(), nullptr);
    Hooks.AppendCommLog("fresh");
    ASSERT_NE(TfmClLog::Instance(), nullptr);
    EXPECT_EQ(TfmClLog::Instance()->Memo()->toPlainText(), "fresh");
}

TEST_F(EKQtHooksTest, BusyCursorFromAnotherThread)
{
    std::atomic<bool> done{false};
    std::thread on([&] {
        BeginBusy();
        done = true;
    });
    PumpUntil(done);
    on.join();
    QCoreApplication::processEvents();
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    done = false;
    std::thread off([&] {
        EndBusy();
        done = true;
    });
    PumpUntil(done);
    off.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(EKQtHooksTest, KeepAliveTimerFromAnotherThread)
{
    struct Row
    {
        int Interval;
        bool Enabled;
        bool Active;
    };
    const Row rows[] = {{60000, true, true}, {60000, false, false}, {0, true, false}};
    for (const Row &r : rows) {
        TEKQtKeepAliveTimer timer;
        timer.SetInterval(r.Interval);
        IEKKeepAliveTimer *shared = &timer;
        std::atomic<bool> done{false};
        std::thread worker([&] {
            shared->SetEnabled(r.Enabled);
            done = shared->GetEnabled() == r.Enabled;
            done = true;
        });
        PumpUntil(done);
        worker.join();
        QCoreApplication::processEvents();
        EXPECT_EQ(timer.GetEnabled(), r.Enabled) << r.Interval;
        EXPECT_EQ(timer.Timer()->isActive(), r.Active) << r.Interval << " " << r.Enabled;
    }
}

TEST_F(EKQtHooksTest, LogTextReachesTheWindowFromAnotherThread)
{
    SettingValues().ShowLog = true;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        WriteLog(9, "GetSrvResp", "call error: 404; Not Found");
        done = true;
    });
    PumpUntil(done);
    worker.join();
    QCoreApplication::processEvents();
    SettingValues().ShowLog = false;
    ASSERT_NE(TfmClLog::Instance(), nullptr);
    EXPECT_EQ(TfmClLog::Instance()->Memo()->toPlainText(), "call error: 404; Not Found");
}

} // namespace
