#include "EKBFormDesc.h"

#include "EKBXMLRead.h"
#include "EKCLog.h"
#include "EKCodecs.h"
#include "EKXML.h"

#include <exception>
#include <stdexcept>

namespace {

bool FlagAttribute(const TEKXMLElement &el, std::string_view name)
{
    return el.GetAttribute(name) == "1";
}

// An optional number: left at its default when absent or empty.
void OptionalIntAttribute(const TEKXMLElement &el, std::string_view name, int &value)
{
    std::string text = el.GetAttribute(name);
    if (!text.empty())
        value = IntAttribute(el, name);
}

void ReadItem(const TEKXMLElement &el, TEKFormDataGrItem &item)
{
    item.Caption = el.GetAttribute("caption");
    item.FieldId = IntAttribute(el, "fieldid");
    item.DataType = NameToDataType(el.GetAttribute("type"));
    item.ReadOnly = FlagAttribute(el, "readonly");
    item.FieldLen = IntAttribute(el, "fieldlen");
    item.Required = FlagAttribute(el, "required");
    item.QuickFilter = FlagAttribute(el, "quickfilter");
    item.IsFileName = FlagAttribute(el, "isfilename");
    if (item.DataType == ekdtCodeList || item.DataType == ekdtSetCList) {
        item.CodeId = el.GetAttribute("codeid");
        item.CodeFilter = IntAttribute(el, "codefilter");
        OptionalIntAttribute(el, "edlength", item.EdLength);
    }
    if (item.DataType == ekdtString || item.DataType == ekdtDateTime)
        OptionalIntAttribute(el, "edstringlines", item.EdStringLines);
}

void LogError(const char *source, const char *text)
{
    WriteLog(9, source, text);
}

} // namespace

TEKFormDataGrItem *TEKFormDataGroup::GetItemByFieldId(int fieldId) const
{
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->FieldId == fieldId)
            return Items(i);
    return nullptr;
}

bool TEKFormDataGroup::HasQuickFilter() const
{
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->QuickFilter)
            return true;
    return false;
}

std::vector<std::string> TEKFormDataGroup::GetRecNumberFields() const
{
    std::vector<std::string> names;
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->DataType == ekdtRecNumber)
            names.push_back(FieldIdToName(Items(i)->FieldId));
    return names;
}

std::vector<std::string> TEKFormDataGroup::GetSecondsFields() const
{
    std::vector<std::string> names;
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->DataType == ekdtDateTime && Items(i)->EdStringLines == 1)
            names.push_back(FieldIdToName(Items(i)->FieldId));
    return names;
}

bool TEKFormContainer::SetContainerType(int kind)
{
    if (kind < ekfctNone || kind > ekfctDataGroup) {
        LogError("TEKFormContainer.SetContainerType", "TEKFormContainer SetContainerType");
        return false;
    }
    ContainerType = kind;
    Layout.reset();
    Tabs.reset();
    DataGroup.reset();
    if (kind == ekfctLayout)
        Layout = std::make_unique<TEKFormLayout>();
    else if (kind == ekfctTabs)
        Tabs = std::make_unique<TEKFormTabs>();
    else if (kind == ekfctDataGroup)
        DataGroup = std::make_unique<TEKFormDataGroup>();
    return true;
}

bool TEKFormContainer::LoadFromXML(const TEKXMLElement *contents)
{
    try {
        if (contents == nullptr || contents->GetAttribute("type") != "datagroup")
            throw std::runtime_error("TEKFormContainer #01");
        SetContainerType(ekfctDataGroup);
        DataGroup->Id = IntChild(*contents, "id");
        DataGroup->PkId = IntChild(*contents, "pkid");
        const TEKXMLElement *items = contents->FindElement("items");
        if (items != nullptr && !items->IsLeaf())
            for (const TEKXMLElement *el : *items->Elements())
                ReadItem(*el, *DataGroup->Add());
        return true;
    } catch (const std::exception &e) {
        LogError("TEKFormContainer.LoadFromXML", e.what());
    } catch (...) {
        LogError("TEKFormContainer.LoadFromXML", "unknown error");
    }
    return false;
}

TEKBFormDesc::TEKBFormDesc() : Container(std::make_unique<TEKFormContainer>()) {}

bool TEKBFormDesc::LoadFromXML(const TEKXMLElement *root)
{
    if (root == nullptr || root->Name() != "re_formdesc")
        return false;
    try {
        FormId = IntAttribute(*root, "formid");
        EntityId = IntAttribute(*root, "entityid");
        std::string_view type = RequiredChild(*root, "type").Text();
        if (type == "freeform")
            FormType = ekftFreeForm;
        else if (type == "browse")
            FormType = ekftBrowse;
        else if (type == "module")
            FormType = ekftModule;
        else if (type == "showdoc")
            FormType = ekftShowDoc;
        else
            FormType = ekftOther;
        Name = std::string(RequiredChild(*root, "name").Text());
        const TEKXMLElement *contents = root->FindElement("contents");
        if (contents != nullptr)
            return Container->LoadFromXML(contents);
        return true;
    } catch (const std::exception &e) {
        LogError("TEKBFormDesc.LoadFromXML", e.what());
    } catch (...) {
        LogError("TEKBFormDesc.LoadFromXML", "unknown error");
    }
    return false;
}
