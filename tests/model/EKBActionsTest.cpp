#include "EKBActions.h"

#include "ModelTestXml.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Action(const std::string &id, const std::string &category,
                   const std::string &actionType = "callaction",
                   const std::string &shortCut = "Ctrl+F4", const std::string &requireRow = "1",
                   const std::string &omit = "")
{
    std::string xml = "<action" + (id.empty() ? std::string() : " id=\"" + id + "\"") + ">";
    auto child = [&](const std::string &name, const std::string &text) {
        if (name != omit)
            xml += "<" + name + ">" + text + "</" + name + ">";
    };
    child("actiontype", actionType);
    child("category", category);
    child("name", "Do " + id);
    child("shortcut", shortCut);
    child("predquesttext", "Sure?");
    child("browserequirerow", requireRow);
    return xml + "</action>";
}

std::string Answer(const std::string &actions,
                   const std::string &rootAttrs = "defaultactionid=\"7\"")
{
    return "<re_formactions " + rootAttrs + "><actionlist>" + actions +
           "</actionlist></re_formactions>";
}

TEST(FormActionsLoad, ReadsEveryField)
{
    auto doc =
        ParseXml("<re_formactions defaultactionid=\"-3\"><actionlist>" +
                 Action("5", "record", "callaction", "Ctrl+Shift+F6", "1") +
                 "<x id=\"6\"><actiontype>callaction</actiontype><category>settings</category>"
                 "<name/><shortcut/><predquesttext/><browserequirerow/></x>"
                 "</actionlist></re_formactions>");
    TEKFormActions actions;
    ASSERT_TRUE(actions.LoadFromXML(doc.get()));
    EXPECT_EQ(actions.DefaultActionId, -3);
    ASSERT_EQ(actions.Actions.Count(), 2);
    const TEKActionListItem *a = actions.Actions.GetItemByOrd(1);
    EXPECT_EQ(a->Id, 5);
    EXPECT_EQ(a->ActionType, 1);
    EXPECT_EQ(a->Category, ekacRecord);
    EXPECT_EQ(a->Name, "Do 5");
    EXPECT_EQ(a->ShortCut, "Ctrl+Shift+F6");
    EXPECT_EQ(a->PredQuestText, "Sure?");
    EXPECT_TRUE(a->BrowseRequireRow);
    EXPECT_EQ(a->SortPos, 0);
    const TEKActionListItem *b = actions.Actions.GetItemByOrd(2);
    EXPECT_EQ(b->Category, ekacSettings);
    EXPECT_EQ(b->ShortCut, "");
    EXPECT_FALSE(b->BrowseRequireRow);
}

TEST(FormActionsLoad, FailureRules)
{
    struct Row
    {
        const char *what;
        std::string xml;
        bool ok;
        int kept; // actions left in the list
    };
    const std::string good = Action("1", "main");
    const std::vector<Row> rows = {
        {"no actionlist", "<re_formactions defaultactionid=\"1\"/>", true, 0},
        {"empty actionlist", "<re_formactions defaultactionid=\"1\"><actionlist/></re_formactions>",
         true, 0},
        {"all categories", Answer(good + Action("2", "settings") + Action("3", "record")), true, 3},
        {"wrong root", "<re_formaction defaultactionid=\"1\"/>", false, 0},
        {"no defaultactionid", "<re_formactions/>", false, 0},
        {"defaultactionid not a number", Answer(good, "defaultactionid=\"x\""), false, 0},
        {"category in other case", Answer(good + Action("2", "Main")), false, 1},
        {"unknown category", Answer(good + Action("2", "")), false, 1},
        {"other action type", Answer(good + Action("2", "main", "callAction")), false, 1},
        {"no id", Answer(good + Action("", "main")), false, 1},
        {"id not a number", Answer(good + Action("2x", "main")), false, 1},
    };
    for (const Row &r : rows) {
        auto doc = ParseXml(r.xml);
        TEKFormActions actions;
        EXPECT_EQ(actions.LoadFromXML(doc.get()), r.ok) << r.what;
        EXPECT_EQ(actions.Actions.Count(), r.kept) << r.what;
    }
    // Each of the six children is required; an action that lacks one is not
    // kept half-read.
    for (const char *omit :
         {"actiontype", "category", "name", "shortcut", "predquesttext", "browserequirerow"}) {
        auto doc = ParseXml(Answer(good + Action("2", "main", "callaction", "F2", "1", omit)));
        TEKFormActions actions;
        EXPECT_FALSE(actions.LoadFromXML(doc.get())) << omit;
        EXPECT_EQ(actions.Actions.Count(), 1) << omit;
    }
    TEKFormActions actions;
    EXPECT_FALSE(actions.LoadFromXML(nullptr));
}

