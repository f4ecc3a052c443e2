// The demo server as the client sees it: every exchange goes through the
// client's own transport, and every answer through the client's loaders.

#include "SrvTestSupport.h"

#include "EKBActions.h"
#include "EKBDefCodelist.h"
#include "EKBFormData.h"
#include "EKBFormDesc.h"
#include "EKBModuleDef.h"
#include "EKBProfileManager.h"
#include "EKMemDataSet.h"
#include "EKPSetting.h"
#include "EKPTransport.h"
#include "EKSrvDemo.h"
#include "EKSrvHttp.h"
#include "EKVersion.h"
#include "EKXMLData.h"

#include <cstdlib>
#include <fstream>
#include <set>

namespace {

// A request document: the root named, then one text child per parameter.
std::unique_ptr<TEKXML> Req(const std::string &name,
                            const std::vector<std::pair<std::string, std::string>> &children = {})
{
    auto doc = std::make_unique<TEKXML>();
    doc->SetName(name);
    if (!children.empty()) {
        doc->OpenLevel();
        for (const auto &[n, t] : children)
            doc->AddTextElement(n, t);
        doc->CloseLevel();
    }
    return doc;
}

std::unique_ptr<TEKXML> FormReq(const char *root, int formId, int instance = 1)
{
    return Req(root, {{"moduleid", "100"},
                      {"formid", std::to_string(formId)},
                      {"entityid", "0"},
                      {"instance", std::to_string(instance)}});
}

// The "action" request as the form window builds it.
std::unique_ptr<TEKXML> ActionReq(int formId, int id, int instance, const TEKFormData &values)
{
    auto doc = std::make_unique<TEKXML>();
    doc->SetName("action");
    doc->OpenLevel();
    doc->AddTextElement("moduleid", "100");
    doc->AddTextElement("id", std::to_string(id));
    doc->AddTextElement("formid", std::to_string(formId));
    doc->AddTextElement("entityid", "0");
    doc->AddTextElement("forminstance", std::to_string(instance));
    values.WriteToXML(*doc);
    doc->CloseLevel();
    return doc;
}

std::unique_ptr<TEKXML> GetDataReq(int formId, int instance, int dataGroup, bool reload)
{
    auto doc = std::make_unique<TEKXML>();
    doc->SetName("getdata");
    doc->AddAttribute("moduleid", "100");
    doc->AddAttribute("formid", std::to_string(formId));
    doc->AddAttribute("entityid", "0");
    doc->AddAttribute("instance", std::to_string(instance));
    doc->AddAttribute("datagroupid", std::to_string(dataGroup));
    doc->AddAttribute("reload", reload ? "1" : "0");
    return doc;
}

} // namespace

class SrvClientTest : public SrvFixture
{
protected:
    void SetUp() override
    {
        SrvFixture::SetUp();
        FHttp = std::make_unique<TEKSrvHttp>(*FHandler, "wek");
        const int port = FHttp->Start(0);
        ASSERT_GT(port, 0);
        ResetSettingValues();
        SettingValues().Host = "127.0.0.1";
        SettingValues().Port = port;
        SettingValues().Path = "wek";
        ASSERT_TRUE(CreateHttpClient());
    }
    void TearDown() override
    {
        DestroyHttpClient();
        ResetSettingValues();
        FHttp.reset();
        SrvFixture::TearDown();
    }

    std::unique_ptr<TEKXML> Xml(const TEKXML &request, TEKPCallRes expected = ekpcrOK)
    {
        std::unique_ptr<TEKXML> answer;
        EXPECT_EQ(GetSrvXML(request, answer), expected) << request.GetDocumentText() << "\n"
                                                        << LastCallErrorText();
        if (!answer)
            answer = std::make_unique<TEKXML>();
        return answer;
    }

    void ClientLogin()
    {
        auto ans = Xml(*Req("login", {{"user", Hex("demo")}, {"password", Hex("demo")}}));
        ASSERT_EQ(ans->Name(), "re_login");
        ASSERT_NE(ans->FindElement("sessionseq"), nullptr);
    }

    std::unique_ptr<TEKPostActionList> Run(int formId, int id, int instance,
                                           const TEKFormData &values)
    {
        auto ans = Xml(*ActionReq(formId, id, instance, values));
        auto list = std::make_unique<TEKPostActionList>();
        EXPECT_TRUE(list->LoadFromXML(ans->FindElement("postactions"))) << ans->GetXMLText();
        return list;
    }

    std::unique_ptr<TEKSrvHttp> FHttp;
};

