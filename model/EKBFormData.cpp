#include "EKBFormData.h"

#include "EKCLog.h"
#include "EKXML.h"

#include <charconv>
#include <cmath>
#include <exception>
#include <limits>
#include <stdexcept>

TEKFormValue TEKFormValue::FromText(std::string text)
{
    TEKFormValue v;
    v.FKind = ekfvText;
    v.FText = std::move(text);
    return v;
}

TEKFormValue TEKFormValue::FromInteger(std::int64_t value)
{
    TEKFormValue v;
    v.FKind = ekfvInteger;
    v.FInteger = value;
    return v;
}

TEKFormValue TEKFormValue::FromNumber(double value)
{
    TEKFormValue v;
    v.FKind = ekfvNumber;
    v.FNumber = value;
    return v;
}

TEKFormValue TEKFormValue::FromDateTime(TEKDateTime value)
{
    TEKFormValue v;
    v.FKind = ekfvDateTime;
    v.FNumber = value;
    return v;
}

bool TEKFormValue::IsEmptyValue() const
{
    switch (FKind) {
    case ekfvNone:
        return true;
    case ekfvText:
        return FText.empty();
    case ekfvInteger:
        return FInteger == 0;
    case ekfvNumber:
    case ekfvDateTime:
        return FNumber == 0;
    }
    return true;
}

bool TEKFormValue::operator==(const TEKFormValue &other) const
{
    if (FKind != other.FKind)
        return false;
    switch (FKind) {
    case ekfvNone:
        return true;
    case ekfvText:
        return FText == other.FText;
    case ekfvInteger:
        return FInteger == other.FInteger;
    case ekfvNumber:
    case ekfvDateTime:
        return FNumber == other.FNumber;
    }
    return false;
}

