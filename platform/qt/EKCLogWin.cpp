#include "EKCLogWin.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QVBoxLayout>

namespace {
QPointer<TfmClLog> gInstance; // cleared by Qt when the window is destroyed
}

TfmClLog::TfmClLog() : QWidget(nullptr), FMemo(new QPlainTextEdit(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Communications"));
    resize(576, 377);
    FMemo->setReadOnly(true);
    FMemo->setFrameShape(QFrame::NoFrame);
    FMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    FMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    FMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FMemo);
}

TfmClLog *TfmClLog::Instance()
{
    return gInstance.data();
}

TfmClLog *TfmClLog::Open()
{
    if (!gInstance) {
        gInstance = new TfmClLog();
        gInstance->show();
    }
    return gInstance.data();
}

void TfmClLog::AppendLine(const QString &text)
{
    FMemo->appendPlainText(text);
}
