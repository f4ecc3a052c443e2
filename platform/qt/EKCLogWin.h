#pragma once

#include <QWidget>

class QPlainTextEdit;

// The "Communications" window: a top-level window of its own (not owned by
// the main window) with one read-only text area. At most one exists; closing
// it destroys it, and the next line opens a fresh, empty one.
class TfmClLog : public QWidget
{
    Q_OBJECT
public:
    // The open window, or nullptr. UI thread only.
    static TfmClLog *Instance();
    // The open window, created and shown (not modal) when there is none.
    static TfmClLog *Open();

    void AppendLine(const QString &text);
    QPlainTextEdit *Memo() const { return FMemo; }

private:
    TfmClLog();
    QPlainTextEdit *FMemo;
};
