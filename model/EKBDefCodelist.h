#pragma once

#include "EKList.h"
#include "EKRoot.h"

#include <string>

class TEKXMLElement;

class TEKDefCodeListDataItem : public TEKCollectionItem
{
public:
    int Code = 0;
    std::string Text; // the display text exactly as received
};

using TEKDefCodeListData = TEKCollectionOf<TEKDefCodeListDataItem>;

// The entries of one code list in the order received; a repeated code stays
// an entry of its own.
class TEKDefCodeList : public TEKRootClass
{
public:
    TEKDefCodeListData &Items() { return FItems; }
    const TEKDefCodeListData &Items() const { return FItems; }
    int Count() const { return FItems.Count(); }

    // Appends the entries of a "re_codelistdef" answer. On false the entries
    // read before the failure stay; the caller discards the list.
    bool LoadFromXML(const TEKXMLElement *root);

private:
    TEKDefCodeListData FItems;
};
