#pragma once

#include "EKCCallThread.h"

#include <QMainWindow>

#include <memory>

class QLabel;
class QMdiArea;
class QStatusBar;

// The window of an open module: an MDI frame whose children are the module's
// form windows. It runs the calls that may take long in the background and
// keeps handling window events while it waits.
class TEKCModuleForm : public QMainWindow, public IEKBackgroundCaller
{
    Q_OBJECT

public:
    explicit TEKCModuleForm(QWidget *parent = nullptr);
    ~TEKCModuleForm() override;

    // True exactly while a background call waits. A plain flag: a nested call
    // started from an event handled during the wait clears it when it ends.
    bool IsLoadingData() const { return FIsLoadingData; }

    // Creates the status bar (two panels: the call's status, its milliseconds).
    void SetupModuleWindow();

    // Runs the request on a call thread; out values are none unless handed out.
    TEKPCallRes BackgroundCall(bool wantXML, TEKXML &request,
                               std::unique_ptr<TEKStream> &respStream,
                               std::unique_ptr<TEKXML> &respXML);
    TEKPCallRes BackgroundCallXML(TEKXML &request, std::unique_ptr<TEKXML> &response) override;
    TEKPCallRes BackgroundCallStream(TEKXML &request, std::unique_ptr<TEKStream> &response);

    QMdiArea *MdiArea() const { return FMdiArea; }
    // Absent until SetupModuleWindow.
    QStatusBar *StatusBar() const { return FStatusBar; }
    // The text of status panel 0 or 1; empty without a status bar.
    QString StatusPanelText(int index) const;

private:
    void SetStatusPanel(int index, const QString &text);

    bool FIsLoadingData = false;
    QMdiArea *FMdiArea = nullptr;
    QStatusBar *FStatusBar = nullptr;
    QLabel *FPanels[2] = {nullptr, nullptr};
};
