#include "SrvTestSupport.h"

#include "EKSrvDemo.h"
#include "EKVersion.h"

#include <algorithm>
#include <functional>
#include <set>

namespace {

std::string FormReq(const char *root, int formId)
{
    return std::string("<") + root + "><moduleid>100</moduleid><formid>" + std::to_string(formId) +
           "</formid><entityid>0</entityid><instance>1</instance></" + root + ">";
}

} // namespace

class SrvHandlerTest : public SrvFixture
{
};

TEST_F(SrvHandlerTest, EveryRequestIsAnsweredWithItsRoot)
{
    Login();
    struct Row
    {
        std::string request;
        std::string root;
    };
    const std::vector<Row> rows = {
        {"<clientinit><version>" WEK_CLIENT_VERSION "</version></clientinit>", "re_clientinit"},
        {"<refreshprofile receive=\"1\"/>", "re_refreshprofile"},
        {"<refreshprofile><item name=\"formcoor 120:0\" infotype=\"1\">1 2 3 4</item>"
         "</refreshprofile>",
         "re_refreshprofile"},
        {"<modules/>", "re_modules"},
        {"<moduleopen><moduleid>100</moduleid></moduleopen>", "re_moduleopen"},
        {FormReq("formdesc", eksfModule), "re_formdesc"},
        {FormReq("formdesc", eksfRecord), "re_formdesc"},
        {FormReq("formdesc", eksfItems), "re_formdesc"},
        {FormReq("formdesc", eksfCategories), "re_formdesc"},
        {FormReq("formdesc", eksfDocument), "re_formdesc"},
        {FormReq("formactions", eksfModule), "re_formactions"},
        {FormReq("formactions", eksfRecord), "re_formactions"},
        {FormReq("formactions", eksfItems), "re_formactions"},
        {FormReq("formactions", eksfDocument), "re_formactions"},
        {"<codelistdef><moduleid>100</moduleid><codeid>countries</codeid><filter>0</filter>"
         "</codelistdef>",
         "re_codelistdef"},
        {"<codelistdef><moduleid>100</moduleid><codeid>tags</codeid><filter>0</filter>"
         "</codelistdef>",
         "re_codelistdef"},
        {"<noop/>", "re_noop"},
        {"<serverinfo/>", "re_serverinfo"},
        {Action(eksfModule, eksaStart, 0, ""), "re_action"},
        {GetData(eksfRecord, 2, true), "re_getdata"},
        {GetData(eksfItems, 1, true), "re_getdata"},
        {GetData(eksfCategories, 3, true), "re_getdata"},
        {"<formclose><moduleid>100</moduleid><formid>120</formid><forminstance>1</forminstance>"
         "</formclose>",
         "re_formclose"},
        {"<whatever/>", "error"},
        {Action(eksfModule, eksaFailing, 0, ""), "error"},
        {FormReq("formdesc", 999), "error"},
        {"<logout/>", "re_logout"},
    };
    for (const auto &row : rows) {
        auto doc = Call(row.request);
        EXPECT_EQ(doc->Name(), row.root) << row.request << "\n -> " << doc->GetXMLText();
    }
}

TEST_F(SrvHandlerTest, RequestsWithoutAValidSessionAnswerAnError)
{
    const std::vector<std::string> requests = {"<refreshprofile receive=\"1\"/>",
                                               "<modules/>",
                                               "<moduleopen><moduleid>100</moduleid></moduleopen>",
                                               FormReq("formdesc", eksfItems),
                                               FormReq("formactions", eksfItems),
                                               "<noop/>",
                                               Action(eksfModule, eksaStart, 0, ""),
                                               GetData(eksfItems, 1, true),
                                               "<logout/>"};
    for (const std::string cookie : {"", "WEKSID=0123456789abcdef", "OTHER=1"}) {
        for (const auto &r : requests) {
            FCookie = cookie;
            EXPECT_EQ(ErrorCode(*Call(r)), TEKSrvHandler::ekseNoSession) << cookie << " " << r;
        }
    }
    // Only the version check and the server information need no session.
    FCookie = "";
    EXPECT_EQ(Call("<serverinfo/>")->Name(), "re_serverinfo");
    // A session ends with its logout.
    Login();
    EXPECT_EQ(Call("<noop/>")->Name(), "re_noop");
    Call("<logout/>");
    EXPECT_EQ(ErrorCode(*Call("<noop/>")), TEKSrvHandler::ekseNoSession);
}

