#pragma once

#include "EKCodecs.h"
#include "EKList.h"
#include "EKRoot.h"
#include "EKTypes.h"

#include <cstdint>
#include <string>

class TEKXML;
class TEKXMLElement;

enum TEKFormValueKind : std::uint8_t
{
    ekfvNone = 0,
    ekfvText,
    ekfvInteger,
    ekfvNumber,
    ekfvDateTime,
};

// One form value: nothing, a text, an integer, a number or a date-time. Which
// kind a value holds follows its data type; writing converts between kinds
// where a caller mixed them.
class TEKFormValue
{
public:
    TEKFormValue() = default;
    static TEKFormValue FromText(std::string text);
    static TEKFormValue FromInteger(std::int64_t value);
    static TEKFormValue FromNumber(double value);
    static TEKFormValue FromDateTime(TEKDateTime value);

    TEKFormValueKind Kind() const { return FKind; }
    // Each accessor answers for its own kind only: the text of a text value,
    // else the empty text; the number of an integer, number or date-time
    // value, else 0.
    const std::string &AsText() const { return FText; }
    std::int64_t AsInteger() const { return FInteger; }
    double AsNumber() const { return FNumber; }
    TEKDateTime AsDateTime() const { return FNumber; }

    // Whether the value counts as no value: nothing, the empty text, the
    // integer 0, the number 0 or the date-time 0. Such values travel as the
    // empty text.
    bool IsEmptyValue() const;
    bool operator==(const TEKFormValue &other) const;

private:
    TEKFormValueKind FKind = ekfvNone;
    std::string FText;
    std::int64_t FInteger = 0;
    double FNumber = 0; // the number, or the day count of a date-time
};

class TEKFormDataListItem : public TEKCollectionItem
{
public:
    TEKDataType DataType = ekdtUnknown;
    int Id = 0; // the field id, or a parameter number chosen by the caller
    TEKFormValue Value;
};

using TEKFormDataList = TEKCollectionOf<TEKFormDataListItem>;

// The values of a form's fields, in insertion order, and their element
// "formvalues" in both directions.
class TEKFormData : public TEKRootClass
{
public:
    TEKFormDataList &Items() { return FItems; }
    const TEKFormDataList &Items() const { return FItems; }
    int Count() const { return FItems.Count(); }
    // 1-based; throws EListError outside 1..Count.
    TEKFormDataListItem *GetItemByOrd(int ord) const { return FItems.GetItemByOrd(ord); }

    // Appends, also when the id is present already.
    TEKFormDataListItem *AddValue(TEKDataType dataType, int id, const TEKFormValue &value);
    // Replaces type and value of the first item with the id, or appends.
    TEKFormDataListItem *SetValue(TEKDataType dataType, int id, const TEKFormValue &value);

    // Appends the values listed under a "formvalues" element. On failure the
    // values read before the failing one stay.
    bool LoadFromXML(const TEKXMLElement *element);
    // Adds "formvalues" with every item at the document's building cursor and
    // leaves the cursor on it, so the caller can add siblings. Without an open
    // level at the cursor nothing is added.
    void WriteToXML(TEKXML &doc) const;

    // The wire text of a value of the type, as written into a request.
    static std::string ValueToText(TEKDataType dataType, const TEKFormValue &value);
    // The value of a wire text of the type; throws EConvertError for a text
    // that does not convert.
    static TEKFormValue TextToValue(TEKDataType dataType, const std::string &text);

private:
    TEKFormDataList FItems;
};
