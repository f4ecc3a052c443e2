// The process entry of the client: one program manager for the whole run.
#include "EKCLog.h"
#include "EKCLogWin.h"
#include "EKCProgManager.h"
#include "EKQtHooks.h"
#include "EKQtTermination.h"

#include <QApplication>

#include <memory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TEKQtHooks hooks;
    SetGuiHooks(&hooks);
    TEKQtTermination termination;
    {
        auto manager = std::make_unique<TEKCProgManager>();
        try {
            manager->Run();
        } catch (...) {
            // Run logs and closes the log itself; nothing may escape the process.
        }
    }
    delete TfmClLog::Instance(); // a top-level window of its own: nobody else owns it
    SetGuiHooks(nullptr);
    return 0;
}
