#include "EKBActions.h"

#include "EKBXMLRead.h"
#include "EKCLog.h"
#include "EKCodecs.h"
#include "EKXML.h"

#include <exception>
#include <stdexcept>

namespace {

int CategoryCode(std::string_view text)
{
    if (text == "main")
        return ekacMain;
    if (text == "settings")
        return ekacSettings;
    if (text == "record")
        return ekacRecord;
    throw std::runtime_error("unknown action category \"" + std::string(text) + "\"");
}

// The number of a function key name ("F10" gives 10); 0 for any other name.
int FunctionKeyNumber(const std::string &keyName)
{
    int number = 0;
    if (keyName.size() < 2 || keyName[0] != 'F' ||
        !TryStrToInt(std::string_view(keyName).substr(1), number))
        return 0;
    return number;
}

TEKCompareResult CompareInts(int a, int b)
{
    if (a < b)
        return crLess;
    if (a > b)
        return crGreater;
    return crEqual;
}

} // namespace

TEKActionListItem *TEKActionListItem::CopyAction(TEKActionList &target) const
{
    TEKActionListItem *copy = target.Add();
    copy->Id = Id;
    copy->ActionType = ActionType;
    copy->PredQuestText = PredQuestText;
    copy->Name = Name;
    copy->ShortCut = ShortCut;
    copy->Category = Category;
    copy->BrowseRequireRow = BrowseRequireRow;
    copy->SortPos = 0;
    return copy;
}

TEKShiftState TEKActionListItem::GetShortCutShift() const
{
    if (ShortCut.empty())
        return {};
    return ShortCutShift(TextToShortCut(ShortCut));
}

std::string TEKActionListItem::GetShortCutKeyName() const
{
    std::string::size_type plus = ShortCut.find('+');
    if (plus == std::string::npos)
        return ShortCut;
    return ShortCut.substr(plus + 1);
}

TEKCompareResult TEKActionListItem::CompareActions(TEKCollectionItem *item1,
                                                   TEKCollectionItem *item2)
{
    const auto *a1 = static_cast<const TEKActionListItem *>(item1);
    const auto *a2 = static_cast<const TEKActionListItem *>(item2);
    std::string k1 = a1->GetShortCutKeyName();
    std::string k2 = a2->GetShortCutKeyName();
    if (k1.empty() && k2.empty())
        return CompareInts(a2->SortPos, a1->SortPos);
    if (k1.empty())
        return crGreater;
    if (k2.empty())
        return crLess;
    // Function keys come first, by number; other keys follow by character
    // code. Each name is read on its own, so the order is the same whichever
    // item comes first.
    int num1 = FunctionKeyNumber(k1);
    int num2 = FunctionKeyNumber(k2);
    if (num1 != 0 && num2 != 0)
        return CompareInts(num1, num2);
    if (num1 != 0)
        return crLess;
    if (num2 != 0)
        return crGreater;
    int c = k1.compare(k2);
    return c < 0 ? crLess : (c > 0 ? crGreater : crEqual);
}

bool TEKFormActions::LoadFromXML(const TEKXMLElement *root)
{
    if (root == nullptr || root->Name() != "re_formactions")
        return false;
    try {
        DefaultActionId = IntAttribute(*root, "defaultactionid");
        const TEKXMLElement *list = root->FindElement("actionlist");
        if (list == nullptr || list->IsLeaf())
            return true;
        for (const TEKXMLElement *el : *list->Elements()) {
            int id = IntAttribute(*el, "id");
            int category = CategoryCode(RequiredChild(*el, "category").Text());
            if (RequiredChild(*el, "actiontype").Text() != "callaction")
                throw std::runtime_error("unknown action type \"" + ChildText(*el, "actiontype") +
                                         "\"");
            std::string shortCut = ChildText(*el, "shortcut");
            std::string name = ChildText(*el, "name");
            std::string question = ChildText(*el, "predquesttext");
            bool requireRow = TextToBool(RequiredChild(*el, "browserequirerow").Text());
            TEKActionListItem *action = AddAction(category, id, shortCut, name);
            action->PredQuestText = std::move(question);
            action->BrowseRequireRow = requireRow;
        }
        return true;
    } catch (const std::exception &e) {
        WriteLog(9, "TEKFormActions.LoadFromXML", e.what());
    } catch (...) {
        WriteLog(9, "TEKFormActions.LoadFromXML", "unknown error");
    }
    return false;
}

TEKActionListItem *TEKFormActions::AddAction(int category, int id, const std::string &shortCut,
                                             const std::string &name)
{
    TEKActionListItem *action = Actions.Add();
    action->ActionType = 1;
    action->Category = category;
    action->Id = id;
    action->ShortCut = shortCut;
    action->Name = name;
    return action;
}

TEKActionListItem *TEKFormActions::GetActionById(int id) const
{
    for (int i = 0; i < Actions.Count(); ++i)
        if (Actions.Items(i)->Id == id)
            return Actions.Items(i);
    return nullptr;
}

TEKActionListItem *TEKFormActions::GetActionByShortCut(TEKShortCut shortCut) const
{
    if (shortCut == 0)
        return nullptr;
    for (int i = 0; i < Actions.Count(); ++i) {
        TEKActionListItem *action = Actions.Items(i);
        if (!action->ShortCut.empty() && TextToShortCut(action->ShortCut) == shortCut)
            return action;
    }
    return nullptr;
}

