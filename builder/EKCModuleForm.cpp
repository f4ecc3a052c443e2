#include "EKCModuleForm.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMetaObject>
#include <QStatusBar>

namespace {

// Call-thread steps run as queued calls on the application object, which lives
// on the user-interface thread; the waiting loop's event handling runs them.
void InstallCallThreadPoster()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    SetCallThreadPoster([](std::function<void()> step) {
        QCoreApplication *app = QCoreApplication::instance();
        if (!app) {
            step();
            return;
        }
        QMetaObject::invokeMethod(app, std::move(step), Qt::QueuedConnection);
    });
}

// The toolkit's default width of a status panel.
constexpr int kPanelWidth = 50;

} // namespace

TEKCModuleForm::TEKCModuleForm(QWidget *parent) : QMainWindow(parent)
{
    InstallCallThreadPoster();
    FMdiArea = new QMdiArea(this);
    setCentralWidget(FMdiArea);
}

TEKCModuleForm::~TEKCModuleForm() = default;

void TEKCModuleForm::SetupModuleWindow()
{
    if (FStatusBar)
        return;
    FStatusBar = new QStatusBar(this);
    FStatusBar->setSizeGripEnabled(false);
    for (QLabel *&panel : FPanels) {
        panel = new QLabel(FStatusBar);
        panel->setMinimumWidth(kPanelWidth);
        FStatusBar->addWidget(panel);
    }
    setStatusBar(FStatusBar);
}

QString TEKCModuleForm::StatusPanelText(int index) const
{
    if (index < 0 || index > 1 || !FPanels[index])
        return QString();
    return FPanels[index]->text();
}

void TEKCModuleForm::SetStatusPanel(int index, const QString &text)
{
    if (FPanels[index] && FPanels[index]->text() != text)
        FPanels[index]->setText(text);
}

TEKPCallRes TEKCModuleForm::BackgroundCall(bool wantXML, TEKXML &request,
                                           std::unique_ptr<TEKStream> &respStream,
                                           std::unique_ptr<TEKXML> &respXML)
{
    struct TLoadingFlag
    {
        bool &Flag;
        explicit TLoadingFlag(bool &flag) : Flag(flag) { Flag = true; }
        ~TLoadingFlag() { Flag = false; }
    } loading(FIsLoadingData);

    TEKCallWaitHooks hooks;
    hooks.ProcessEvents = [] { QCoreApplication::processEvents(QEventLoop::AllEvents); };
    hooks.ShowProgress = [this](const std::string &status, long long elapsedMs) {
        SetStatusPanel(0, QString::fromStdString(status));
        SetStatusPanel(1, QString::number(elapsedMs));
    };
    return WaitForBackgroundCall(wantXML, request, respStream, respXML, hooks);
}

TEKPCallRes TEKCModuleForm::BackgroundCallXML(TEKXML &request, std::unique_ptr<TEKXML> &response)
{
    std::unique_ptr<TEKStream> unused;
    return BackgroundCall(true, request, unused, response);
}

TEKPCallRes TEKCModuleForm::BackgroundCallStream(TEKXML &request,
                                                 std::unique_ptr<TEKStream> &response)
{
    std::unique_ptr<TEKXML> unused;
    return BackgroundCall(false, request, response, unused);
}
