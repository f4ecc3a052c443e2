#include "EKXMLData.h"

#include "EKCLog.h"
#include "EKCodecs.h"
#include "EKXML.h"

#include <cstring>
#include <exception>

namespace {

constexpr std::string_view kCDataOpen = "<![CDATA[";
constexpr std::string_view kCDataClose = "]]>";
constexpr std::string_view kCDataJoin = "]]><![CDATA[";

// FromCDATA without a copy for the texts that need no joining of split
// sections, which is nearly every cell: the trimmed text, less its outer
// markers. False when the text holds a split section; FromCDATA then does it.
bool CDataContent(std::string_view text, std::string_view &content)
{
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= 32)
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32)
        --last;
    content = text.substr(first, last - first);
    if (content.size() >= kCDataOpen.size() + kCDataClose.size() &&
        content.starts_with(kCDataOpen) && content.ends_with(kCDataClose)) {
        const std::string_view inner = content.substr(
            kCDataOpen.size(), content.size() - kCDataOpen.size() - kCDataClose.size());
        // A section end inside means split sections (or a text the codec
        // treats its own way): FromCDATA decides.
        if (inner.find(kCDataClose) != std::string_view::npos)
            return false;
        content = inner;
        return true;
    }
    return content.find(kCDataJoin) == std::string_view::npos;
}

// TryStrToInt for the plain digits that nearly every cell carries, without
// its general checks; any other text goes to TryStrToInt.
bool ReadDecimal(std::string_view text, int &value)
{
    if (text.empty() || text.size() > 9)
        return TryStrToInt(text, value);
    int v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return TryStrToInt(text, value);
        v = v * 10 + (c - '0');
    }
    value = v;
    return true;
}

// Two or four digits of the compact form at pos; false when any is not a digit.
bool CompactDigits(std::string_view text, std::size_t pos, std::size_t len, int &value)
{
    int v = 0;
    for (std::size_t i = pos; i < pos + len; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    value = v;
    return true;
}

// CompactToDateTime without its exception, for the well-formed texts; false
// when the text is not one (the caller then lets CompactToDateTime decide).
bool ReadCompact(std::string_view text, double &value)
{
    if (text.size() != 8 && text.size() < 14)
        return false;
    int year = 0, month = 0, day = 0;
    double date = 0;
    if (!CompactDigits(text, 0, 4, year) || !CompactDigits(text, 4, 2, month) ||
        !CompactDigits(text, 6, 2, day))
        return false;
    const bool timeOnly = text.size() >= 14 && year == 0 && month == 0 && day == 0;
    if (!timeOnly && !TryEncodeDate(year, month, day, date))
        return false;
    if (text.size() == 8) {
        value = date;
        return true;
    }
    int hour = 0, minute = 0, second = 0;
    double time = 0;
    if (!CompactDigits(text, 8, 2, hour) || !CompactDigits(text, 10, 2, minute) ||
        !CompactDigits(text, 12, 2, second) || !TryEncodeTime(hour, minute, second, 0, time))
        return false;
    value = ComposeDateTime(date, time);
    return true;
}

std::string Quoted(std::string_view text)
{
    constexpr std::size_t kShown = 40;
    std::string out = "\"";
    out.append(text.substr(0, kShown));
    if (text.size() > kShown)
        out.append("...");
    out.append("\"");
    return out;
}

// Sets the cell of the current row from the cell text; false with the reason.
bool SetCell(TEKMemField &field, std::string_view text, std::string &error)
{
    switch (field.FieldType()) {
    case ekftInteger: {
        int value = 0;
        if (!ReadDecimal(text, value)) {
            error = Quoted(text) + " is not an integer";
            return false;
        }
        return field.SetAsInteger(value);
    }
    case ekftFloat:
        return field.SetAsFloat(TextToFloat(text));
    case ekftDate:
    case ekftTime:
    case ekftDateTime: {
        double value = 0;
        if (ReadCompact(text, value))
            return field.SetAsDateTime(value);
        try {
            if (field.SetAsDateTime(CompactToDateTime(text)))
                return true;
        } catch (const EConvertError &) {
        }
        error = Quoted(text) + " is not a date";
        return false;
    }
    default: {
        std::string_view content;
        if (CDataContent(text, content))
            return field.SetAsString(content);
        return field.SetAsString(FromCDATA(text));
    }
    }
}

} // namespace

TEKXMLData::TEKXMLData(TEKMemDataSet &dataSet) : FDataSet(dataSet) {}

TEKFieldType TEKXMLData::TypeNameToFieldType(std::string_view typeName)
{
    if (typeName == "string")
        return ekftString;
    if (typeName == "integer")
        return ekftInteger;
    if (typeName == "date")
        return ekftDate;
    if (typeName == "datetime")
        return ekftDateTime;
    if (typeName == "time")
        return ekftTime;
    if (typeName == "numeric")
        return ekftFloat;
    return ekftUnknown;
}