namespace {

// The shortest decimal form that reads back as the same number, with ".".
std::string ShortestNumberText(double value)
{
    if (!std::isfinite(value))
        return FloatToText(value, 0);
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

bool ParseInt64(std::string_view text, std::int64_t &value)
{
    const char *first = text.data();
    const char *last = first + text.size();
    if (first != last && *first == '+')
        ++first;
    auto res = std::from_chars(first, last, value);
    return first != last && res.ec == std::errc() && res.ptr == last;
}

// Integer form of a number as the server expects it: rounded half to even;
// a value outside the 64-bit range or not a number has no integer form.
bool NumberToInt64(double value, std::int64_t &result)
{
    double r = std::nearbyint(value);
    if (!std::isfinite(r) || r < -9.2233720368547758e18 || r >= 9.2233720368547758e18)
        return false;
    result = static_cast<std::int64_t>(r);
    return true;
}

// A value of any kind as a day count, for the date types. A text is read in
// the compact wire form.
bool ValueToDateTime(const TEKFormValue &value, TEKDateTime &result)
{
    switch (value.Kind()) {
    case ekfvInteger:
        result = static_cast<double>(value.AsInteger());
        return true;
    case ekfvNumber:
    case ekfvDateTime:
        result = value.AsNumber();
        return std::isfinite(result);
    case ekfvText:
        try {
            result = CompactToDateTime(value.AsText());
            return true;
        } catch (const EConvertError &) {
            return false;
        }
    case ekfvNone:
        break;
    }
    return false;
}

std::string ValueToPlainText(const TEKFormValue &value)
{
    switch (value.Kind()) {
    case ekfvText:
        return value.AsText();
    case ekfvInteger:
        return std::to_string(value.AsInteger());
    case ekfvNumber:
        return ShortestNumberText(value.AsNumber());
    case ekfvDateTime:
        return FormatDateValue("yyyymmddhhnnss", value.AsDateTime());
    case ekfvNone:
        break;
    }
    return {};
}

std::string ValueToIntegerText(const TEKFormValue &value)
{
    std::int64_t i = 0;
    switch (value.Kind()) {
    case ekfvInteger:
        return std::to_string(value.AsInteger());
    case ekfvNumber:
    case ekfvDateTime:
        if (NumberToInt64(value.AsNumber(), i))
            return std::to_string(i);
        return {};
    case ekfvText:
        if (ParseInt64(value.AsText(), i))
            return std::to_string(i);
        return {};
    case ekfvNone:
        break;
    }
    return {};
}

std::string ValueToNumericText(const TEKFormValue &value)
{
    switch (value.Kind()) {
    case ekfvInteger:
        return FloatToText(static_cast<double>(value.AsInteger()), 4);
    case ekfvNumber:
    case ekfvDateTime:
        return FloatToText(value.AsNumber(), 4);
    case ekfvText:
        return FloatToText(TextToFloat(value.AsText()), 4);
    case ekfvNone:
        break;
    }
    return {};
}

std::string ValueToDateText(const TEKFormValue &value, const char *pattern)
{
    TEKDateTime dt = 0;
    if (!ValueToDateTime(value, dt))
        return {};
    return FormatDateValue(pattern, dt);
}

} // namespace

std::string TEKFormData::ValueToText(TEKDataType dataType, const TEKFormValue &value)
{
    if (value.IsEmptyValue())
        return {};
    // A value of another kind than its type expects is converted, never
    // refused: writing a request cannot fail. What does not convert is sent
    // as the empty text, which the server reads as no value.
    switch (dataType) {
    case ekdtString:
        return ToCDATA(ValueToPlainText(value));
    case ekdtDate:
        return ValueToDateText(value, "yyyymmdd");
    case ekdtDateTime:
    case ekdtTime:
        return ValueToDateText(value, "yyyymmddhhnnss");
    case ekdtInteger:
    case ekdtCodeList:
        return ValueToIntegerText(value);
    case ekdtNumeric:
        return ValueToNumericText(value);
    case ekdtRecNumber:
    case ekdtBool:
    case ekdtSetCList:
        return ValueToPlainText(value);
    case ekdtFile:
    case ekdtUnknown:
        break;
    }
    return {};
}

TEKFormValue TEKFormData::TextToValue(TEKDataType dataType, const std::string &text)
{
    switch (dataType) {
    case ekdtString: {
        std::string s = FromCDATA(text);
        if (s.empty())
            return {};
        return TEKFormValue::FromText(std::move(s));
    }
    case ekdtDate:
    case ekdtDateTime:
    case ekdtTime:
        if (text.empty())
            return {};
        return TEKFormValue::FromDateTime(CompactToDateTime(text));
    case ekdtInteger:
    case ekdtCodeList:
        if (text.empty())
            return {};
        return TEKFormValue::FromInteger(StrToInt(text));
    case ekdtRecNumber:
        return TEKFormValue::FromText(text);
    case ekdtBool:
    case ekdtSetCList:
        if (text.empty())
            return {};
        return TEKFormValue::FromText(text);
    case ekdtNumeric:
        if (text.empty())
            return {};
        return TEKFormValue::FromNumber(TextToFloat(text));
    case ekdtFile:
    case ekdtUnknown:
        break;
    }
    return {};
}

TEKFormDataListItem *TEKFormData::AddValue(TEKDataType dataType, int id, const TEKFormValue &value)
{
    TEKFormDataListItem *item = FItems.Add();
    item->DataType = dataType;
    item->Id = id;
    item->Value = value;
    return item;
}

TEKFormDataListItem *TEKFormData::SetValue(TEKDataType dataType, int id, const TEKFormValue &value)
{
    for (int i = 0; i < FItems.Count(); ++i) {
        TEKFormDataListItem *item = FItems.Items(i);
        if (item->Id == id) {
            item->DataType = dataType;
            item->Value = value;
            return item;
        }
    }
    return AddValue(dataType, id, value);
}

bool TEKFormData::LoadFromXML(const TEKXMLElement *element)
{
    if (element == nullptr || element->Name() != "formvalues")
        return false;
    try {
        if (element->IsLeaf())
            return true;
        for (const TEKXMLElement *child : *element->Elements()) {
            TEKDataType type = NameToDataType(child->GetAttribute("type"));
            TEKFormValue value = TextToValue(type, std::string(child->Text()));
            int id = StrToInt(child->GetAttribute("id"));
            AddValue(type, id, value);
        }
        return true;
    } catch (const std::exception &e) {
        WriteLog(9, "TEKFormData.LoadFromXML", e.what());
    } catch (...) {
        WriteLog(9, "TEKFormData.LoadFromXML", "unknown error");
    }
    return false;
}

void TEKFormData::WriteToXML(TEKXML &doc) const
{
    if (doc.AddElement("formvalues") == nullptr)
        return;
    doc.OpenLevel();
    for (int i = 0; i < FItems.Count(); ++i) {
        const TEKFormDataListItem *item = FItems.Items(i);
        TEKXMLElement *el = doc.AddTextElement("item", ValueToText(item->DataType, item->Value));
        if (el == nullptr)
            continue;
        el->AddAttribute("id", std::to_string(item->Id));
        el->AddAttribute("type", DataTypeToName(item->DataType));
    }
    doc.CloseLevel();
}
