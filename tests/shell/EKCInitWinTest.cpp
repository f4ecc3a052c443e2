#include "EKCInitWin.h"

#include "EKBErrors.h"
#include "EKCLog.h"
#include "EKCProgManager.h"
#include "EKPSetting.h"
#include "EKPTransport.h"
#include "EKTestServer.h"
#include "EKVersion.h"
#include "EKWin1250.h"
#include "EKXML.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

QApplication &App()
{
    static int argc = 1;
    static char name[] = "EKCInitWinTest";
    static char *argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

// Records the boxes the window shows and answers its question.
class TTestHooks : public TEKGuiHooks
{
public:
    void ShowInfo(const std::string &text) override { Boxes.push_back("info: " + text); }
    void ShowError(const std::string &text) override { Boxes.push_back("error: " + text); }
    bool Confirm(const std::string &text, bool defaultYes) override
    {
        Questions.push_back(text);
        QuestionDefaultYes = defaultYes;
        return Answer;
    }
    void BeginBusy() override {}
    void EndBusy() override {}
    void AppendCommLog(const std::string &) override {}

    bool Answer = true;
    bool QuestionDefaultYes = true;
    std::vector<std::string> Boxes;
    std::vector<std::string> Questions;
};

// A request as the server saw it: its root and the whole document.
struct TSeen
{
    std::string Root;
    std::string Text;
};

const char kModules[] = "<re_modules><module><formid>5</formid><name>Sales</name></module>"
                        "<module><formid>7</formid><name>Stock</name></module></re_modules>";

class InitWinTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        App();
        ASSERT_TRUE(Server.Running());
        Folder = fs::temp_directory_path() /
                 ("wek-initwin-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Folder);
        fs::create_directories(Folder / "logs");
        fs::create_directories(Folder / "temp");
        SetExeFolder(Folder.string());
        Ini.Client = {"defaultmodule=5"};
        Ini.Extra = "[client_modules]\r\nm5=Sales\r\nm7=Stock\r\n";
        Answers["clientinit"] = "<re_clientinit/>";
        Answers["login"] = "<re_login><sessionseq>42</sessionseq></re_login>";
        Answers["refreshprofile"] =
            R"(<re_refreshprofile><item infotype="1" name="formcoor 5:0">1 2 3 4</item></re_refreshprofile>)";
        Answers["modules"] = kModules;
        Answers["moduleopen"] = R"(<re_moduleopen enabled="1"/>)";
        Server.SetHandler([this](const TEKTestRequest &request) {
            TEKXML doc;
            doc.LoadFromStream(request.Body);
            std::lock_guard<std::mutex> guard(Lock);
            Seen.push_back({doc.Name(), doc.GetXMLText()});
            auto found = Answers.find(doc.Name());
            if (found == Answers.end())
                return TEKTestAnswer::Xml("<re_other/>");
            if (found->second == "drop") {
                TEKTestAnswer drop;
                drop.Drop = true;
                return drop;
            }
            return TEKTestAnswer::Xml(found->second);
        });
        SetGuiHooks(&Hooks);
        TfmClInit::ResetInitGuard();
        Manager = std::make_unique<TEKCProgManager>();
    }

    void TearDown() override
    {
        Window.reset();
        Manager.reset();
        SetGuiHooks(nullptr);
        DestroyHttpClient();
        CloseClientLog();
        ResetSettingValues();
        SetExeFolder("");
        std::error_code ec;
        fs::remove_all(Folder, ec);
    }

    void WriteIni() { ASSERT_TRUE(Server.WriteIni((Folder / "WEK.ini").string(), Ini)); }

    // Creates and shows the window and lets its start-up run.
    void Open()
    {
        Window = std::make_unique<TfmClInit>();
        QObject::connect(Window.get(), &TfmClInit::statusShown,
                         [this](const QString &text, bool isError) {
                             Statuses.push_back(text.toStdString());
                             Errors.push_back(isError);
                         });
        Window->show();
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }

    void Login(const QString &user, const QString &password)
    {
        Window->edUserID->setText(user);
        Window->edPassword->setText(password);
        Window->butOK->click();
        QCoreApplication::processEvents();
    }

    std::vector<std::string> Roots()
    {
        std::lock_guard<std::mutex> guard(Lock);
        std::vector<std::string> roots;
        for (const auto &seen : Seen)
            roots.push_back(seen.Root);
        return roots;
    }
    std::string TextOf(const std::string &root)
    {
        std::lock_guard<std::mutex> guard(Lock);
        for (const auto &seen : Seen)
            if (seen.Root == root)
                return seen.Text;
        return "";
    }
    bool StatusIsRed() const
    {
        return Window->lInfoLabel->palette().color(QPalette::WindowText) == QColor(Qt::red);
    }
    std::string Status() const { return Window->lInfoLabel->text().toStdString(); }

    TEKTestServer Server;
    fs::path Folder;
    TEKTestIni Ini;
    std::mutex Lock;
    std::map<std::string, std::string> Answers;
    std::vector<TSeen> Seen;
    TTestHooks Hooks;
    std::unique_ptr<TEKCProgManager> Manager;
    std::unique_ptr<TfmClInit> Window;
    std::vector<std::string> Statuses;
    std::vector<bool> Errors;
};