TEST_F(SrvHandlerTest, LoginChecksTheDecodedUserAndPassword)
{
    struct Row
    {
        std::string user, password; // encoded as sent
        std::string firstChild, text;
    };
    const std::vector<Row> rows = {
        {Hex("demo"), Hex("demo"), "sessionseq", ""},
        {Hex("demo"), Hex("wrong"), "error", "wrong user name or password"},
        {Hex("jiří"), Hex("heslo"), "sessionseq", ""}, // windows-1250 bytes ED and F8
        {Hex("nobody"), Hex(""), "error", "wrong user name or password"},
        {"demo", Hex("demo"), "error", "invalid login request"},
        {"0:6", Hex("demo"), "error", "invalid login request"},
        {"0:ZZ", Hex("demo"), "error", "invalid login request"},
    };
    int64_t lastSeq = 0;
    for (const auto &row : rows) {
        auto doc = Call("<login><user>" + row.user + "</user><password>" + row.password +
                        "</password></login>");
        ASSERT_EQ(doc->Name(), "re_login");
        ASSERT_GT(doc->ElementCount(), 0);
        const TEKXMLElement *first = doc->ElementByOrd(1);
        EXPECT_EQ(first->Name(), row.firstChild) << row.user;
        if (row.firstChild == "error") {
            EXPECT_EQ(first->Text(), row.text);
        } else {
            const int64_t seq = StrToInt(first->Text());
            EXPECT_GT(seq, lastSeq) << "session numbers must grow";
            lastSeq = seq;
        }
    }
}

TEST_F(SrvHandlerTest, ClientInitReportsAVersionDifference)
{
    const std::vector<std::pair<std::string, bool>> rows = {
        {"<clientinit><version>" WEK_CLIENT_VERSION "</version></clientinit>", false},
        {"<clientinit><version>0.0.1</version></clientinit>", true},
        {"<clientinit/>", true},
    };
    for (const auto &[request, differs] : rows) {
        auto doc = Call(request);
        const TEKXMLElement *v = doc->FindElement("versdiff");
        EXPECT_EQ(v != nullptr, differs) << request;
        if (v) {
            EXPECT_EQ(v->Text(), WEK_CLIENT_VERSION);
        }
    }
}

TEST_F(SrvHandlerTest, OneModuleOpensAndOneIsRefusedWithAReason)
{
    Login();
    struct Row
    {
        int module;
        std::string enabled;
        bool hasMessage;
    };
    for (const Row &row : std::vector<Row>{{100, "1", false}, {200, "0", true}, {999, "0", true}}) {
        auto doc = Call("<moduleopen><moduleid>" + std::to_string(row.module) +
                        "</moduleid></moduleopen>");
        EXPECT_EQ(doc->GetAttribute("enabled"), row.enabled) << row.module;
        EXPECT_EQ(!doc->GetAttribute("message").empty(), row.hasMessage) << row.module;
    }
}

TEST_F(SrvHandlerTest, BrowseRowsComeInChunksAndAReloadStartsAgain)
{
    Login();
    auto ids = [&](bool reload) {
        std::vector<int> out;
        for (const auto &r : Rows(*Call(GetData(eksfItems, 1, reload))))
            out.push_back(StrToInt(r.at(0)));
        return out;
    };
    const auto first = ids(true);
    ASSERT_EQ(first.size(), size_t(TEKSrvHandler::kChunkRows));
    EXPECT_EQ(first.front(), 1);
    EXPECT_EQ(ids(false).front(), TEKSrvHandler::kChunkRows + 1);
    EXPECT_EQ(ids(true), first);
    // Going on to the end gives every row once, then nothing.
    std::set<int> seen(first.begin(), first.end());
    for (;;) {
        const auto chunk = ids(false);
        if (chunk.empty())
            break;
        for (int id : chunk)
            EXPECT_TRUE(seen.insert(id).second) << "row " << id << " came twice";
    }
    EXPECT_EQ(seen.size(), size_t(ItemCount()));
    // Another instance of the same form has a place of its own.
    EXPECT_EQ(Rows(*Call(GetData(eksfItems, 2, false))).at(0).at(0), "1");
}

