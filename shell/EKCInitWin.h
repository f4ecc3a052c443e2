#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The login window: reads the settings, creates the HTTP client, checks the
// client version with the server, then logs the user in, loads the profile and
// the module list and checks that the chosen module may be opened. It ends
// accepted only when all of that worked.
class TfmClInit : public QDialog
{
    Q_OBJECT

public:
    explicit TfmClInit(QWidget *parent = nullptr);
    ~TfmClInit() override;

    QLabel *Image1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *edUserID = nullptr;
    QLineEdit *edPassword = nullptr;
    QComboBox *cbModule = nullptr;
    QPushButton *butOK = nullptr;
    QPushButton *butCancel = nullptr;
    QLabel *lInfoLabel = nullptr;

    // The start-up sequence; runs once per process, later calls do nothing.
    void InitWindow();
    // Lets the next window of the same process run its start-up again (a new
    // run inside one process, as in tests).
    static void ResetInitGuard();

    void ShowStatus(const std::string &text, bool isError);
    void ShowFatal(const std::string &text);
    bool StatusIsError() const { return FStatusIsError; }

    // The "clientinit" exchange; false with a reason when it failed.
    bool ClientInit(bool &versionDiffers, std::string &text);
    // The "login" exchange; false with the error text when it failed.
    bool Login(const std::string &user, const std::string &password, std::string &error,
               int32_t &sessionSeq);
    // "0:" and the windows-1250 bytes of text as upper-case hex pairs.
    static std::string EncodeLoginValue(const std::string &text);

    void butOKClick();
    void butCancelClick();
    void FormCreate();
    void FormShow();
    void Image1Click();

    // The maker's web address, opened by a click on the logo.
    static const char *MakerUrl();

signals:
    // Every text put on the status line, in order.
    void statusShown(const QString &text, bool isError);

protected:
    bool event(QEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;

private:
    void PostStartup();
    void SetEntryEnabled(bool enabled);
    void LetRepaint();

    bool FStatusIsError = false;
};
