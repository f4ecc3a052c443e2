#include "EKBDefCodelist.h"

#include "EKCLog.h"
#include "EKCodecs.h"
#include "EKXML.h"

#include <exception>

bool TEKDefCodeList::LoadFromXML(const TEKXMLElement *root)
{
    if (root == nullptr || root->Name() != "re_codelistdef")
        return false;
    try {
        const TEKXMLElement *data = root->FindElement("data");
        if (data == nullptr)
            return false;
        if (data->IsLeaf())
            return true;
        for (const TEKXMLElement *entry : *data->Elements()) {
            int code = 0;
            std::string text = entry->GetAttribute("code");
            if (!TryStrToInt(text, code)) {
                WriteLog(9, "TEKDefCodeList.LoadFromXML", "code \"" + text + "\" is not a number");
                return false;
            }
            TEKDefCodeListDataItem *item = FItems.Add();
            item->Code = code;
            item->Text = std::string(entry->Text());
        }
        return true;
    } catch (const std::exception &e) {
        WriteLog(9, "TEKDefCodeList.LoadFromXML", e.what());
    } catch (...) {
        WriteLog(9, "TEKDefCodeList.LoadFromXML", "unknown error");
    }
    return false;
}