TEKActionListItem *TEKFormActions::GetActionByKey(std::uint16_t key, TEKShiftState shift) const
{
    return GetActionByShortCut(MakeShortCut(key, shift));
}

TEKPostActionItem *TEKPostActionList::AddActionCloseWin()
{
    TEKPostActionItem *item = Add();
    item->PostActionType = ekpaCloseForm;
    return item;
}

TEKPostActionItem *TEKPostActionList::AddActionShowMsg(const std::string &message)
{
    TEKPostActionItem *item = Add();
    item->PostActionType = ekpaShowMsg;
    item->Message = message;
    return item;
}

TEKPostActionItem *TEKPostActionList::AddActionOpenForm(int formId, int entityId, int instanceId)
{
    TEKPostActionItem *item = Add();
    item->PostActionType = ekpaOpenForm;
    item->FormId = formId;
    item->EntityId = entityId;
    item->InstanceId = instanceId;
    return item;
}

TEKPostActionItem *TEKPostActionList::AddActionRefreshData(int instanceId)
{
    TEKPostActionItem *item = Add();
    item->PostActionType = ekpaRefreshData;
    item->InstanceId = instanceId;
    return item;
}

TEKPostActionItem *TEKPostActionList::AddActionShowDoc(int showDocId)
{
    TEKPostActionItem *item = Add();
    item->PostActionType = ekpaShowDoc;
    item->DocId = showDocId;
    item->DocType = 0;
    return item;
}

TEKPostActionItem *TEKPostActionList::AddActionSetFormData(std::unique_ptr<TEKFormData> formData)
{
    TEKPostActionItem *item = Add();
    item->PostActionType = ekpaSetFormData;
    item->FormData = std::move(formData);
    return item;
}

TEKPostActionItem *TEKPostActionList::AddActionSetFormData_S(int fieldId, const std::string &text)
{
    auto data = std::make_unique<TEKFormData>();
    data->AddValue(ekdtString, fieldId, TEKFormValue::FromText(text));
    return AddActionSetFormData(std::move(data));
}

TEKPostActionItem *TEKPostActionList::AddActionSetFormData_C(int fieldId, int code)
{
    auto data = std::make_unique<TEKFormData>();
    data->AddValue(ekdtCodeList, fieldId, TEKFormValue::FromInteger(code));
    return AddActionSetFormData(std::move(data));
}

TEKPostActionItem *TEKPostActionList::AddActionRepPreview(int dataId)
{
    TEKPostActionItem *item = Add();
    item->PostActionType = ekpaRepPreview;
    item->DocId = dataId;
    item->DocType = 0;
    return item;
}

TEKPostActionItem *TEKPostActionList::AddActionRefreshMain()
{
    TEKPostActionItem *item = Add();
    item->PostActionType = ekpaRefreshMain;
    return item;
}

TEKPostActionItem *TEKPostActionList::AddActionProcessFile(int docType, int docId,
                                                           const std::string &fileName)
{
    TEKPostActionItem *item = Add();
    item->PostActionType = ekpaFileToClient;
    item->DocType = docType;
    item->DocId = docId;
    item->FileName = fileName;
    return item;
}

bool TEKPostActionList::LoadFromXML(const TEKXMLElement *element)
{
    if (element == nullptr || element->Name() != "postactions")
        return false;
    try {
        if (element->IsLeaf())
            return true;
        for (const TEKXMLElement *el : *element->Elements()) {
            std::string type = el->GetAttribute("type");
            if (type == "closeform") {
                AddActionCloseWin();
            } else if (type == "showmsg") {
                AddActionShowMsg(ChildText(*el, "message"));
            } else if (type == "openform") {
                int instanceId = IntChild(*el, "instanceid");
                int entityId = IntChild(*el, "entityid");
                int formId = IntChild(*el, "formid");
                AddActionOpenForm(formId, entityId, instanceId);
            } else if (type == "refreshdata") {
                AddActionRefreshData(IntChild(*el, "instanceid"));
            } else if (type == "showdoc") {
                AddActionShowDoc(IntChild(*el, "showdocid"));
            } else if (type == "setformdata") {
                auto data = std::make_unique<TEKFormData>();
                if (!data->LoadFromXML(el->FindElement("formvalues")))
                    throw std::runtime_error("setformdata: cannot read \"formvalues\"");
                AddActionSetFormData(std::move(data));
            } else if (type == "reppreview") {
                AddActionRepPreview(IntChild(*el, "dataid"));
            } else if (type == "refreshmain") {
                AddActionRefreshMain();
            } else if (type == "filetoclient") {
                std::string fileName = ChildText(*el, "filename");
                int docId = IntChild(*el, "docid");
                int docType = IntChild(*el, "doctype");
                AddActionProcessFile(docType, docId, fileName);
            } else {
                throw std::runtime_error("unknown post-action type \"" + type + "\"");
            }
        }
        return true;
    } catch (const std::exception &e) {
        WriteLog(9, "TEKPostActionList.LoadFromXML", e.what());
    } catch (...) {
        WriteLog(9, "TEKPostActionList.LoadFromXML", "unknown error");
    }
    return false;
}
