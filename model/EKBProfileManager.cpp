#include "EKBProfileManager.h"

#include "EKCLog.h"
#include "EKCodecs.h"
#include "EKXML.h"

#include <exception>

TEKBProfValListItem *TEKBProfileManager::Find(int infoType, const std::string &name) const
{
    for (int i = 0; i < FItems.Count(); ++i) {
        TEKBProfValListItem *item = FItems.Items(i);
        if (item->InfoType == infoType && item->Name == name)
            return item;
    }
    return nullptr;
}

std::string TEKBProfileManager::GetValue(int infoType, const std::string &name) const
{
    const TEKBProfValListItem *item = Find(infoType, name);
    return item != nullptr ? item->Value : std::string();
}

void TEKBProfileManager::SetValue(int infoType, const std::string &name, const std::string &value)
{
    TEKBProfValListItem *item = Find(infoType, name);
    if (item == nullptr) {
        item = FItems.Add();
        item->InfoType = infoType;
        item->Name = name;
    }
    item->Value = value;
}

bool TEKBProfileManager::LoadFromXML(const TEKXMLElement *element)
{
    if (element == nullptr)
        return false;
    try {
        if (element->IsLeaf())
            return true;
        for (const TEKXMLElement *child : *element->Elements()) {
            int infoType = 0;
            std::string text = child->GetAttribute("infotype");
            if (!TryStrToInt(text, infoType)) {
                WriteLog(9, "TEKBProfileManager.LoadFromXML",
                         "infotype \"" + text + "\" is not a number");
                return false;
            }
            SetValue(infoType, child->GetAttribute("name"), std::string(child->Text()));
        }
        return true;
    } catch (const std::exception &e) {
        WriteLog(9, "TEKBProfileManager.LoadFromXML", e.what());
    } catch (...) {
        WriteLog(9, "TEKBProfileManager.LoadFromXML", "unknown error");
    }
    return false;
}

void TEKBProfileManager::WriteToXML(TEKXML &doc) const
{
    if (doc.OpenLevel() == nullptr)
        return;
    for (int i = 0; i < FItems.Count(); ++i) {
        const TEKBProfValListItem *item = FItems.Items(i);
        TEKXMLElement *el = doc.AddTextElement("item", item->Value);
        el->AddAttribute("name", item->Name);
        el->AddAttribute("infotype", std::to_string(item->InfoType));
    }
    doc.CloseLevel();
}

std::unique_ptr<TEKXML> TEKBProfileManager::MakeRefreshRequest(bool send, bool receive) const
{
    auto doc = std::make_unique<TEKXML>();
    doc->SetName("refreshprofile");
    if (receive)
        doc->AddAttribute("receive", "1");
    if (send)
        WriteToXML(*doc);
    return doc;
}