TEST_F(InitWinTest, LoginWithoutFailuresShowsFiveStatusesAndSendsFiveRequests)
{
    WriteIni();
    Open();
    EXPECT_EQ(Status(), "Please login...");
    EXPECT_TRUE(Window->butOK->isEnabled());
    EXPECT_TRUE(Window->cbModule->isEnabled());
    EXPECT_EQ(Window->cbModule->currentText(), "Sales");

    Login("demo", "demo");

    EXPECT_EQ(Window->result(), QDialog::Accepted);
    const std::vector<std::string> statuses = {"Initializing ...", "Please login...",
                                               "User authentication...", "Loading profile...",
                                               "Loading modules..."};
    EXPECT_EQ(Statuses, statuses);
    EXPECT_EQ(Errors, std::vector<bool>(5, false));
    const std::vector<std::string> roots = {"clientinit", "login", "refreshprofile", "modules",
                                            "moduleopen"};
    EXPECT_EQ(Roots(), roots);
    EXPECT_EQ(TextOf("clientinit"),
              "<clientinit><version>" WEK_CLIENT_VERSION "</version></clientinit>");
    EXPECT_EQ(TextOf("refreshprofile"), "<refreshprofile receive=\"1\"/>");
    EXPECT_EQ(TextOf("modules"), "<modules/>");
    EXPECT_EQ(TextOf("moduleopen"), "<moduleopen><moduleid>5</moduleid></moduleopen>");
    ASSERT_NE(Manager->ModuleList(), nullptr);
    ASSERT_EQ(Manager->ModuleList()->Count(), 1);
    EXPECT_EQ(Manager->ModuleList()->Items(0)->FormId, 5);
    EXPECT_EQ(Manager->ProfileManager().GetValue(1, "formcoor 5:0"), "1 2 3 4");
    EXPECT_EQ(SessionSeq(), 42);
    EXPECT_EQ(UserName(), "demo");
    EXPECT_TRUE(Hooks.Boxes.empty());
}

TEST_F(InitWinTest, StartupRunsOnceAlthoughPostedTwice)
{
    WriteIni();
    Open();
    Window->InitWindow();
    QCoreApplication::processEvents();
    EXPECT_EQ(Roots(), std::vector<std::string>{"clientinit"});
    EXPECT_EQ(std::count(Statuses.begin(), Statuses.end(), "Initializing ..."), 1);
}

TEST_F(InitWinTest, LoginNameIsSentTrimmedAndLoggedAsTyped)
{
    WriteIni();
    OpenClientLog();
    Open();
    Login(" demo ", " pass word ");

    EXPECT_EQ(TextOf("login"), "<login><user>0:64656D6F</user>"
                               "<password>0:207061737320776F726420</password></login>");
    EXPECT_EQ(UserName(), "demo");
    CloseClientLog();
    std::string log;
    for (const auto &entry : fs::directory_iterator(Folder / "logs")) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        log += Win1250ToUtf8(text.str());
    }
    EXPECT_NE(log.find("; login; logged in: 42;  demo \n"), std::string::npos) << log;
}

TEST_F(InitWinTest, SecondLoginAfterNoModuleAvailableSendsLoginAgain)
{
    Ini.Extra = "";
    WriteIni();
    Open();
    EXPECT_FALSE(Window->cbModule->isEnabled());
    Login("demo", "demo");
    EXPECT_EQ(Status(), "no module is available");
    EXPECT_TRUE(StatusIsRed());
    EXPECT_TRUE(Window->butOK->isEnabled());
    EXPECT_TRUE(Window->edUserID->isEnabled());
    EXPECT_NE(Window->result(), QDialog::Accepted);

    Login("demo", "demo");
    const std::vector<std::string> roots = Roots();
    EXPECT_EQ(std::count(roots.begin(), roots.end(), "login"), 2);
    EXPECT_EQ(Status(), "no module is available");
}