TEST(FormActionsLoad, BrowseRequireRowOnlyForOne)
{
    for (const auto &[text, expected] : std::vector<std::pair<std::string, bool>>{
             {"1", true}, {"true", false}, {"", false}, {" 1", false}, {"0", false}}) {
        auto doc = ParseXml(Answer(Action("1", "main", "callaction", "F2", text)));
        TEKFormActions actions;
        ASSERT_TRUE(actions.LoadFromXML(doc.get())) << text;
        EXPECT_EQ(actions.Actions.GetItemByOrd(1)->BrowseRequireRow, expected) << text;
    }
}

TEST(ActionItem, ShortCutKeyNameAndShift)
{
    struct Row
    {
        std::string shortCut, keyName;
        TEKShiftState shift;
    };
    const std::vector<Row> rows = {
        {"Ctrl+Shift+F6", "Shift+F6", ekssCtrl | ekssShift},
        {"Ctrl+F4", "F4", ekssCtrl},
        {"Alt+X", "X", ekssAlt},
        {"F10", "F10", 0},
        {"Ins", "Ins", 0},
        {"", "", 0},
        {"Ctrl+", "", 0},
    };
    for (const Row &r : rows) {
        TEKActionListItem item;
        item.ShortCut = r.shortCut;
        EXPECT_EQ(item.GetShortCutKeyName(), r.keyName) << r.shortCut;
        EXPECT_EQ(item.GetShortCutShift(), r.shift) << r.shortCut;
    }
}

TEST(ActionItem, CopyActionCopiesAllButSortPos)
{
    TEKActionListItem item;
    item.Id = 9;
    item.ActionType = 1;
    item.PredQuestText = "Q";
    item.Name = "N";
    item.ShortCut = "Ctrl+Tab";
    item.Category = ekacRecord;
    item.BrowseRequireRow = true;
    item.SortPos = 5;
    TEKActionList target;
    target.Add();
    TEKActionListItem *copy = item.CopyAction(target);
    ASSERT_EQ(target.Count(), 2);
    EXPECT_EQ(copy, target.GetItemByOrd(2));
    EXPECT_EQ(copy->Id, 9);
    EXPECT_EQ(copy->ActionType, 1);
    EXPECT_EQ(copy->PredQuestText, "Q");
    EXPECT_EQ(copy->Name, "N");
    EXPECT_EQ(copy->ShortCut, "Ctrl+Tab");
    EXPECT_EQ(copy->Category, ekacRecord);
    EXPECT_TRUE(copy->BrowseRequireRow);
    EXPECT_EQ(copy->SortPos, 0);
}

TEST(ActionItem, CompareActions)
{
    struct Row
    {
        std::string key1;
        int pos1;
        std::string key2;
        int pos2;
        TEKCompareResult result;
    };
    const std::vector<Row> rows = {
        {"", 1, "", 2, crGreater}, // keyless: higher SortPos first
        {"", 2, "", 1, crLess},
        {"", 1, "", 1, crEqual},
        {"", 1, "F2", 2, crGreater},
        {"F2", 1, "", 2, crLess},
        {"F2", 1, "F10", 2, crLess},
        {"F10", 1, "F2", 2, crGreater},
        {"F3", 1, "F3", 2, crEqual},
        {"F2", 1, "Ins", 2, crLess}, // function keys before other keys
        {"Ins", 1, "F2", 2, crGreater},
        {"F10", 1, "A", 2, crLess},
        {"Ins", 1, "Del", 2, crGreater},
        {"A", 1, "B", 2, crLess},
        {"F", 1, "G", 2, crLess},
        {"Fx", 1, "F5", 2, crGreater}, // an unreadable number is no function key
        {"F5", 1, "Fx", 2, crLess},
        {"F$", 1, "F5", 2, crGreater},
        {"F5", 1, "F$", 2, crLess},
        {"F0", 1, "A", 2, crGreater}, // F0 is no function key: texts compared
        {"Ctrl+Shift+F6", 1, "Ctrl+Shift+F10", 2, crGreater},
    };
    for (const Row &r : rows) {
        TEKActionListItem a, b;
        a.ShortCut = r.key1;
        a.SortPos = r.pos1;
        b.ShortCut = r.key2;
        b.SortPos = r.pos2;
        EXPECT_EQ(TEKActionListItem::CompareActions(&a, &b), r.result)
            << r.key1 << " vs " << r.key2;
    }
}

