#pragma once

#include "EKCLog.h"

#include <QObject>

#include <atomic>

class QTimer;

// The Qt side of the core's user-interface hooks. Create it on the UI thread
// and install it with SetGuiHooks. Every hook may be called from any thread:
// message boxes block the caller until answered (a blocking queued call when
// the caller is not the UI thread); the cursor and the communications window
// are switched by queued calls, in the order they were made.
class TEKQtHooks : public QObject, public TEKGuiHooks
{
    Q_OBJECT
public:
    explicit TEKQtHooks(QObject *parent = nullptr);
    // Uninstalls itself when it is still the installed set.
    ~TEKQtHooks() override;

    void ShowInfo(const std::string &text) override;
    void ShowError(const std::string &text) override;
    bool Confirm(const std::string &text, bool defaultYes) override;
    void BeginBusy() override;
    void EndBusy() override;
    void AppendCommLog(const std::string &text) override;

private:
    bool OnUiThread() const;
    bool Dialog(TEKMsgDlgKind kind, const QString &text, bool defaultYes);
};

// The main window's keep-alive timer, usable from any thread. Its interval is
// set in milliseconds; an interval of 0 never ticks, enabled or not.
class TEKQtKeepAliveTimer : public QObject, public IEKKeepAliveTimer
{
    Q_OBJECT
public:
    explicit TEKQtKeepAliveTimer(QObject *parent = nullptr);

    bool GetEnabled() const override { return FEnabled.load(); }
    void SetEnabled(bool enabled) override;
    // UI thread only.
    void SetInterval(int msec);
    int Interval() const;
    // The timer itself, for connecting to timeout(). Start and stop it only
    // through SetEnabled.
    QTimer *Timer() const { return FTimer; }

private:
    void Apply();
    QTimer *FTimer;
    std::atomic<bool> FEnabled{false};
};