TEST_F(SrvHandlerTest, SortingOrdersTheRowsAndASecondClickReverses)
{
    Login();
    struct Row
    {
        int field;
        size_t column;
        bool numeric;
    };
    for (const Row &row : std::vector<Row>{{eksiQuantity, 4, true},
                                           {eksiName, 1, false},
                                           {eksiDay, 2, false},
                                           {eksiPrice, 5, true}}) {
        for (bool descending : {false, true}) {
            auto ans = Call(
                Action(eksfItems, eksaSort, 1,
                       Item(1, "integer", std::to_string(row.field)) + Item(2, "integer", "")));
            ASSERT_EQ(ans->Name(), "re_action") << ans->GetXMLText();
            const auto rows = Rows(*Call(GetData(eksfItems, 1, true)));
            ASSERT_FALSE(rows.empty());
            for (size_t i = 1; i < rows.size(); ++i) {
                const auto &a = rows[i - 1][row.column];
                const auto &b = rows[i][row.column];
                const bool ordered = row.numeric ? (descending ? TextToFloat(a) >= TextToFloat(b)
                                                               : TextToFloat(a) <= TextToFloat(b))
                                                 : (descending ? a >= b : a <= b);
                ASSERT_TRUE(ordered)
                    << "field " << row.field << " row " << i << ": " << a << " then " << b;
            }
        }
    }
    auto bad = Call(Action(eksfItems, eksaSort, 1, Item(1, "integer", "77")));
    EXPECT_EQ(ErrorCode(*bad), TEKSrvHandler::ekseInvalidValue);
}

TEST_F(SrvHandlerTest, QuickFilterNarrowsTheRows)
{
    Login();
    const auto all = Rows(*Call(GetData(eksfItems, 1, true)));
    ASSERT_FALSE(all.empty());
    const auto &r1 = all[0];
    auto cond = [](int k, int op, int field, const std::string &type, const std::string &text) {
        return Item(3 * k - 1, "integer", std::to_string(op)) +
               Item(3 * k, "integer", std::to_string(field)) + Item(3 * k + 1, type, text);
    };
    using Check = std::function<bool(const std::vector<std::string> &)>;
    struct Row
    {
        std::string name;
        std::string values;
        Check keep;
        bool narrows;
    };
    const std::string word = r1[1].substr(0, r1[1].find(' '));
    const std::vector<Row> rows = {
        {"text contains", Item(1, "integer", "1") + cond(1, 7, eksiName, "string", ToCDATA(word)),
         [&](auto &r) { return r[1].find(word) != std::string::npos; }, true},
        {"integer", Item(1, "integer", "1") + cond(1, 1, eksiQuantity, "integer", r1[4]),
         [&](auto &r) { return r[4] == r1[4]; }, true},
        {"date", Item(1, "integer", "1") + cond(1, 1, eksiDay, "date", r1[2]),
         [&](auto &r) { return r[2] == r1[2]; }, true},
        {"date of a datetime", Item(1, "integer", "1") + cond(1, 1, eksiChanged, "date", r1[2]),
         [&](auto &r) { return r[3].substr(0, 8) == r1[2]; }, true},
        {"numeric", Item(1, "integer", "1") + cond(1, 1, eksiPrice, "numeric", r1[5] + "00"),
         [&](auto &r) { return r[5] == r1[5]; }, true},
        {"code", Item(1, "integer", "1") + cond(1, 1, eksiCategory, "integer", "2"),
         [&](auto &r) { return r[6] == "Stroje"; }, true},
        {"two conditions",
         Item(1, "integer", "2") + cond(1, 1, eksiCategory, "integer", "2") +
             cond(2, 7, eksiName, "string", ToCDATA(word)),
         [&](auto &r) { return r[6] == "Stroje" && r[1].find(word) != std::string::npos; }, true},
        // A cleared code list combo sends the code 0, written as an empty text.
        {"cleared combo", Item(1, "integer", "1") + cond(1, 1, eksiCategory, "integer", ""),
         [](auto &) { return true; }, false},
        {"no condition", Item(1, "integer", ""), [](auto &) { return true; }, false},
    };
    for (const auto &row : rows) {
        auto ans = Call(Action(eksfItems, eksaFilter, 1, row.values));
        ASSERT_EQ(ans->Name(), "re_action") << row.name << ": " << ans->GetXMLText();
        const auto got = Rows(*Call(GetData(eksfItems, 1, true)));
        ASSERT_FALSE(got.empty()) << row.name;
        for (const auto &r : got)
            ASSERT_TRUE(row.keep(r)) << row.name << ": row " << r[0];
        // A narrowing filter leaves out some of the first unfiltered rows.
        size_t kept = 0;
        for (const auto &r : all)
            kept += row.keep(r) ? 1 : 0;
        EXPECT_EQ(kept < all.size(), row.narrows) << row.name;
        if (!row.narrows) {
            EXPECT_EQ(got.at(0).at(0), "1") << row.name;
        }
    }
}