TEST(ActionItem, ShortcutBarOrder)
{
    TEKFormActions actions;
    actions.AddAction(ekacMain, 1, "F10", "a");
    actions.AddAction(ekacMain, 2, "F2", "b");
    actions.AddAction(ekacMain, 3, "Ins", "c");
    actions.AddAction(ekacMain, 4, "", "d");
    actions.AddAction(ekacMain, 5, "", "e");
    TEKActionList bar;
    for (int ord = 1; ord <= actions.Actions.Count(); ++ord)
        actions.Actions.GetItemByOrd(ord)->CopyAction(bar)->SortPos = ord;
    bar.SortItems(TEKActionListItem::CompareActions);
    std::vector<int> ids;
    for (int ord = 1; ord <= bar.Count(); ++ord)
        ids.push_back(bar.GetItemByOrd(ord)->Id);
    EXPECT_EQ(ids, (std::vector<int>{2, 1, 3, 5, 4}));

    // Two keyless actions come out in the reverse of their positions.
    TEKActionList keyless;
    actions.Actions.GetItemByOrd(4)->CopyAction(keyless)->SortPos = 1;
    actions.Actions.GetItemByOrd(5)->CopyAction(keyless)->SortPos = 2;
    keyless.SortItems(TEKActionListItem::CompareActions);
    EXPECT_EQ(keyless.GetItemByOrd(1)->Id, 5);
    EXPECT_EQ(keyless.GetItemByOrd(2)->Id, 4);
}

TEST(FormActions, Lookups)
{
    TEKFormActions actions;
    TEKActionListItem *save = actions.AddAction(ekacMain, 3, "Ctrl+S", "Save");
    TEKActionListItem *close = actions.AddAction(ekacNone, -2, "Ctrl+F4", "Close");
    TEKActionListItem *again = actions.AddAction(ekacMain, 3, "ctrl+s", "Again");
    TEKActionListItem *plain = actions.AddAction(ekacRecord, 8, "", "Plain");
    actions.AddAction(ekacRecord, 9, "NotAKey", "Bad");
    EXPECT_EQ(save->ActionType, 1);
    EXPECT_EQ(save->PredQuestText, "");
    EXPECT_FALSE(save->BrowseRequireRow);
    EXPECT_EQ(actions.GetActionById(3), save);
    EXPECT_EQ(actions.GetActionById(-2), close);
    EXPECT_EQ(actions.GetActionById(8), plain);
    EXPECT_EQ(actions.GetActionById(99), nullptr);
    EXPECT_EQ(actions.GetActionByShortCut(TextToShortCut("Ctrl+S")), save);
    EXPECT_EQ(actions.GetActionByKey('S', ekssCtrl), save);
    EXPECT_EQ(actions.GetActionByKey(ekvkF1 + 3, ekssCtrl), close);
    EXPECT_EQ(actions.GetActionByKey('S', ekssCtrl | ekssShift), nullptr);
    EXPECT_EQ(actions.GetActionByKey('S', 0), nullptr);
    EXPECT_EQ(actions.GetActionByShortCut(0), nullptr) << "no key matches no action";
    (void)again;
}

struct PostRow
{
    const char *what;
    std::string children;
    bool ok;
    int kept;
};

std::string Post(const std::string &type, const std::string &children)
{
    return "<p type=\"" + type + "\">" + children + "</p>";
}