struct TModuleListCase
{
    const char *Name;
    const char *Default;
    const char *Lines;
    int Items;
    const char *Selected;
    bool Enabled;
};

class InitWinModuleListTest : public InitWinTest,
                              public ::testing::WithParamInterface<TModuleListCase>
{
};

TEST_P(InitWinModuleListTest, FillsTheListAndSelectsOnlyTheDefault)
{
    const TModuleListCase &c = GetParam();
    Ini.Client = {c.Default};
    Ini.Extra = c.Lines;
    WriteIni();
    Open();

    EXPECT_EQ(Status(), "Please login...");
    EXPECT_EQ(Window->cbModule->count(), c.Items);
    EXPECT_EQ(Window->cbModule->currentText().toStdString(), c.Selected);
    EXPECT_EQ(Window->cbModule->isEnabled(), c.Enabled);
}

INSTANTIATE_TEST_SUITE_P(
    Table, InitWinModuleListTest,
    ::testing::Values(
        TModuleListCase{"DefaultSecond", "defaultmodule=7",
                        "[client_modules]\r\nm5=Sales\r\nm7=Stock\r\n", 2, "Stock", true},
        TModuleListCase{"DefaultNotListed", "defaultmodule=9",
                        "[client_modules]\r\nm5=Sales\r\nm7=Stock\r\n", 2, "", true},
        // A line whose name holds no number ends the filling and leaves the list disabled.
        TModuleListCase{"BadLineStops", "defaultmodule=5",
                        "[client_modules]\r\nm5=Sales\r\nmx=Bad\r\nm7=Stock\r\n", 1, "Sales",
                        false},
        TModuleListCase{"NoSection", "defaultmodule=5", "", 0, "", false}),
    [](const auto &info) { return std::string(info.param.Name); });

struct TLoginFailure
{
    const char *Name;
    const char *Root;   // the request whose answer is replaced
    const char *Answer; // the answer, or "drop"
    const char *Message;
    const char *Box; // the error box shown, or "" for none
};

class InitWinLoginFailureTest : public InitWinTest,
                                public ::testing::WithParamInterface<TLoginFailure>
{
};

