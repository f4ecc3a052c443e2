#include "EKCInitWin.h"

#include "EKBErrors.h"
#include "EKBModuleDef.h"
#include "EKCLog.h"
#include "EKCProgManager.h"
#include "EKCodecs.h"
#include "EKPCall.h"
#include "EKPSetting.h"
#include "EKPTransport.h"
#include "EKVersion.h"
#include "EKWin1250.h"
#include "EKXML.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

#include <charconv>
#include <exception>
#include <functional>

namespace {

// The private start-up message that window creation and showing both post.
const QEvent::Type kStartupEvent = static_cast<QEvent::Type>(QEvent::User + 1);

bool gInitDone = false;

// The logo: drawn here, a picture of our own making.
QPixmap DrawLogo(const QSize &size)
{
    const qreal ratio = 2.0;
    QPixmap pixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // The emblem: a rounded square with a white "W" made of two waves.
    const QRectF emblem(2, 4, 47, 47);
    QLinearGradient fill(emblem.topLeft(), emblem.bottomRight());
    fill.setColorAt(0.0, QColor(0x2f, 0x80, 0xd0));
    fill.setColorAt(1.0, QColor(0x12, 0x3f, 0x7a));
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(emblem, 9, 9);
    QPainterPath wave;
    wave.moveTo(11, 17);
    wave.lineTo(18, 40);
    wave.lineTo(25.5, 23);
    wave.lineTo(33, 40);
    wave.lineTo(40, 17);
    p.setPen(QPen(Qt::white, 4.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
    p.setPen(QPen(QColor(0xf5, 0xb0, 0x2e), 3.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(11, 45), QPointF(40, 45));

    // The name beside it.
    QFont name(QStringLiteral("DejaVu Sans"));
    name.setPixelSize(29);
    name.setBold(true);
    name.setLetterSpacing(QFont::PercentageSpacing, 104);
    p.setFont(name);
    p.setPen(QColor(0x12, 0x3f, 0x7a));
    p.drawText(QRectF(56, 2, 94, 36), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("WEK"));
    QFont tag(QStringLiteral("DejaVu Sans"));
    tag.setPixelSize(10);
    p.setFont(tag);
    p.setPen(QColor(0x55, 0x60, 0x70));
    p.drawText(QRectF(57, 36, 94, 14), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("business client"));
    return pixmap;
}

// A picture that reports a click of the left button.
class TEKCClickLabel : public QLabel
{
public:
    using QLabel::QLabel;
    std::function<void()> OnClick;

protected:
    void mouseReleaseEvent(QMouseEvent *e) override
    {
        if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && OnClick)
            OnClick();
        QLabel::mouseReleaseEvent(e);
    }
};

QLabel *MakeLabel(QWidget *parent, const char *text, int left, int top)
{
    auto *label = new QLabel(QString::fromLatin1(text), parent);
    label->adjustSize();
    label->move(left, top);
    return label;
}

// A whole decimal 32-bit integer, surrounding spaces allowed.
bool ParseInt32(std::string_view text, int32_t &value)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    const char *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc() && ptr == end;
}

// windows-1250 holds every character of the text, so it travels unchanged.
bool FitsWin1250(const std::string &text)
{
    return Win1250ToUtf8(Utf8ToWin1250(text)) == text;
}

} // namespace

TfmClInit::TfmClInit(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("WEK"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(239, 215);
    QFont font = this->font();
    font.setPixelSize(11);
    setFont(font);

    auto *logo = new TEKCClickLabel(this);
    logo->setGeometry(48, 4, 150, 55);
    logo->setPixmap(DrawLogo(logo->size()));
    logo->setAttribute(Qt::WA_TranslucentBackground);
    logo->setCursor(Qt::PointingHandCursor);
    logo->setToolTip(QString::fromLatin1(MakerUrl()));
    logo->OnClick = [this] { Image1Click(); };
    Image1 = logo;

    Label2 = MakeLabel(this, "login name", 28, 76);
    Label3 = MakeLabel(this, "password", 28, 100);
    Label1 = MakeLabel(this, "module", 28, 124);

    edUserID = new QLineEdit(this);
    edUserID->setGeometry(96, 72, 109, 21);
    edPassword = new QLineEdit(this);
    edPassword->setGeometry(96, 96, 109, 21);
    edPassword->setEchoMode(QLineEdit::Password);
    // Every character shows as "*", whatever the style would draw.
    edPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    cbModule = new QComboBox(this);
    cbModule->setGeometry(96, 120, 109, 21);
    cbModule->setEditable(false);
    cbModule->setEnabled(false);
    Label2->setBuddy(edUserID);
    Label3->setBuddy(edPassword);
    Label1->setBuddy(cbModule);

    butOK = new QPushButton(QStringLiteral("Login"), this);
    butOK->setGeometry(40, 152, 75, 21);
    butOK->setDefault(true);
    butOK->setEnabled(false);
    butCancel = new QPushButton(QStringLiteral("Cancel"), this);
    butCancel->setGeometry(124, 152, 75, 21);
    butCancel->setAutoDefault(false);
    butCancel->setEnabled(false);
    connect(butOK, &QPushButton::clicked, this, [this] { butOKClick(); });
    connect(butCancel, &QPushButton::clicked, this, [this] { butCancelClick(); });

    lInfoLabel = new QLabel(this);
    lInfoLabel->setGeometry(4, 184, 229, 13);
    lInfoLabel->setFixedSize(229, 13);

    FormCreate();
}

TfmClInit::~TfmClInit() = default;

const char *TfmClInit::MakerUrl()
{
    return "https://www.example.com/wek";
}

void TfmClInit::ResetInitGuard()
{
    gInitDone = false;
}

void TfmClInit::PostStartup()
{
    QCoreApplication::postEvent(this, new QEvent(kStartupEvent));
}

void TfmClInit::FormCreate()
{
    PostStartup();
}

void TfmClInit::FormShow()
{
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    PostStartup();
}

void TfmClInit::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (!e->spontaneous())
        FormShow();
}

bool TfmClInit::event(QEvent *e)
{
    if (e->type() == kStartupEvent) {
        InitWindow();
        return true;
    }
    return QDialog::event(e);
}

void TfmClInit::keyPressEvent(QKeyEvent *e)
{
    // Escape acts as the cancel button, so only while that is enabled.
    if (e->key() == Qt::Key_Escape && !butCancel->isEnabled()) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

void TfmClInit::ShowStatus(const std::string &text, bool isError)
{
    const QString qtext = QString::fromStdString(text);
    lInfoLabel->setText(qtext);
    lInfoLabel->setToolTip(qtext);
    QPalette palette = lInfoLabel->palette();
    palette.setColor(QPalette::WindowText,
                     isError ? QColor(Qt::red) : this->palette().color(QPalette::WindowText));
    lInfoLabel->setPalette(palette);
    FStatusIsError = isError;
    emit statusShown(qtext, isError);
}

void TfmClInit::ShowFatal(const std::string &text)
{
    ShowStatus(text, true);
    butCancel->setEnabled(true);
    edUserID->setEnabled(false);
    edPassword->setEnabled(false);
}

void TfmClInit::InitWindow()
{
    if (gInitDone)
        return;
    gInitDone = true;

    ShowStatus("Initializing ...", false);
    TEKCProgManager *manager = ProgManager();
    if (!manager || !ReadSettings(manager->Setting())) {
        ShowFatal(FormatErrorCode(4));
        return;
    }

    const TEKPSetting &settings = manager->Setting();
    bool filled = true;
    int selected = -1;
    for (const std::string &line : settings.ClientModules) {
        int32_t formId = 0;
        std::string value;
        if (!ParseModuleLine(line, formId, value)) {
            filled = false;
            break;
        }
        cbModule->addItem(QString::fromStdString(value));
        if (formId == settings.DefaultModule)
            selected = cbModule->count() - 1;
    }
    // Only the default module is preselected; the list itself would take the first.
    cbModule->setCurrentIndex(selected);
    if (filled && cbModule->count() > 0)
        cbModule->setEnabled(true);

    if (!CreateHttpClient()) {
        ShowFatal("cannot init comm");
        return;
    }
    bool versionDiffers = false;
    std::string text;
    if (!ClientInit(versionDiffers, text)) {
        ShowFatal("cannot get server response");
        return;
    }
    if (versionDiffers) {
        ShowStatus(text, true);
        if (!Confirm("Client version differs from server. Continue?", false)) {
            reject();
            return;
        }
    }
    ShowStatus("Please login...", false);
    butOK->setEnabled(true);
    butCancel->setEnabled(true);
}

bool TfmClInit::ClientInit(bool &versionDiffers, std::string &text)
{
    versionDiffers = false;
    text.clear();
    try {
        TEKXML request;
        request.SetName("clientinit");
        request.OpenLevel();
        request.AddTextElement("version", WEK_CLIENT_VERSION);
        request.CloseLevel();
        std::unique_ptr<TEKXML> response;
        if (GetSrvXML(request, response) != ekpcrOK || !response) {
            text = "server communication error";
            return false;
        }
        if (const TEKXMLElement *diff = response->FindElement("versdiff")) {
            versionDiffers = true;
            text = "server version: " + std::string(diff->Text());
        }
        return true;
    } catch (const std::exception &e) {
        WriteLog(9, "TfmClInit.ClientInit", e.what());
    } catch (...) {
        WriteLog(9, "TfmClInit.ClientInit", "unknown failure");
    }
    versionDiffers = false;
    text = "internal error";
    return false;
}

std::string TfmClInit::EncodeLoginValue(const std::string &text)
{
    static const char digits[] = "0123456789ABCDEF";
    const std::string bytes = Utf8ToWin1250(text);
    std::string encoded = "0:";
    encoded.reserve(2 + bytes.size() * 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        encoded += digits[b >> 4];
        encoded += digits[b & 0x0F];
    }
    return encoded;
}

bool TfmClInit::Login(const std::string &user, const std::string &password, std::string &error,
                      int32_t &sessionSeq)
{
    sessionSeq = 0;
    error.clear();
    // A character that windows-1250 cannot hold would travel as "?", so that
    // different passwords would reach the server as the same one.
    if (!FitsWin1250(user) || !FitsWin1250(password)) {
        error = "character not allowed in login name or password";
        return false;
    }
    try {
        TEKXML request;
        request.SetName("login");
        request.OpenLevel();
        request.AddTextElement("user", EncodeLoginValue(user));
        request.AddTextElement("password", EncodeLoginValue(password));
        request.CloseLevel();
        std::unique_ptr<TEKXML> response;
        if (GetSrvXML(request, response) != ekpcrOK || !response) {
            error = "server communication error";
            return false;
        }
        if (response->Name() != "re_login" || response->ElementCount() == 0) {
            error = "invalid response structure";
            return false;
        }
        const TEKXMLElement *first = response->ElementByOrd(1);
        if (first->Name() == "error") {
            error = FromCDATA(first->Text());
            return false;
        }
        if (first->Name() == "sessionseq") {
            if (!ParseInt32(FromCDATA(first->Text()), sessionSeq)) {
                sessionSeq = 0;
                error = "invalid response structure";
                return false;
            }
            return true;
        }
        error = "unknown result";
        return false;
    } catch (const std::exception &e) {
        WriteLog(9, "TfmClInit.Login", e.what());
    } catch (...) {
        WriteLog(9, "TfmClInit.Login", "unknown failure");
    }
    sessionSeq = 0;
    error = "internal error";
    return false;
}

void TfmClInit::SetEntryEnabled(bool enabled)
{
    butOK->setEnabled(enabled);
    butCancel->setEnabled(enabled);
    edUserID->setEnabled(enabled);
    edPassword->setEnabled(enabled);
}

void TfmClInit::LetRepaint()
{
    // Paint and timers run; user input waits until the controls are enabled again.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TfmClInit::butOKClick()
{
    SetEntryEnabled(false);
    bool accepted = false;
    try {
        ShowStatus("User authentication...", false);
        LetRepaint();
        const std::string typedUser = edUserID->text().toStdString();
        const std::string user(TrimText(typedUser));
        const std::string password = edPassword->text().toStdString();
        std::string error;
        int32_t sessionSeq = 0;
        TEKCProgManager *manager = ProgManager();
        if (!manager) {
            ShowStatus("login error: internal error", true);
        } else if (!Login(user, password, error, sessionSeq)) {
            ShowStatus("login error: " + error, true);
        } else {
            WriteLog(5, "login", "logged in: " + std::to_string(sessionSeq) + "; " + typedUser);
            SetSessionSeq(sessionSeq);
            SetUserName(user);

            ShowStatus("Loading profile...", false);
            LetRepaint();
            if (!manager->RefreshUserProfile(false, true)) {
                ShowStatus("cannot get user profile", true);
            } else {
                ShowStatus("Loading modules...", false);
                LetRepaint();
                manager->LoadModules();
                TEKModuleList *modules = manager->ModuleList();
                if (!modules) {
                    ShowStatus("no module is defined", true);
                } else {
                    int32_t chosen = 0;
                    const int index = cbModule->currentIndex();
                    const auto &lines = manager->Setting().ClientModules;
                    if (index >= 0 && index < static_cast<int>(lines.size())) {
                        std::string value;
                        if (!ParseModuleLine(lines[index], chosen, value))
                            chosen = 0;
                    }
                    for (int i = modules->Count() - 1; i >= 0; --i) {
                        if (modules->Items(i)->FormId != chosen)
                            modules->Delete(i);
                    }
                    std::string message;
                    if (modules->Count() == 1 &&
                        !CanOpenModule(modules->Items(0)->FormId, message)) {
                        ShowStatus("module cannot be opened: " + message, true);
                    } else if (modules->Count() >= 1) {
                        accepted = true;
                    } else {
                        ShowStatus("no module is available", true);
                    }
                }
            }
        }
    } catch (const std::exception &e) {
        WriteLog(9, "TfmClInit.butOKClick", e.what());
    } catch (...) {
        WriteLog(9, "TfmClInit.butOKClick", "unknown failure");
    }
    SetEntryEnabled(true);
    if (accepted)
        accept();
}

void TfmClInit::butCancelClick()
{
    reject();
}

void TfmClInit::Image1Click()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(MakerUrl())));
}
