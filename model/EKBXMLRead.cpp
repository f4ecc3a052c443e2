#include "EKBXMLRead.h"

#include "EKCodecs.h"
#include "EKXML.h"

#include <stdexcept>

const TEKXMLElement &RequiredChild(const TEKXMLElement &parent, std::string_view name)
{
    const TEKXMLElement *child = parent.FindElement(name);
    if (child == nullptr)
        throw std::runtime_error("element \"" + parent.Name() + "\" has no child \"" +
                                 std::string(name) + "\"");
    return *child;
}

std::string ChildText(const TEKXMLElement &parent, std::string_view name)
{
    return std::string(RequiredChild(parent, name).Text());
}

int IntChild(const TEKXMLElement &parent, std::string_view name)
{
    try {
        return StrToInt(RequiredChild(parent, name).Text());
    } catch (const EConvertError &e) {
        throw EConvertError("element \"" + std::string(name) + "\": " + e.what());
    }
}

int IntAttribute(const TEKXMLElement &el, std::string_view name)
{
    try {
        return StrToInt(el.GetAttribute(name));
    } catch (const EConvertError &e) {
        throw EConvertError("attribute \"" + std::string(name) + "\" of \"" + el.Name() +
                            "\": " + e.what());
    }
}
