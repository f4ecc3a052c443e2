#pragma once

#include "EKList.h"
#include "EKRoot.h"
#include "EKTypes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TEKXMLElement;
class TEKFormContainer;

// One field of a data group. Defaults hold where an optional attribute is
// absent or does not apply to the field's type.
class TEKFormDataGrItem : public TEKCollectionItem
{
public:
    std::string Caption;
    int FieldId = 0; // its data column and editor are named "c" and the id
    TEKDataType DataType = ekdtUnknown;
    bool ReadOnly = false;
    int FieldLen = 0; // maximum length of the value in characters
    bool Required = false;
    bool QuickFilter = false;
    bool IsFileName = false;
    std::string CodeId; // codelist and setclist only
    int CodeFilter = 0; // codelist and setclist only
    int EdLength = 0;   // editor width in pixels; below 1 the default width
    // string: text lines of the editor (0: one line unless FieldLen > 300);
    // datetime: 1 when the time part shows seconds.
    int EdStringLines = 0;
};

// The fields of a form, in the order received: the order on the form and of
// the grid columns.
class TEKFormDataGroup : public TEKCollectionOf<TEKFormDataGrItem>
{
public:
    int Id = 0;   // part of the grid-column profile key
    int PkId = 0; // field id of the key field that identifies a row

    // The first item with the field id, or null.
    TEKFormDataGrItem *GetItemByFieldId(int fieldId) const;
    bool HasQuickFilter() const;
    // Data column names of the recnumber fields, in item order.
    std::vector<std::string> GetRecNumberFields() const;
    // Data column names of the datetime fields that show seconds, in item order.
    std::vector<std::string> GetSecondsFields() const;
};

class TEKFormLayout : public TEKCollectionOf<TEKFormContainer>
{
};

class TEKFormOneTab : public TEKCollectionItem
{
};

class TEKFormTabs : public TEKCollectionOf<TEKFormOneTab>
{
};

enum TEKFormContainerType : std::uint8_t
{
    ekfctNone = 0,
    ekfctLayout = 1,
    ekfctTabs = 2,
    ekfctDataGroup = 3,
};

// A container of a form: a nested layout, tabs, or the data group. Only the
// child collection of the current kind exists.
class TEKFormContainer : public TEKCollectionItem
{
public:
    int ContainerType = ekfctNone;
    std::unique_ptr<TEKFormLayout> Layout;
    std::unique_ptr<TEKFormTabs> Tabs;
    std::unique_ptr<TEKFormDataGroup> DataGroup;

    // Sets the kind and creates its child collection (dropping any other).
    // An unknown kind changes nothing and fails.
    bool SetContainerType(int kind);
    // Reads a "contents" element holding a data group; fails for any other
    // container type and for a malformed group, which then stays incomplete.
    bool LoadFromXML(const TEKXMLElement *contents);
};

enum TEKFormType : std::uint8_t
{
    ekftOther = 0,
    ekftFreeForm = 1,
    ekftBrowse = 2,
    ekftModule = 3,
    ekftShowDoc = 4,
};

// What the server says a form looks like: identity, kind, title and fields.
class TEKBFormDesc : public TEKRootClass
{
public:
    TEKBFormDesc();

    int FormId = 0;
    int EntityId = 0;
    std::string Name;
    int FormType = ekftOther;
    // Always present; of kind none until a description with contents is loaded.
    std::unique_ptr<TEKFormContainer> Container;

    // Reads a "re_formdesc" answer. On false the description is incomplete
    // and the caller discards it.
    bool LoadFromXML(const TEKXMLElement *root);
};
