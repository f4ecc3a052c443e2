#pragma once

#include "EKList.h"
#include "EKRoot.h"

#include <memory>
#include <string>

class TEKXML;
class TEKXMLElement;

// Kinds of profile values.
enum TEKProfInfoType : int
{
    ekpiFormCoor = 1,    // "formcoor <formid>:<entityid>": left top width height
    ekpiGridColumns = 2, // "<formid>:<entityid>:<datagroupid>": fieldid:width;...
    ekpiQuickFilter = 3, // "qfcols <formid>:<entityid>": fieldid;fieldid;...
};

// One profile value, identified by (InfoType, Name); Name is case-sensitive.
class TEKBProfValListItem : public TEKCollectionItem
{
public:
    int InfoType = 0;
    std::string Name;
    std::string Value;
};

using TEKBProfValList = TEKCollectionOf<TEKBProfValListItem>;

// The user's profile values as the server stores them, held in memory for
// the run and sent back at its end.
class TEKBProfileManager : public TEKRootClass
{
public:
    const TEKBProfValList &Items() const { return FItems; }
    int Count() const { return FItems.Count(); }

    // The value of the key; the empty text when there is none.
    std::string GetValue(int infoType, const std::string &name) const;
    // Replaces the value of the key, or appends a new item.
    void SetValue(int infoType, const std::string &name, const std::string &value);
    void Clear() { FItems.Clear(); }

    // Merges the children of a "refreshprofile" answer root into the store.
    // On false the values read before the failing child stay.
    bool LoadFromXML(const TEKXMLElement *element);
    // Opens a child level on the document (also for an empty store) and adds
    // one "item" per value, in store order. Values go out verbatim: they must
    // not contain "<" and names must not contain a double quote.
    void WriteToXML(TEKXML &doc) const;

    // The "refreshprofile" request: with receive the attribute receive="1",
    // with send the store's values as children.
    std::unique_ptr<TEKXML> MakeRefreshRequest(bool send, bool receive) const;

private:
    TEKBProfValListItem *Find(int infoType, const std::string &name) const;

    TEKBProfValList FItems;
};