TEST(PostActionsLoad, FailureRules)
{
    const std::string msg = Post("showmsg", "<message>Hi</message>");
    const std::vector<PostRow> rows = {
        {"every type",
         msg + Post("closeform", "") +
             Post("openform",
                  "<instanceid>1</instanceid><entityid>2</entityid><formid>3</formid>") +
             Post("refreshdata", "<instanceid>1</instanceid>") +
             Post("showdoc", "<showdocid>5</showdocid>") + Post("setformdata", "<formvalues/>") +
             Post("reppreview", "<dataid>9</dataid>") + Post("refreshmain", "") +
             Post("filetoclient", "<filename>a</filename><docid>1</docid><doctype>2</doctype>"),
         true, 9},
        {"openform without entityid",
         msg + Post("openform", "<instanceid>1</instanceid><formid>3</formid>"), false, 1},
        {"unknown type", msg + Post("print", ""), false, 1},
        {"type in other case", msg + Post("ShowMsg", "<message>x</message>"), false, 1},
        {"no type", msg + "<p><message>x</message></p>", false, 1},
        {"showmsg without message", Post("showmsg", ""), false, 0},
        {"refreshdata not a number", msg + Post("refreshdata", "<instanceid>x</instanceid>"), false,
         1},
        {"showdoc without id", Post("showdoc", ""), false, 0},
        {"reppreview without dataid", Post("reppreview", "<docid>1</docid>"), false, 0},
        {"filetoclient without doctype",
         msg + Post("filetoclient", "<filename>a</filename><docid>1</docid>"), false, 1},
        {"setformdata without formvalues", msg + Post("setformdata", "<x/>"), false, 1},
        {"setformdata with a bad value",
         msg + Post("setformdata", "<formvalues><item type=\"integer\">1</item></formvalues>"),
         false, 1},
    };
    for (const PostRow &r : rows) {
        auto doc = ParseXml("<postactions>" + r.children + "</postactions>");
        TEKPostActionList list;
        EXPECT_EQ(list.LoadFromXML(doc.get()), r.ok) << r.what;
        EXPECT_EQ(list.Count(), r.kept) << r.what;
    }
    TEKPostActionList list;
    EXPECT_FALSE(list.LoadFromXML(nullptr));
    auto wrong = ParseXml("<postaction>" + msg + "</postaction>");
    EXPECT_FALSE(list.LoadFromXML(wrong.get()));
    auto leaf = ParseXml("<postactions/>");
    EXPECT_TRUE(list.LoadFromXML(leaf.get()));
    EXPECT_EQ(list.Count(), 0);
}

TEST(PostActionsLoad, ReadsFieldsVerbatim)
{
    auto doc = ParseXml(
        "<re_action><postactions>" + Post("showmsg", "<message> <![CDATA[Saved]]> </message>") +
        Post("openform", "<formid>3</formid><instanceid>1</instanceid><entityid>-2</entityid>") +
        Post("filetoclient", "<doctype>2</doctype><filename> a b.pdf</filename><docid>4</docid>") +
        Post("setformdata", "<formvalues><item id=\"7\" type=\"codelist\">12</item></formvalues>") +
        "</postactions></re_action>");
    TEKPostActionList list;
    ASSERT_TRUE(list.LoadFromXML(doc->FindElement("postactions")));
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list.GetItemByOrd(1)->PostActionType, ekpaShowMsg);
    EXPECT_EQ(list.GetItemByOrd(1)->Message, " <![CDATA[Saved]]> ");
    const TEKPostActionItem *open = list.GetItemByOrd(2);
    EXPECT_EQ(open->FormId, 3);
    EXPECT_EQ(open->EntityId, -2);
    EXPECT_EQ(open->InstanceId, 1);
    const TEKPostActionItem *file = list.GetItemByOrd(3);
    EXPECT_EQ(file->PostActionType, ekpaFileToClient);
    EXPECT_EQ(file->DocType, 2);
    EXPECT_EQ(file->DocId, 4);
    EXPECT_EQ(file->FileName, " a b.pdf");
    const TEKPostActionItem *set = list.GetItemByOrd(4);
    ASSERT_NE(set->FormData, nullptr);
    ASSERT_EQ(set->FormData->Count(), 1);
    EXPECT_EQ(set->FormData->GetItemByOrd(1)->Id, 7);
    EXPECT_TRUE(set->FormData->GetItemByOrd(1)->Value == TEKFormValue::FromInteger(12));
}