TEST_F(SrvClientTest, TheLoginSequenceLoads)
{
    auto init = Xml(*Req("clientinit", {{"version", WEK_CLIENT_VERSION}}));
    EXPECT_EQ(init->FindElement("versdiff"), nullptr);
    ClientLogin();

    TEKBProfileManager profile;
    profile.SetValue(1, "formcoor 120:0", "10 20 640 480");
    profile.SetValue(3, "qfcols 120:0", "2;7;");
    Xml(*profile.MakeRefreshRequest(true, false));
    TEKBProfileManager loaded;
    auto back = Xml(*loaded.MakeRefreshRequest(false, true));
    ASSERT_TRUE(loaded.LoadFromXML(back.get()));
    EXPECT_EQ(loaded.Count(), 2);
    EXPECT_EQ(loaded.GetValue(3, "qfcols 120:0"), "2;7;");

    auto modulesAns = Xml(*Req("modules"));
    std::unique_ptr<TEKModuleList> modules;
    ASSERT_TRUE(LoadModuleList(modulesAns.get(), modules));
    ASSERT_EQ(modules->Count(), 2);
    EXPECT_EQ(modules->GetItemByOrd(1)->FormId, eksfModule);
    auto open = Xml(*Req("moduleopen", {{"moduleid", "100"}}));
    EXPECT_EQ(open->GetAttribute("enabled"), "1");
    auto closed = Xml(*Req("moduleopen", {{"moduleid", "200"}}));
    EXPECT_EQ(closed->GetAttribute("enabled"), "0");
    EXPECT_FALSE(closed->GetAttribute("message").empty());
}

TEST_F(SrvClientTest, EveryFormDescriptionActionListAndCodeListLoads)
{
    ClientLogin();
    struct Row
    {
        int form;
        int type;
        int fields;
    };
    std::set<int> types, categories;
    std::set<std::string> shortcuts;
    bool question = false, needsRow = false;
    for (const Row &row : std::vector<Row>{{eksfModule, ekftModule, 0},
                                           {eksfRecord, ekftFreeForm, 16},
                                           {eksfItems, ekftBrowse, 9},
                                           {eksfCategories, ekftBrowse, 2},
                                           {eksfDocument, ekftShowDoc, 0}}) {
        auto descAns = Xml(*FormReq("formdesc", row.form));
        TEKBFormDesc desc;
        ASSERT_TRUE(desc.LoadFromXML(descAns.get())) << descAns->GetXMLText();
        EXPECT_EQ(desc.FormType, row.type) << row.form;
        const TEKFormDataGroup *group = desc.Container->DataGroup.get();
        EXPECT_EQ(group ? group->Count() : 0, row.fields) << row.form;
        for (int i = 1; group && i <= group->Count(); ++i) {
            const TEKFormDataGrItem *f = group->GetItemByOrd(i);
            types.insert(f->DataType);
            if (f->CodeId.empty())
                continue;
            auto codes = Xml(*Req("codelistdef", {{"moduleid", "100"},
                                                  {"codeid", f->CodeId},
                                                  {"filter", std::to_string(f->CodeFilter)}}));
            TEKDefCodeList list;
            ASSERT_TRUE(list.LoadFromXML(codes.get())) << f->CodeId;
            EXPECT_GT(list.Count(), 0) << f->CodeId;
        }
        auto actAns = Xml(*FormReq("formactions", row.form));
        TEKFormActions actions;
        ASSERT_TRUE(actions.LoadFromXML(actAns.get())) << actAns->GetXMLText();
        for (int i = 1; i <= actions.Actions.Count(); ++i) {
            const TEKActionListItem *a = actions.Actions.GetItemByOrd(i);
            categories.insert(a->Category);
            shortcuts.insert(a->ShortCut);
            question = question || !a->PredQuestText.empty();
            needsRow = needsRow || a->BrowseRequireRow;
        }
    }
    for (int t = ekdtString; t <= ekdtSetCList; ++t)
        EXPECT_TRUE(types.count(t)) << "no field of type " << DataTypeToName(t);
    EXPECT_EQ(categories, (std::set<int>{ekacMain, ekacSettings, ekacRecord}));
    for (const char *key : {"F2", "Ctrl+S", "Ctrl+Enter", "Ins"})
        EXPECT_TRUE(shortcuts.count(key)) << key;
    EXPECT_TRUE(question);
    EXPECT_TRUE(needsRow);

    // Code list texts cross the wire in windows-1250 and come back whole.
    auto codes =
        Xml(*Req("codelistdef", {{"moduleid", "100"}, {"codeid", "countries"}, {"filter", "1"}}));
    TEKDefCodeList eu;
    ASSERT_TRUE(eu.LoadFromXML(codes.get()));
    EXPECT_EQ(eu.Count(), 6);
    EXPECT_EQ(eu.Items().GetItemByOrd(1)->Text, "Česká republika");
}