bool TEKXMLData::Fail(const char *source, std::string text)
{
    FLastError = std::move(text);
    WriteLog(9, source, FLastError);
    return false;
}

bool TEKXMLData::LoadDefinition(const TEKXMLElement *element)
{
    static constexpr const char *kSource = "TEKXMLData.LoadDefinition";
    FLastError.clear();
    FDataSet.Close();
    FDataSet.ClearFieldDefs();
    FDataSet.ClearFields();
    if (!element || element->Name() != "xmlsetdef" || element->ElementCount() == 0)
        return true;
    // A failed definition leaves no columns rather than some of them.
    auto failed = [&](std::string text) {
        FDataSet.ClearFieldDefs();
        FDataSet.ClearFields();
        return Fail(kSource, std::move(text));
    };
    int ord = 0;
    for (const TEKXMLElement *column : *element->Elements()) {
        ++ord;
        const TEKXMLElement *name = column->FindElement("name");
        const TEKXMLElement *size = column->FindElement("size");
        const TEKXMLElement *type = column->FindElement("type");
        const std::string where = "column " + std::to_string(ord);
        if (!name || !size || !type)
            return failed(where + " lacks \"" + (!name ? "name" : !size ? "size" : "type") + "\"");
        int sizeValue = 0;
        if (!TryStrToInt(size->Text(), sizeValue))
            return failed(where + ": size " + Quoted(size->Text()) + " is not a number");
        const std::string fieldName(name->Text());
        if (!FDataSet.AddFieldDef(fieldName, TypeNameToFieldType(type->Text()), sizeValue, false))
            return failed(where + ": the name " + Quoted(fieldName) + " is defined twice");
    }
    const auto &defs = FDataSet.FieldDefs();
    for (int i = 0; i < static_cast<int>(defs.size()); ++i) {
        if (defs[static_cast<std::size_t>(i)].FieldType == ekftUnknown)
            return failed("invalid data type");
        if (!FDataSet.CreateField(i))
            return failed("column " + std::to_string(i + 1) + " cannot be created");
    }
    return true;
}

bool TEKXMLData::LoadRows(const TEKXMLElement *element, int &rowCount)
{
    static constexpr const char *kSource = "TEKXMLData.LoadRows";
    rowCount = 0;
    FLastError.clear();
    const bool suspend = !FDataSet.ControlsDisabled();
    if (suspend)
        FDataSet.DisableControls();
    struct Resume
    {
        TEKMemDataSet &DataSet;
        bool Active;
        ~Resume()
        {
            if (Active)
                DataSet.EnableControls();
        }
    } resume{FDataSet, suspend};

    if (!element || element->Name() != "xmlsetdata" || element->ElementCount() == 0)
        return true;
    std::string error;
    FDataSet.Reserve(element->ElementCount());
    // Names are shared within a document: once one attribute has proved to
    // be "fldord", a cell whose first attribute has that very name needs no
    // comparison.
    const std::string *fldordName = nullptr;
    const auto where = [&rowCount] { return "row " + std::to_string(rowCount + 1); };
    try {
        for (const TEKXMLElement *row : *element->Elements()) {
            if (!FDataSet.Append())
                return Fail(kSource, "the data set is not open");
            if (!row->IsLeaf()) {
                for (const TEKXMLElement *cell : *row->Elements()) {
                    const TEKXMLAttributeList *attributes = cell->Attributes();
                    const TEKXMLAttribute *fldord = nullptr;
                    if (attributes && attributes->Count() > 0 &&
                        &attributes->begin()->Name() == fldordName)
                        fldord = attributes->begin();
                    else if ((fldord = cell->FindAttribute("fldord")))
                        fldordName = &fldord->Name();
                    int position = -1;
                    if (!fldord || !ReadDecimal(fldord->Value(), position)) {
                        FDataSet.Cancel();
                        return Fail(kSource, where() + ": a cell without a decimal \"fldord\"");
                    }
                    TEKMemField *field = FDataSet.Fields(position);
                    if (!field) {
                        FDataSet.Cancel();
                        return Fail(kSource, where() + ": \"fldord\" " + std::to_string(position) +
                                                 " is not a column");
                    }
                    if (!SetCell(*field, cell->Text(), error)) {
                        FDataSet.Cancel();
                        return Fail(kSource, where() + ", " + field->Name() + ": " + error);
                    }
                }
            }
            ++rowCount;
        }
    } catch (const std::exception &e) {
        // Only allocation can get here; the data set stays consistent.
        FDataSet.Cancel();
        return Fail(kSource, e.what());
    }
    return true;
}