TEST(PostActionList, Builders)
{
    struct Row
    {
        TEKPostActionItem *item;
        int type, formId, entityId, instanceId, docType, docId;
        std::string message, fileName;
    };
    TEKPostActionList list;
    const std::vector<Row> rows = {
        {list.AddActionCloseWin(), ekpaCloseForm, 0, 0, 0, 0, 0, "", ""},
        {list.AddActionShowMsg("Hi"), ekpaShowMsg, 0, 0, 0, 0, 0, "Hi", ""},
        {list.AddActionOpenForm(1, 2, 3), ekpaOpenForm, 1, 2, 3, 0, 0, "", ""},
        {list.AddActionRefreshData(4), ekpaRefreshData, 0, 0, 4, 0, 0, "", ""},
        {list.AddActionShowDoc(5), ekpaShowDoc, 0, 0, 0, 0, 5, "", ""},
        {list.AddActionRepPreview(6), ekpaRepPreview, 0, 0, 0, 0, 6, "", ""},
        {list.AddActionRefreshMain(), ekpaRefreshMain, 0, 0, 0, 0, 0, "", ""},
        {list.AddActionProcessFile(7, 8, "f.txt"), ekpaFileToClient, 0, 0, 0, 7, 8, "", "f.txt"},
    };
    ASSERT_EQ(list.Count(), static_cast<int>(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row &r = rows[i];
        EXPECT_EQ(r.item, list.GetItemByOrd(static_cast<int>(i) + 1)) << "appended in order";
        EXPECT_EQ(r.item->PostActionType, r.type) << i;
        EXPECT_EQ(r.item->FormId, r.formId) << i;
        EXPECT_EQ(r.item->EntityId, r.entityId) << i;
        EXPECT_EQ(r.item->InstanceId, r.instanceId) << i;
        EXPECT_EQ(r.item->DocType, r.docType) << i;
        EXPECT_EQ(r.item->DocId, r.docId) << i;
        EXPECT_EQ(r.item->Message, r.message) << i;
        EXPECT_EQ(r.item->FileName, r.fileName) << i;
        EXPECT_EQ(r.item->FormData, nullptr) << i;
    }

    const TEKPostActionItem *s = list.AddActionSetFormData_S(11, "text");
    ASSERT_EQ(s->FormData->Count(), 1);
    EXPECT_EQ(s->PostActionType, ekpaSetFormData);
    EXPECT_EQ(s->FormData->GetItemByOrd(1)->DataType, ekdtString);
    EXPECT_EQ(s->FormData->GetItemByOrd(1)->Id, 11);
    EXPECT_TRUE(s->FormData->GetItemByOrd(1)->Value == TEKFormValue::FromText("text"));
    const TEKPostActionItem *c = list.AddActionSetFormData_C(12, 34);
    ASSERT_EQ(c->FormData->Count(), 1);
    EXPECT_EQ(c->FormData->GetItemByOrd(1)->DataType, ekdtCodeList);
    EXPECT_TRUE(c->FormData->GetItemByOrd(1)->Value == TEKFormValue::FromInteger(34));
}

// Notes its own destruction.
class ProbeFormData : public TEKFormData
{
public:
    explicit ProbeFormData(bool &destroyed) : FDestroyed(destroyed) {}
    ~ProbeFormData() override { FDestroyed = true; }

private:
    bool &FDestroyed;
};

TEST(PostActionList, SetFormDataOwnsItsValues)
{
    bool deleted = false;
    bool cleared = false;
    {
        TEKPostActionList list;
        list.AddActionSetFormData(std::make_unique<ProbeFormData>(deleted));
        list.AddActionSetFormData(std::make_unique<ProbeFormData>(cleared));
        list.DeleteByOrd(1);
        EXPECT_TRUE(deleted);
        EXPECT_FALSE(cleared);
    }
    EXPECT_TRUE(cleared) << "destroying the list destroys the values it holds";
}

} // namespace
