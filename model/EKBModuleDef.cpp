#include "EKBModuleDef.h"

#include "EKCLog.h"
#include "EKCodecs.h"
#include "EKXML.h"

#include <exception>

namespace {

bool ReadModule(const TEKXMLElement &el, TEKModuleList &list)
{
    const TEKXMLElement *formId = el.FindElement("formid");
    const TEKXMLElement *name = el.FindElement("name");
    int id = 0;
    if (formId == nullptr || name == nullptr || !TryStrToInt(formId->Text(), id)) {
        WriteLog(9, "LoadModuleList", "malformed module \"" + el.Name() + "\"");
        return false;
    }
    TEKModuleDefItem *item = list.Add();
    item->FormId = id;
    item->Name = std::string(name->Text());
    return true;
}

} // namespace

bool LoadModuleList(const TEKXMLElement *root, std::unique_ptr<TEKModuleList> &result)
{
    result.reset();
    if (root == nullptr || root->Name() != "re_modules")
        return false;
    try {
        auto list = std::make_unique<TEKModuleList>();
        if (!root->IsLeaf())
            for (const TEKXMLElement *el : *root->Elements())
                if (!ReadModule(*el, *list))
                    return false;
        result = std::move(list);
        return true;
    } catch (const std::exception &e) {
        WriteLog(9, "LoadModuleList", e.what());
    } catch (...) {
        WriteLog(9, "LoadModuleList", "unknown error");
    }
    return false;
}