TEST_F(SrvHandlerTest, ABadFilterIsRefusedAndKeepsThePreviousOne)
{
    Login();
    const std::string good = Item(1, "integer", "1") + Item(2, "integer", "1") +
                             Item(3, "integer", std::to_string(eksiCategory)) +
                             Item(4, "integer", "3");
    ASSERT_EQ(Call(Action(eksfItems, eksaFilter, 1, good))->Name(), "re_action");
    const std::vector<std::string> bad = {
        // a field without quick filter
        Item(1, "integer", "1") + Item(2, "integer", "1") + Item(3, "integer", "8") +
            Item(4, "string", "x"),
        // a condition without its value
        Item(1, "integer", "1") + Item(2, "integer", "1") + Item(3, "integer", "5"),
        // a number that is not one
        Item(1, "integer", "1") + Item(2, "integer", "1") + Item(3, "integer", "5") +
            Item(4, "integer", "many"),
        Item(1, "integer", "1") + Item(2, "integer", "1") + Item(3, "integer", "3") +
            Item(4, "date", "20121340"),
        Item(1, "integer", "-1"),
        "<item type=\"integer\">1</item>",
    };
    for (const auto &values : bad) {
        EXPECT_EQ(ErrorCode(*Call(Action(eksfItems, eksaFilter, 1, values))),
                  values.find("id=") == std::string::npos ? TEKSrvHandler::ekseMalformed
                                                          : TEKSrvHandler::ekseInvalidValue)
            << values;
        for (const auto &r : Rows(*Call(GetData(eksfItems, 1, true))))
            ASSERT_EQ(r[6], "Materiál") << values;
    }
}

TEST_F(SrvHandlerTest, SavedRecordValuesPersistAcrossARestart)
{
    Login();
    auto values = [&] {
        std::map<int, std::string> out;
        auto doc = Call(GetData(eksfRecord, 1, true));
        const TEKXMLElement *fv = doc->FindElement("formvalues");
        EXPECT_TRUE(fv && !fv->IsLeaf()) << doc->GetXMLText();
        if (fv && !fv->IsLeaf())
            for (const TEKXMLElement *e : *fv->Elements())
                out[StrToInt(e->GetAttribute("id"))] = e->GetAttribute("type") == "string"
                                                           ? FromCDATA(e->Text())
                                                           : std::string(e->Text());
        return out;
    };
    const auto before = values();
    EXPECT_EQ(before.at(eksrCreatedBy), "demo");
    EXPECT_EQ(before.size(), DemoForm(eksfRecord)->Fields.size());
    const std::string save =
        Item(eksrName, "string", ToCDATA("  Řehoř <&> Novák  ")) +
        Item(eksrNotes, "string", ToCDATA("a]]>b\nc")) + Item(eksrBirthDate, "date", "20121231") +
        Item(eksrMeeting, "datetime", "20121224153000") +
        Item(eksrLoggedAt, "datetime", "20121224153005") +
        Item(eksrStartTime, "time", "18991230143000") + Item(eksrQuantity, "integer", "7") +
        Item(eksrCountry, "codelist", "3") + Item(eksrAttachment, "file", "") +
        Item(eksrAttachmentName, "string", ToCDATA("a.txt")) + Item(eksrActive, "bool", "0") +
        Item(eksrPrice, "numeric", "12.5000") + Item(eksrTags, "setclist", "2,4");
    auto ans = Call(Action(eksfRecord, eksaSave, 5, save));
    ASSERT_EQ(ans->Name(), "re_action") << ans->GetXMLText();
    EXPECT_EQ(PostActionTypes(*ans), (std::vector<std::string>{"showmsg", "refreshdata"}));

    Restart();
    Login("anna", "anna");
    const auto after = values();
    const std::map<int, std::string> expected = {
        {eksrName, "  Řehoř <&> Novák  "},
        {eksrNotes, "a]]>b\nc"},
        {eksrBirthDate, "20121231"},
        {eksrMeeting, "20121224153000"},
        {eksrLoggedAt, "20121224153005"},
        {eksrStartTime, "18991230143000"},
        {eksrQuantity, "7"},
        {eksrCountry, "3"},
        {eksrAttachmentName, "a.txt"},
        {eksrActive, "0"},
        {eksrPrice, "12.5000"},
        {eksrTags, "2,4"},
        {eksrRevision, "1"},
        {eksrCreatedBy, "anna"},
    };
    for (const auto &[id, text] : expected)
        EXPECT_EQ(after.at(id), text) << "field " << id;
}