TEST_F(SrvClientTest, BrowseChunksLoadIntoTheDataSetAndSortingAndFilteringChangeThem)
{
    ClientLogin();
    TEKMemDataSet data;
    TEKXMLData loader(data);
    auto chunk = [&](bool reload, int &rows) {
        std::unique_ptr<TEKStream> stream;
        ASSERT_EQ(GetSrvStream(*GetDataReq(eksfItems, 1, 12, reload), stream), ekpcrOK);
        TEKXML doc;
        ASSERT_EQ(doc.LoadFromStream(stream->View()), 0);
        if (reload) {
            ASSERT_TRUE(loader.LoadDefinition(doc.FindElement("xmlsetdef")));
            ASSERT_TRUE(data.Open());
        }
        ASSERT_TRUE(loader.LoadRows(doc.FindElement("xmlsetdata"), rows));
        data.First();
    };
    int rows = 0;
    chunk(true, rows);
    EXPECT_EQ(rows, TEKSrvHandler::kChunkRows);
    chunk(false, rows);
    EXPECT_EQ(rows, TEKSrvHandler::kChunkRows);
    ASSERT_EQ(data.RecordCount(), 2 * TEKSrvHandler::kChunkRows);
    const TEKMemField *id = data.FindField("c1");
    const TEKMemField *qty = data.FindField("c5");
    const TEKMemField *day = data.FindField("c3");
    ASSERT_TRUE(id && qty && day);
    EXPECT_EQ(id->IntegerAt(TEKSrvHandler::kChunkRows), TEKSrvHandler::kChunkRows + 1);
    EXPECT_GT(day->FloatAt(0), EncodeDate(2009, 12, 31));

    // Sorting by quantity, as a title click sends it.
    TEKFormData sort;
    sort.AddValue(ekdtInteger, 1, TEKFormValue::FromInteger(eksiQuantity));
    sort.AddValue(ekdtInteger, 2, TEKFormValue::FromInteger(0));
    Run(eksfItems, eksaSort, 1, sort);
    chunk(true, rows);
    // A reload defines the fields anew.
    id = data.FindField("c1");
    qty = data.FindField("c5");
    for (int r = 1; r < data.RecordCount(); ++r)
        ASSERT_LE(qty->IntegerAt(r - 1), qty->IntegerAt(r)) << r;
    EXPECT_NE(id->IntegerAt(0), 1) << "the sorted rows start elsewhere";

    // Filtering on a code list and a cleared combo, as the quick filter sends it.
    TEKFormData filter;
    filter.AddValue(ekdtInteger, 1, TEKFormValue::FromInteger(2));
    filter.AddValue(ekdtInteger, 2, TEKFormValue::FromInteger(1));
    filter.AddValue(ekdtInteger, 3, TEKFormValue::FromInteger(eksiCategory));
    filter.AddValue(ekdtInteger, 4, TEKFormValue::FromInteger(4));
    filter.AddValue(ekdtInteger, 5, TEKFormValue::FromInteger(1));
    filter.AddValue(ekdtInteger, 6, TEKFormValue::FromInteger(eksiCategory));
    filter.AddValue(ekdtInteger, 7, TEKFormValue::FromInteger(0));
    Run(eksfItems, eksaFilter, 1, filter);
    chunk(true, rows);
    const TEKMemField *category = data.FindField("c7");
    ASSERT_GT(data.RecordCount(), 0);
    for (int r = 0; r < data.RecordCount(); ++r)
        ASSERT_EQ(category->AsStringAt(r), "Služby") << r;
}

