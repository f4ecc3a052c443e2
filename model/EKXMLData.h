#pragma once

#include "EKMemDataSet.h"
#include "EKRoot.h"

#include <string>
#include <string_view>

class TEKXMLElement;

// Fills an in-memory data set from the "xmlsetdef" and "xmlsetdata" elements
// of a data answer. Holds the data set without owning it; made for one answer
// and keeps nothing beyond it.
class TEKXMLData : public TEKRootClass
{
public:
    explicit TEKXMLData(TEKMemDataSet &dataSet);

    // Closes the data set and replaces its definitions and fields by the
    // columns of an "xmlsetdef" element, in order. An element of another name
    // or without children leaves no columns. A column without "name", "size"
    // or "type", a size that is not a decimal integer, a name defined twice or
    // a type outside the table ("invalid data type") fails, leaving no columns
    // either. The caller opens the data set.
    bool LoadDefinition(const TEKXMLElement *element);

    // Appends the rows of an "xmlsetdata" element to the open data set and
    // gives their number; an element of another name or without children
    // appends nothing. A cell without a decimal "fldord", a position beyond
    // the last column, an integer cell that is not a decimal 32-bit integer
    // and a date, time or date-time cell that is not a compact date fail: the
    // rows before the failing one stay (and are counted), the failing row is
    // dropped. A numeric cell that is not a number gives 0. Change
    // notifications are suspended during the load unless they already are.
    bool LoadRows(const TEKXMLElement *element, int &rowCount);

    // "string", "integer", "numeric", "date", "datetime", "time"; ekftUnknown
    // for any other text.
    static TEKFieldType TypeNameToFieldType(std::string_view typeName);

    // The reason of the last failure; empty after a success.
    const std::string &LastError() const { return FLastError; }

private:
    bool Fail(const char *source, std::string text);

    TEKMemDataSet &FDataSet;
    std::string FLastError;
};