TEST_F(SrvHandlerTest, AnInvalidRecordIsRefusedAndChangesNothing)
{
    Login();
    const std::string valid =
        Item(eksrName, "string", ToCDATA("Name")) + Item(eksrQuantity, "integer", "1");
    ASSERT_EQ(Call(Action(eksfRecord, eksaSave, 1, valid))->Name(), "re_action");
    const auto stored = FStore->LoadRecord();
    const std::vector<std::string> invalid = {
        Item(eksrName, "string", "") + Item(eksrQuantity, "integer", "1"),
        Item(eksrName, "string", ToCDATA("Name")),
        Item(eksrName, "string", ToCDATA("Name")) + Item(eksrQuantity, "integer", "1.5"),
        valid + Item(eksrBirthDate, "date", "20121301"),
        valid + Item(eksrMeeting, "datetime", "201212241530"),
        valid + Item(eksrCountry, "codelist", "99"),
        valid + Item(eksrTags, "setclist", "1,x"),
        valid + Item(eksrTags, "setclist", "1,42"),
        Item(eksrName, "string", ToCDATA(std::string(41, 'x'))) +
            Item(eksrQuantity, "integer", "1"),
    };
    for (const auto &values : invalid) {
        EXPECT_EQ(ErrorCode(*Call(Action(eksfRecord, eksaSave, 1, values))),
                  TEKSrvHandler::ekseInvalidValue)
            << values;
        EXPECT_EQ(FStore->LoadRecord(), stored) << values;
    }
    // Forty characters of two bytes each still fit a field of forty.
    std::string forty;
    for (int i = 0; i < 40; ++i)
        forty += "ž";
    EXPECT_EQ(
        Call(Action(eksfRecord, eksaSave, 1,
                    Item(eksrName, "string", ToCDATA(forty)) + Item(eksrQuantity, "integer", "1")))
            ->Name(),
        "re_action");
}

TEST_F(SrvHandlerTest, ProfileValuesSurviveARestartAndABadListChangesNothing)
{
    Login();
    const std::string items = "<item name=\"qfcols 120:0\" infotype=\"3\">3;7;</item>"
                              "<item name=\"formcoor 120:0\" infotype=\"1\">10 20 640 480</item>";
    ASSERT_EQ(Call("<refreshprofile>" + items + "</refreshprofile>")->Name(), "re_refreshprofile");
    EXPECT_EQ(ErrorCode(*Call("<refreshprofile><item name=\"x\" infotype=\"one\">1</item>"
                              "</refreshprofile>")),
              TEKSrvHandler::ekseMalformed);

    Restart();
    Login();
    auto doc = Call("<refreshprofile receive=\"1\"/>");
    ASSERT_EQ(doc->ElementCount(), 2) << doc->GetXMLText();
    EXPECT_EQ(doc->GetElementsXMLText(), items);
    // Profiles are per user.
    Login("anna", "anna");
    EXPECT_EQ(Call("<refreshprofile receive=\"1\"/>")->ElementCount(), 0);
}