TEST_P(InitWinLoginFailureTest, ShowsItsMessageInRed)
{
    const TLoginFailure &c = GetParam();
    Answers[c.Root] = c.Answer;
    WriteIni();
    Open();
    ASSERT_EQ(Status(), "Please login...");

    Login("demo", "demo");

    EXPECT_EQ(Status(), c.Message);
    EXPECT_TRUE(StatusIsRed());
    EXPECT_EQ(Window->lInfoLabel->toolTip().toStdString(), c.Message);
    EXPECT_NE(Window->result(), QDialog::Accepted);
    EXPECT_FALSE(Window->isHidden());
    EXPECT_TRUE(Window->butOK->isEnabled());
    EXPECT_TRUE(Window->butCancel->isEnabled());
    EXPECT_TRUE(Window->edPassword->isEnabled());
    if (*c.Box) {
        ASSERT_EQ(Hooks.Boxes.size(), 1u);
        EXPECT_EQ(Hooks.Boxes[0].rfind(std::string("error: ") + c.Box, 0), 0u) << Hooks.Boxes[0];
    } else {
        EXPECT_TRUE(Hooks.Boxes.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, InitWinLoginFailureTest,
    ::testing::Values(
        TLoginFailure{"LoginDropped", "login", "drop", "login error: server communication error",
                      ""},
        TLoginFailure{"LoginErrorRoot", "login", "<error><c>6</c><t>busy</t></error>",
                      "login error: server communication error", ""},
        TLoginFailure{"LoginOtherRoot", "login", "<re_other><sessionseq>1</sessionseq></re_other>",
                      "login error: invalid response structure", ""},
        TLoginFailure{"LoginNoChildren", "login", "<re_login/>",
                      "login error: invalid response structure", ""},
        TLoginFailure{"LoginEmptyLevel", "login", "<re_login></re_login>",
                      "login error: invalid response structure", ""},
        TLoginFailure{"LoginSessionNotANumber", "login",
                      "<re_login><sessionseq>x1</sessionseq></re_login>",
                      "login error: invalid response structure", ""},
        TLoginFailure{"LoginWrongPassword", "login",
                      "<re_login><error>wrong password</error></re_login>",
                      "login error: wrong password", ""},
        TLoginFailure{"LoginErrorInCdata", "login",
                      "<re_login><error><![CDATA[wrong password]]></error></re_login>",
                      "login error: wrong password", ""},
        TLoginFailure{"LoginUnknownChild", "login", "<re_login><session>4</session></re_login>",
                      "login error: unknown result", ""},
        TLoginFailure{"ProfileFailed", "refreshprofile", "drop", "cannot get user profile", ""},
        TLoginFailure{"ModulesFailed", "modules", "<error><c>6</c><t>no list</t></error>",
                      "no module is defined", "Loading modules list"},
        TLoginFailure{"ModulesWrongRoot", "modules", "<re_other/>", "no module is defined",
                      "Loading modules list from XML"},
        TLoginFailure{"ModuleRefused", "moduleopen",
                      R"(<re_moduleopen enabled="0" message="closed today"/>)",
                      "module cannot be opened: closed today", ""},
        TLoginFailure{"ModuleEnabledTrueRefused", "moduleopen",
                      R"(<re_moduleopen enabled="true"/>)", "module cannot be opened: ", ""},
        TLoginFailure{"ChosenModuleMissing", "modules",
                      "<re_modules><module><formid>7</formid><name>Stock</name></module>"
                      "</re_modules>",
                      "no module is available", ""}),
    [](const auto &info) { return std::string(info.param.Name); });

struct TStartFailure
{
    const char *Name;
    bool WithIni;
    const char *ClientInit; // the answer to "clientinit", or "drop"
    std::string Message;
};

class InitWinStartFailureTest : public InitWinTest,
                                public ::testing::WithParamInterface<TStartFailure>
{
};

TEST_P(InitWinStartFailureTest, ShowsItsMessageInRedAndLeavesOnlyCancel)
{
    const TStartFailure &c = GetParam();
    Answers["clientinit"] = c.ClientInit;
    if (c.WithIni)
        WriteIni();
    Open();

    EXPECT_EQ(Status(), c.Message);
    EXPECT_TRUE(StatusIsRed());
    EXPECT_TRUE(Window->butCancel->isEnabled());
    EXPECT_FALSE(Window->butOK->isEnabled());
    EXPECT_FALSE(Window->edUserID->isEnabled());
    EXPECT_FALSE(Window->edPassword->isEnabled());
    Window->butCancel->click();
    EXPECT_EQ(Window->result(), QDialog::Rejected);
}

INSTANTIATE_TEST_SUITE_P(Table, InitWinStartFailureTest,
                         ::testing::Values(TStartFailure{"NoSettings", false, "<re_clientinit/>",
                                                         FormatErrorCode(4)},
                                           TStartFailure{"ClientInitDropped", true, "drop",
                                                         "cannot get server response"},
                                           TStartFailure{"ClientInitErrorRoot", true,
                                                         "<error><c>6</c><t>down</t></error>",
                                                         "cannot get server response"}),
                         [](const auto &info) { return std::string(info.param.Name); });

TEST_F(InitWinTest, VersionDifferenceShowsTheServerVersionAndAsks)
{
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "answered yes" : "answered no");
        TfmClInit::ResetInitGuard();
        Hooks.Questions.clear();
        Hooks.Answer = yes;
        Statuses.clear();
        Answers["clientinit"] = "<re_clientinit><versdiff>2.1.2</versdiff></re_clientinit>";
        WriteIni();
        DestroyHttpClient();
        Open();

        ASSERT_GE(Statuses.size(), 2u);
        EXPECT_EQ(Statuses[1], "server version: 2.1.2");
        EXPECT_TRUE(Errors[1]);
        EXPECT_EQ(Hooks.Questions,
                  std::vector<std::string>{"Client version differs from server. Continue?"});
        EXPECT_FALSE(Hooks.QuestionDefaultYes);
        if (yes) {
            EXPECT_EQ(Status(), "Please login...");
            EXPECT_TRUE(Window->butOK->isEnabled());
        } else {
            EXPECT_EQ(Window->result(), QDialog::Rejected);
            EXPECT_TRUE(Window->isHidden());
        }
    }
}

