#include "EKPCall.h"

#include "EKBActions.h"
#include "EKBDefCodelist.h"
#include "EKBErrors.h"
#include "EKBFormDesc.h"
#include "EKCLog.h"
#include "EKPSetting.h"
#include "EKPTransport.h"
#include "EKTestServer.h"
#include "EKXML.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records the boxes shown to the user.
class TBoxHooks : public TEKGuiHooks
{
public:
    void ShowInfo(const std::string &text) override { Boxes.push_back(text); }
    void ShowError(const std::string &text) override { Boxes.push_back(text); }
    bool Confirm(const std::string &, bool) override { return false; }
    void BeginBusy() override {}
    void EndBusy() override {}
    void AppendCommLog(const std::string &) override {}

    std::vector<std::string> Boxes;
};

class PCallTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Server.Running());
        ResetSettingValues();
        SettingValues().Host = Server.Host();
        SettingValues().Port = Server.Port();
        SettingValues().Path = "app";
        ASSERT_TRUE(CreateHttpClient());
        SetGuiHooks(&Hooks);
    }
    void TearDown() override
    {
        SetGuiHooks(nullptr);
        DestroyHttpClient();
        ResetSettingValues();
    }

    void Answer(const std::string &body)
    {
        if (body == "drop") {
            TEKTestAnswer drop;
            drop.Drop = true;
            Server.Enqueue(drop);
        } else {
            Server.Enqueue(TEKTestAnswer::Xml(body));
        }
    }
    // The request the server received, root element only.
    std::string Sent()
    {
        TEKXML doc;
        doc.LoadFromStream(Server.LastRequest().Body);
        return doc.GetXMLText();
    }

    TEKTestServer Server;
    TBoxHooks Hooks;
};

struct TOpenCase
{
    const char *Name;
    const char *Answer;
    bool Allowed;
    const char *Message;
};

class OpenModuleTest : public PCallTest, public ::testing::WithParamInterface<TOpenCase>
{
};

TEST_P(OpenModuleTest, OnlyEnabledOneAllowsAndNothingIsReported)
{
    const TOpenCase &c = GetParam();
    Answer(c.Answer);
    std::string message = "stale";

    EXPECT_EQ(CanOpenModule(5, message), c.Allowed);

    EXPECT_EQ(message, c.Message);
    EXPECT_EQ(Sent(), "<moduleopen><moduleid>5</moduleid></moduleopen>");
    EXPECT_TRUE(Hooks.Boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Answers, OpenModuleTest,
    ::testing::Values(
        TOpenCase{"Enabled", R"(<re_moduleopen enabled="1" message="ignored"/>)", true, ""},
        TOpenCase{"Refused", R"(<re_moduleopen enabled="0" message="closed for audit"/>)", false,
                  "closed for audit"},
        TOpenCase{"TrueIsNotOne", R"(<re_moduleopen enabled="true" message="m"/>)", false, "m"},
        TOpenCase{"RefusedWithoutMessage", R"(<re_moduleopen enabled="0"/>)", false, ""},
        TOpenCase{"ErrorRoot", "<error><c>17</c><t>no rights</t></error>", false, ""},
        TOpenCase{"OtherRoot", R"(<re_other enabled="1" message="m"/>)", false, ""},
        TOpenCase{"Dropped", "drop", false, ""}),
    [](const auto &info) { return std::string(info.param.Name); });

TEST_F(PCallTest, FormDescSendsItsFourChildrenInOrder)
{
    Answer(R"(<re_formdesc formid="12" entityid="0"><type>freeform</type><name>Orders</name>)"
           "</re_formdesc>");
    TEKPCallContext context;

    const std::unique_ptr<TEKBFormDesc> desc = context.LoadFormDesc(5, 12, 0, 3);

    EXPECT_EQ(Sent(), "<formdesc><moduleid>5</moduleid><formid>12</formid><entityid>0</entityid>"
                      "<instance>3</instance></formdesc>");
    ASSERT_NE(desc, nullptr);
    EXPECT_EQ(desc->Name, "Orders");
    EXPECT_TRUE(Hooks.Boxes.empty());
}

TEST_F(PCallTest, FormDescFailuresAreReportedAndGiveNone)
{
    const struct
    {
        const char *Answer;
        std::string Box;
    } rows[] = {
        {"<error><c>17</c><t>no rights</t></error>", "Loading module form info\r\nno rights"},
        {R"(<re_formdesc formid="x"/>)", FormatErrorCode(7)},
        {"<re_other/>", FormatErrorCode(7)},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.Answer);
        Hooks.Boxes.clear();
        Answer(row.Answer);
        TEKPCallContext context;
        EXPECT_EQ(context.LoadFormDesc(5, 12, 0, 3), nullptr);
        EXPECT_EQ(Hooks.Boxes, std::vector<std::string>{row.Box});
    }
}

TEST_F(PCallTest, FormActionsHandOutWhatLoaded)
{
    const struct
    {
        const char *Answer;
        bool Result;
        bool Handed;
    } rows[] = {
        {R"(<re_formactions defaultactionid="3"/>)", true, true},
        // Not loadable: the caller keeps the actions object.
        {R"(<re_formactions defaultactionid="x"/>)", false, true},
        {"<re_other/>", false, true},
        // A failed call hands out nothing.
        {"<error><c>17</c><t>no rights</t></error>", false, false},
        {"drop", false, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.Answer);
        Answer(row.Answer);
        TEKPCallContext context;
        std::unique_ptr<TEKFormActions> actions;
        EXPECT_EQ(context.LoadFormActions(5, 12, 4, 3, actions), row.Result);
        EXPECT_EQ(actions != nullptr, row.Handed);
        EXPECT_EQ(Sent(), "<formactions><moduleid>5</moduleid><formid>12</formid>"
                          "<entityid>4</entityid><instance>3</instance></formactions>");
    }
    EXPECT_TRUE(Hooks.Boxes.empty());
}

TEST_F(PCallTest, CodeListSendsTheCodeIdUnchangedAndKeepsEntryTexts)
{
    Answer(R"(<re_codelistdef><data><i code="1">One</i><i code="2">  Two</i></data>)"
           "</re_codelistdef>");

    const std::unique_ptr<TEKDefCodeList> list = GetCodeListDef(5, "ABC", 0);

    EXPECT_EQ(Sent(), "<codelistdef><moduleid>5</moduleid><codeid>ABC</codeid><filter>0</filter>"
                      "</codelistdef>");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->Count(), 2);
    EXPECT_EQ(list->Items().Items(1)->Code, 2);
    EXPECT_EQ(list->Items().Items(1)->Text, "  Two");
}

TEST_F(PCallTest, CodeListFailuresGiveNoneAndOnlyAFailedCallIsReported)
{
    const struct
    {
        const char *Answer;
        std::vector<std::string> Boxes;
    } rows[] = {
        {"<error><c>17</c><t>no rights</t></error>", {"Loading codelist definition\r\nno rights"}},
        {"<re_codelistdef/>", {}},
        {R"(<re_codelistdef><data><i code="z">One</i></data></re_codelistdef>)", {}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.Answer);
        Hooks.Boxes.clear();
        Answer(row.Answer);
        EXPECT_EQ(GetCodeListDef(5, "ABC", -1), nullptr);
        EXPECT_EQ(Hooks.Boxes, row.Boxes);
    }
}

} // namespace