TEST_F(SrvHandlerTest, ActionsAnswerEveryKindOfPostAction)
{
    Login();
    const std::string key = Item(eksiId, "integer", "5");
    struct Row
    {
        int form, action;
        std::string values;
        std::vector<std::string> types;
    };
    const std::vector<Row> rows = {
        {eksfModule, eksaStart, "", {"openform"}},
        {eksfModule, eksaOpenRecord, "", {"openform"}},
        {eksfModule, eksaModuleReport, "", {"showdoc"}},
        {eksfModule, eksaReloadMenu, "", {"refreshmain", "showmsg"}},
        {eksfModule, eksaServerTime, "", {"showmsg"}},
        {eksfRecord, eksaFillSample, "", {"setformdata"}},
        {eksfRecord, eksaCloseRecord, "", {"closeform"}},
        {eksfRecord,
         eksaSaveClose,
         Item(eksrName, "string", ToCDATA("x")) + Item(eksrQuantity, "integer", "2"),
         {"showmsg", "closeform"}},
        {eksfItems, eksaShowItem, key, {"showmsg"}},
        {eksfItems, eksaNewItem, Item(eksiId, "integer", ""), {"refreshdata", "showmsg"}},
        {eksfItems, eksaDeleteItem, key, {"refreshdata", "showmsg"}},
        {eksfItems, eksaItemsReport, key, {"showdoc"}},
        {eksfItems, eksaExportItems, key, {"filetoclient"}},
        {eksfItems, eksaPreview, key, {"reppreview"}},
        {eksfCategories, eksaShowCategory, Item(1, "integer", "2"), {"showmsg"}},
    };
    for (const auto &row : rows) {
        auto ans = Call(Action(row.form, row.action, 1, row.values));
        EXPECT_EQ(PostActionTypes(*ans), row.types)
            << "action " << row.action << ": " << ans->GetXMLText();
    }
    // The deleted row is gone; a row-bound action without a row is refused.
    EXPECT_FALSE(FStore->GetItem(5));
    EXPECT_EQ(ErrorCode(*Call(Action(eksfItems, eksaShowItem, 1, key))),
              TEKSrvHandler::ekseInvalidValue);
    EXPECT_EQ(ErrorCode(*Call(Action(eksfItems, eksaDeleteItem, 1, Item(eksiId, "integer", "")))),
              TEKSrvHandler::ekseInvalidValue);
    // An action of another form is not run.
    EXPECT_EQ(ErrorCode(*Call(Action(eksfRecord, eksaDeleteItem, 1, key))),
              TEKSrvHandler::ekseUnknownAction);
    EXPECT_EQ(ErrorCode(*Call(Action(eksfModule, eksaFailing, 0, ""))),
              TEKSrvHandler::ekseDemoFailure);
}

TEST_F(SrvHandlerTest, DocumentsOfShowdocAndFiletoclientAreServed)
{
    Login();
    auto docId = [&](int action, const char *child) {
        auto ans = Call(Action(eksfItems, action, 1, Item(eksiId, "integer", "1")));
        const TEKXMLElement *pa = ans->FindElement("postactions");
        EXPECT_TRUE(pa && pa->ElementCount() == 1) << ans->GetXMLText();
        return pa ? std::string(pa->ElementByOrd(1)->FindElement(child)->Text()) : "";
    };
    auto getdoc = [&](const std::string &id, bool show) {
        return FHandler
            ->HandleRequest("<getdoc moduleid=\"100\" doctype=\"" + id + "\" docid=\"" + id +
                                (show ? "\" outtype=\"htmlfull\"/>" : "\"/>"),
                            FCookie)
            .Body;
    };
    const std::string html = Win1250ToUtf8(getdoc(docId(eksaItemsReport, "showdocid"), true));
    EXPECT_NE(html.find("<table>"), std::string::npos);
    EXPECT_NE(html.find("<td class=\"n\">1</td>"), std::string::npos) << "the first row";
    const std::string csv = Win1250ToUtf8(getdoc(docId(eksaExportItems, "docid"), false));
    EXPECT_EQ(csv.substr(0, 3), "id;");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), ItemCount() + 1);
    TEKXML unknown;
    ASSERT_EQ(unknown.LoadFromStream(getdoc("999", true)), 0);
    EXPECT_EQ(ErrorCode(unknown), TEKSrvHandler::ekseUnknownDocument);
}