TEST(EncodeLoginValueTest, HexOfTheWindows1250Bytes)
{
    const struct
    {
        const char *Text;
        const char *Encoded;
    } rows[] = {
        {"abc", "0:616263"}, {"", "0:"},          {" a ", "0:206120"},
        {"š", "0:9A"},       {"Čž€", "0:C89E80"}, {"\x7f\n", "0:7F0A"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(TfmClInit::EncodeLoginValue(row.Text), row.Encoded) << row.Text;
}

TEST_F(InitWinTest, PasswordWindows1250CannotHoldIsRefusedBeforeSending)
{
    WriteIni();
    Open();
    Login("demo", QString::fromUtf8("пароль密"));
    EXPECT_EQ(Status(), "login error: character not allowed in login name or password");
    EXPECT_TRUE(StatusIsRed());
    EXPECT_EQ(Roots(), std::vector<std::string>{"clientinit"});
}

TEST_F(InitWinTest, LooksLikeADialogInTheScreenshot)
{
    WriteIni();
    Open();
    Window->edUserID->setText("demo");
    Window->edPassword->setText("secret");
    QCoreApplication::processEvents();
    EXPECT_EQ(Window->size(), QSize(239, 215));
    EXPECT_EQ(Window->windowTitle(), "WEK");
    EXPECT_EQ(Window->edUserID->geometry(), QRect(96, 72, 109, 21));
    EXPECT_EQ(Window->butCancel->geometry(), QRect(124, 152, 75, 21));
    EXPECT_EQ(Window->lInfoLabel->geometry(), QRect(4, 184, 229, 13));
    EXPECT_EQ(Window->Image1->geometry(), QRect(48, 4, 150, 55));
    const QString file = QString::fromUtf8(WEK_BIN_DIR) + "/EKCInitWin.png";
    EXPECT_TRUE(Window->grab().save(file));
    Window->ShowStatus("login error: wrong password", true);
    EXPECT_TRUE(Window->grab().save(QString::fromUtf8(WEK_BIN_DIR) + "/EKCInitWin-error.png"));
}

// Drives the modal login window of a run: presses Login or Cancel as soon as
// the window is ready.
class TLoginDriver
{
public:
    explicit TLoginDriver(bool login)
    {
        Timer.setInterval(5);
        QObject::connect(&Timer, &QTimer::timeout, [this, login] {
            auto *window = qobject_cast<TfmClInit *>(QApplication::activeModalWidget());
            if (!window || !window->butCancel->isEnabled())
                return;
            Timer.stop();
            if (login) {
                window->edUserID->setText("demo");
                window->edPassword->setText("demo");
                window->butOK->click();
            } else {
                window->butCancel->click();
            }
        });
        Timer.start();
    }
    QTimer Timer;
};

TEST_F(InitWinTest, AcceptedRunWritesTheProfileBackAndLogsOut)
{
    WriteIni();
    TLoginDriver driver(true);

    EXPECT_TRUE(Manager->Run());

    const std::vector<std::string> roots = {"clientinit", "login",      "refreshprofile",
                                            "modules",    "moduleopen", "refreshprofile",
                                            "logout"};
    EXPECT_EQ(Roots(), roots);
    std::lock_guard<std::mutex> guard(Lock);
    ASSERT_EQ(Seen.size(), roots.size());
    EXPECT_EQ(Seen[5].Text, "<refreshprofile><item name=\"formcoor 5:0\" infotype=\"1\">1 2 3 "
                            "4</item></refreshprofile>");
    EXPECT_EQ(Seen[6].Text, "<logout/>");
    EXPECT_FALSE(HttpClientExists());
    EXPECT_EQ(Hooks.Boxes, std::vector<std::string>{"error: Client locales cannot be opened: ENG"});
}

TEST_F(InitWinTest, CancelledRunSendsNothingAfterTheVersionCheck)
{
    WriteIni();
    TLoginDriver driver(false);

    EXPECT_FALSE(Manager->Run());

    EXPECT_EQ(Roots(), std::vector<std::string>{"clientinit"});
}

TEST_F(InitWinTest, FailedModuleReloadLeavesNoListFromTheEarlierAttempt)
{
    Answers["moduleopen"] = R"(<re_moduleopen enabled="0" message="closed"/>)";
    WriteIni();
    Open();
    Login("demo", "demo");
    ASSERT_EQ(Status(), "module cannot be opened: closed");

    Answers["modules"] = "<error><c>6</c><t>no list</t></error>";
    Login("demo", "demo");

    EXPECT_EQ(Status(), "no module is defined");
    EXPECT_EQ(Manager->ModuleList(), nullptr);
    const std::vector<std::string> roots = Roots();
    EXPECT_EQ(std::count(roots.begin(), roots.end(), "moduleopen"), 1);
}

} // namespace
