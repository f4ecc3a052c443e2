#include "EKQtHooks.h"

#include "EKCLogWin.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>

TEKQtHooks::TEKQtHooks(QObject *parent) : QObject(parent) {}

TEKQtHooks::~TEKQtHooks()
{
    if (&GuiHooks() == this)
        SetGuiHooks(nullptr);
}

bool TEKQtHooks::OnUiThread() const
{
    return QThread::currentThread() == thread();
}

bool TEKQtHooks::Dialog(TEKMsgDlgKind kind, const QString &text, bool defaultYes)
{
    if (!OnUiThread()) {
        bool answer = false;
        QMetaObject::invokeMethod(
            this, [&] { answer = Dialog(kind, text, defaultYes); }, Qt::BlockingQueuedConnection);
        return answer;
    }
    QMessageBox box;
    box.setText(text);
    QPushButton *yes = nullptr;
    switch (kind) {
    case ekmdkConfirmation: {
        box.setWindowTitle(QStringLiteral("Confirmation"));
        box.setIcon(QMessageBox::Question);
        yes = box.addButton(QStringLiteral("yes"), QMessageBox::YesRole);
        QPushButton *no = box.addButton(QStringLiteral("no"), QMessageBox::NoRole);
        box.setDefaultButton(defaultYes ? yes : no);
        box.setEscapeButton(no);
        break;
    }
    case ekmdkInformation:
        box.setWindowTitle(QStringLiteral("Information"));
        box.setIcon(QMessageBox::Information);
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case ekmdkError:
        box.setWindowTitle(QStringLiteral("Error"));
        box.setIcon(QMessageBox::Critical);
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    box.adjustSize();
    if (QScreen *screen = QGuiApplication::primaryScreen())
        box.move(screen->availableGeometry().center() - box.rect().center());
    box.exec();
    return yes != nullptr && box.clickedButton() == yes;
}

void TEKQtHooks::ShowInfo(const std::string &text)
{
    Dialog(ekmdkInformation, QString::fromStdString(text), false);
}

void TEKQtHooks::ShowError(const std::string &text)
{
    Dialog(ekmdkError, QString::fromStdString(text), false);
}

bool TEKQtHooks::Confirm(const std::string &text, bool defaultYes)
{
    return Dialog(ekmdkConfirmation, QString::fromStdString(text), defaultYes);
}

void TEKQtHooks::BeginBusy()
{
    // Queued even on the UI thread would reorder against direct calls, so the
    // UI thread switches at once and other threads queue in call order.
    auto on = [] { QGuiApplication::setOverrideCursor(Qt::WaitCursor); };
    if (OnUiThread())
        on();
    else
        QMetaObject::invokeMethod(this, on, Qt::QueuedConnection);
}

void TEKQtHooks::EndBusy()
{
    auto off = [] {
        if (QGuiApplication::overrideCursor())
            QGuiApplication::restoreOverrideCursor();
    };
    if (OnUiThread())
        off();
    else
        QMetaObject::invokeMethod(this, off, Qt::QueuedConnection);
}

void TEKQtHooks::AppendCommLog(const std::string &text)
{
    auto append = [line = QString::fromStdString(text)] { TfmClLog::Open()->AppendLine(line); };
    if (OnUiThread())
        append();
    else
        QMetaObject::invokeMethod(this, append, Qt::QueuedConnection);
}

TEKQtKeepAliveTimer::TEKQtKeepAliveTimer(QObject *parent)
    : QObject(parent), FTimer(new QTimer(this))
{
}

void TEKQtKeepAliveTimer::SetEnabled(bool enabled)
{
    FEnabled.store(enabled);
    if (QThread::currentThread() == thread())
        Apply();
    else
        QMetaObject::invokeMethod(
            this, [this] { Apply(); }, Qt::QueuedConnection);
}

void TEKQtKeepAliveTimer::SetInterval(int msec)
{
    FTimer->setInterval(msec < 0 ? 0 : msec);
    Apply();
}

int TEKQtKeepAliveTimer::Interval() const
{
    return FTimer->interval();
}

void TEKQtKeepAliveTimer::Apply()
{
    // A QTimer of interval 0 would fire on every pass of the event loop.
    bool run = FEnabled.load() && FTimer->interval() > 0;
    if (run && !FTimer->isActive())
        FTimer->start();
    else if (!run && FTimer->isActive())
        FTimer->stop();
}
