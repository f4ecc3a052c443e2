#pragma once

#include <QObject>

class QSocketNotifier;
class QTimer;

// Turns SIGTERM, SIGINT and SIGHUP (the desktop session ending, Ctrl+C in a
// terminal, a closed terminal) into an orderly end of the run: every window is
// closed as if the user had closed it, so the run still writes the profile
// back, logs out and writes "stop", instead of dying in the middle.
// One instance, on the UI thread, after the QApplication exists.
class TEKQtTermination : public QObject
{
    Q_OBJECT
public:
    explicit TEKQtTermination(QObject *parent = nullptr);
    ~TEKQtTermination() override;

    bool Requested() const { return FRequested; }

private:
    void OnSignal();
    void CloseWindows();

    QSocketNotifier *FNotifier = nullptr;
    QTimer *FTimer = nullptr;
    bool FRequested = false;
};