TEST_F(SrvClientTest, EveryPostActionTypeLoads)
{
    ClientLogin();
    TEKFormData none;
    TEKFormData key;
    key.AddValue(ekdtInteger, eksiId, TEKFormValue::FromInteger(3));
    TEKFormData record;
    record.AddValue(ekdtString, eksrName, TEKFormValue::FromText(" Eva "));
    record.AddValue(ekdtInteger, eksrQuantity, TEKFormValue::FromInteger(3));
    record.AddValue(ekdtDate, eksrBirthDate, TEKFormValue::FromDateTime(EncodeDate(2012, 12, 31)));
    record.AddValue(ekdtTime, eksrStartTime, TEKFormValue::FromDateTime(EncodeTime(14, 30, 0)));
    record.AddValue(ekdtNumeric, eksrPrice, TEKFormValue::FromNumber(2.5));
    record.AddValue(ekdtCodeList, eksrCountry, TEKFormValue::FromInteger(0));
    struct Row
    {
        int form, id;
        const TEKFormData *values;
    };
    std::set<int> seen;
    for (const Row &row : std::vector<Row>{{eksfModule, eksaStart, &none},
                                           {eksfModule, eksaModuleReport, &none},
                                           {eksfModule, eksaReloadMenu, &none},
                                           {eksfRecord, eksaSave, &record},
                                           {eksfRecord, eksaSaveClose, &record},
                                           {eksfRecord, eksaFillSample, &none},
                                           {eksfItems, eksaPreview, &key},
                                           {eksfItems, eksaExportItems, &key}}) {
        auto list = Run(row.form, row.id, 1, *row.values);
        for (int i = 1; i <= list->Count(); ++i) {
            const TEKPostActionItem *pa = list->GetItemByOrd(i);
            seen.insert(pa->PostActionType);
            if (pa->PostActionType == ekpaSetFormData) {
                ASSERT_TRUE(pa->FormData);
                EXPECT_EQ(pa->FormData->GetItemByOrd(1)->Value.AsText(), "Žofie Dvořáková");
            }
            if (pa->PostActionType == ekpaFileToClient) {
                EXPECT_EQ(pa->FileName, "items.csv");
                std::unique_ptr<TEKStream> csv;
                auto get = std::make_unique<TEKXML>();
                get->SetName("getdoc");
                get->AddAttribute("moduleid", "100");
                get->AddAttribute("doctype", std::to_string(pa->DocType));
                get->AddAttribute("docid", std::to_string(pa->DocId));
                ASSERT_EQ(GetSrvStream(*get, csv), ekpcrOK);
                EXPECT_EQ(csv->View().substr(0, 3), "id;");
            }
        }
    }
    for (int t = ekpaCloseForm; t <= ekpaFileToClient; ++t)
        EXPECT_TRUE(seen.count(t) || t == ekpaRefreshData) << "post-action type " << t;
    // The saved record reads back through the client's form-values loader.
    std::unique_ptr<TEKXML> values;
    ASSERT_EQ(GetSrvXML(*GetDataReq(eksfRecord, 1, 11, true), values), ekpcrOK);
    ASSERT_EQ(values->Name(), "re_getdata");
    TEKFormData loaded;
    ASSERT_TRUE(loaded.LoadFromXML(values->ElementByOrd(1))) << values->GetXMLText();
    std::map<int, std::string> byId;
    for (int i = 1; i <= loaded.Count(); ++i)
        byId[loaded.GetItemByOrd(i)->Id] = TEKFormData::ValueToText(
            loaded.GetItemByOrd(i)->DataType, loaded.GetItemByOrd(i)->Value);
    EXPECT_EQ(byId[eksrName], ToCDATA(" Eva "));
    EXPECT_EQ(byId[eksrBirthDate], "20121231");
    EXPECT_EQ(byId[eksrStartTime], "18991230143000");
    EXPECT_EQ(byId[eksrPrice], "2.5000");
    EXPECT_EQ(byId[eksrCountry], "");
}

TEST_F(SrvClientTest, ErrorsUploadsAndTheEndOfTheSession)
{
    ClientLogin();
    Xml(*ActionReq(eksfModule, eksaFailing, 0, TEKFormData()), ekpcrError);
    EXPECT_EQ(LastCallErrorCode(), TEKSrvHandler::ekseDemoFailure);
    EXPECT_EQ(LastCallErrorText(), "this action always fails");

    const std::string file = SrvTempDbPath("upload.bin");
    const std::string content("line one\r\n\0\xFF--end", 17);
    {
        std::ofstream f(file, std::ios::binary);
        f << content;
    }
    EXPECT_EQ(UploadFile(file), 0);
    std::remove(file.c_str());
    const auto latest = FStore->LatestUpload(1);
    ASSERT_TRUE(latest);
    EXPECT_EQ(latest->second, int64_t(content.size()));
    EXPECT_EQ(latest->first, file.substr(file.find_last_of('/') + 1));

    Xml(*Req("logout"));
    Xml(*Req("noop"), ekpcrError);
    EXPECT_EQ(LastCallErrorCode(), TEKSrvHandler::ekseNoSession);
}

TEST(SrvIniTest, ThePrintedSettingsReadAsAUsableServerAddress)
{
    const std::string exe = std::string(WEK_BIN_DIR) + "/wek-demo-server";
    if (!std::ifstream(exe))
        GTEST_SKIP() << exe << " is not built";
    const std::string folder = ::testing::TempDir() + "wek_srv_ini_" + std::to_string(getpid());
    ASSERT_EQ(std::system(("mkdir -p '" + folder + "'").c_str()), 0);
    const std::string cmd = "'" + exe + "' --port 18123 --print-ini > '" + folder + "/WEK.ini'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    ResetSettingValues();
    SetExeFolder(folder);
    TEKPSetting setting;
    ASSERT_TRUE(ReadSettings(setting));
    EXPECT_EQ(SettingValues().Host, "127.0.0.1");
    EXPECT_EQ(SettingValues().Port, 18123);
    EXPECT_EQ(SettingValues().Path, "wek");
    EXPECT_EQ(setting.DefaultModule, eksfModule);
    EXPECT_EQ(setting.ClientModules.size(), DemoModules().size());
    ResetSettingValues();
    std::remove((folder + "/WEK.ini").c_str());
    std::remove(folder.c_str());
}