TEST_F(SrvHandlerTest, UploadsAreStoredWithOrWithoutAClosingBoundary)
{
    Login();
    const std::string boundary = "0000BEEF_Synapse_boundary";
    const std::string type = "multipart/form-data; boundary=" + boundary;
    const std::string head = "--" + boundary +
                             "\r\ncontent-disposition: form-data; name=\"fx\"; filename=\"" +
                             Utf8ToWin1250("C:\\data\\příloha.bin") +
                             "\"\r\nContent-Type: Application/octet-string\r\n\r\n";
    const std::string content = std::string("a\r\n\0b--", 7) + boundary;
    struct Row
    {
        std::string body;
        std::string root;
    };
    const std::vector<Row> rows = {
        {head + content, "re_upload"},
        {head + content + "\r\n--" + boundary + "--\r\n", "re_upload"},
        {head, "re_upload"},
        {"--other\r\n" + head.substr(2 + boundary.size() + 2), "error"},
        {"--" + boundary + "\r\ncontent-disposition: form-data; name=\"fx\"\r\n\r\nxyz", "error"},
        {"--" + boundary + "\r\nno end of headers", "error"},
        {"", "error"},
    };
    for (const auto &row : rows) {
        TEKXML doc;
        ASSERT_EQ(doc.LoadFromStream(FHandler->HandleUpload(row.body, type, FCookie).Body), 0);
        EXPECT_EQ(doc.Name(), row.root) << row.body;
        if (row.root == "re_upload") {
            const auto latest = FStore->LatestUpload(1);
            ASSERT_TRUE(latest);
            EXPECT_EQ(latest->first, "příloha.bin");
            EXPECT_EQ(latest->second, row.body == head ? 0 : int64_t(content.size()));
        }
    }
    TEKXML refused;
    ASSERT_EQ(refused.LoadFromStream(FHandler->HandleUpload(head + content, type, "").Body), 0);
    EXPECT_EQ(ErrorCode(refused), TEKSrvHandler::ekseNoSession);
}

TEST_F(SrvHandlerTest, TruncatedAndMalformedRequestsGetAWellFormedAnswer)
{
    Login();
    const std::vector<std::string> requests = {
        Action(eksfItems, eksaFilter, 1,
               Item(1, "integer", "1") + Item(2, "integer", "7") + Item(3, "integer", "2") +
                   Item(4, "string", ToCDATA("pump"))),
        Action(eksfRecord, eksaSave, 1, Item(eksrName, "string", ToCDATA("x"))),
        GetData(eksfItems, 1, true),
        "<login><user>" + Hex("demo") + "</user><password>" + Hex("demo") + "</password></login>",
        "<refreshprofile><item name=\"a\" infotype=\"1\">v</item></refreshprofile>",
    };
    const std::string cookie = FCookie;
    for (const auto &request : requests) {
        for (size_t n = 0; n <= request.size(); ++n) {
            FCookie = cookie;
            const TEKSrvReply r = FHandler->HandleRequest(request.substr(0, n), FCookie);
            TEKXML doc;
            ASSERT_EQ(doc.LoadFromStream(r.Body), 0) << request.substr(0, n);
            ASSERT_FALSE(doc.Name().empty());
        }
    }
    for (const std::string &garbage :
         {std::string("\xEF\xBB"), std::string("\0\0\0", 3), std::string("<a><b></a>")}) {
        TEKXML doc;
        ASSERT_EQ(doc.LoadFromStream(FHandler->HandleRequest(garbage, cookie).Body), 0);
        EXPECT_EQ(ErrorCode(doc), TEKSrvHandler::ekseMalformed);
    }
}

TEST(SrvCookieTest, CookieValueFindsTheNamedPair)
{
    const std::vector<std::tuple<std::string, std::string, std::string>> rows = {
        {"WEKSID=abc", "WEKSID", "abc"},
        {"a=1; WEKSID=abc; b=2", "WEKSID", "abc"},
        {"a=1;WEKSID = abc ", "WEKSID", "abc"},
        {"XWEKSID=abc", "WEKSID", ""},
        {"", "WEKSID", ""},
        {"WEKSID", "WEKSID", ""},
    };
    for (const auto &[header, name, value] : rows)
        EXPECT_EQ(TEKSrvHandler::CookieValue(header, name), value) << header;
}
