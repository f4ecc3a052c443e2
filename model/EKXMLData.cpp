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
    if (!timeOnly) {
        // TryEncodeDate's check and day count, here for the date of nearly
        // every date cell: years 1..9999 keep the arithmetic in 32 bits.
        if (year < kMinYear || year > kMaxYear || month < 1 || month > 12 || day < 1 ||
            day > DaysInMonth(year, month))
            return false;
        const int y = year - (month <= 2);
        const int yoe = y % 400;
        const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
        const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        // 1 March of year 0 is day -693899 of the day count.
        date = static_cast<double>((y / 400) * 146097 + doe - 693899);
    }
    if (text.size() == 8) {
        value = date;
        return true;
    }
    int hour = 0, minute = 0, second = 0;
    if (!CompactDigits(text, 8, 2, hour) || !CompactDigits(text, 10, 2, minute) ||
        !CompactDigits(text, 12, 2, second) || hour > 23 || minute > 59 || second > 59)
        return false;
    // TryEncodeTime and ComposeDateTime: the fraction of the day added away
    // from zero.
    const double time =
        static_cast<double>((hour * 60 + minute) * 60 + second) * 1000.0 / 86400000.0;
    value = date < 0 ? date - time : date + time;
    return true;
}

// TextToFloat for the plain decimals of numeric cells ("12345.67"): with at
// most 15 digits the digits and the power of ten are exact doubles, so one
// division rounds exactly as the general reading does. Any other text goes
// to TextToFloat.
double ReadFloat(std::string_view text)
{
    static constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    long long digits = 0;
    int count = 0;
    int decimals = -1;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            digits = digits * 10 + (c - '0');
            if (decimals >= 0)
                ++decimals;
            if (++count > 15)
                return TextToFloat(text);
        } else if (c == '.' && decimals < 0 && count > 0) {
            decimals = 0;
        } else {
            return TextToFloat(text);
        }
    }
    if (count == 0 || decimals == 0)
        return TextToFloat(text);
    return decimals < 0 ? static_cast<double>(digits)
                        : static_cast<double>(digits) / kPow10[decimals];
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
        return field.SetAsFloat(ReadFloat(text));
    case ekftDate:
    case ekftTime:
    case ekftDateTime: {
        double value = 0;
        if (ReadCompact(text, value) && field.SetAsDateTime(value))
            return true;
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
