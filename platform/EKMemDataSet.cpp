#include "EKMemDataSet.h"

#include "EKCodecs.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

// Bytes of the first maxChars code points of UTF-8 text; a malformed byte
// counts as one character so that the cut never runs past the end.
std::size_t Utf8Prefix(std::string_view text, int maxChars)
{
    std::size_t pos = 0;
    for (int chars = 0; chars < maxChars && pos < text.size(); ++chars) {
        const auto lead = static_cast<unsigned char>(text[pos]);
        std::size_t len = 1;
        if (lead >= 0xF0)
            len = 4;
        else if (lead >= 0xE0)
            len = 3;
        else if (lead >= 0xC0)
            len = 2;
        ++pos;
        for (std::size_t i = 1;
             i < len && pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80;
             ++i)
            ++pos;
    }
    return pos;
}

// The shortest digits that read back as the value, never in exponent form
// (a grid shows 1000000, not 1e+06).
void AppendShortest(std::string &out, double value)
{
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    if (res.ec != std::errc())
        res = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, res.ptr);
}

std::string ShortestText(double value)
{
    std::string out;
    AppendShortest(out, value);
    return out;
}

void AppendDigits(std::string &out, int value, int width)
{
    // Dates and times write small non-negative parts that fit the width;
    // those go straight in.
    static constexpr int kLimit[] = {1, 10, 100, 1000, 10000};
    if (width >= 2 && width <= 4 && value >= 0 && value < kLimit[width]) {
        char buf[4];
        for (int i = width - 1, v = value; i >= 0; --i, v /= 10)
            buf[i] = static_cast<char>('0' + v % 10);
        out.append(buf, static_cast<std::size_t>(width));
        return;
    }
    char buf[16];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    for (auto n = res.ptr - buf; n < width; ++n)
        out.push_back('0');
    out.append(buf, res.ptr);
}

// FormatDateValue into an existing buffer: a grid formats every visible cell,
// and a new string for each is most of the cost. The tokens and their order of
// matching are those of FormatDateValue.
void AppendDateText(std::string &out, std::string_view pattern, double value)
{
    const TEKDateTimeParts p = DecodeDateTime(value);
    std::size_t i = 0;
    while (i < pattern.size()) {
        const std::string_view rest = pattern.substr(i);
        if (rest.starts_with("yyyy")) {
            AppendDigits(out, p.Year, 4);
            i += 4;
        } else if (rest.starts_with("zzz")) {
            AppendDigits(out, p.MSec, 3);
            i += 3;
        } else if (rest.starts_with("mm")) {
            AppendDigits(out, p.Month, 2);
            i += 2;
        } else if (rest.starts_with("dd")) {
            AppendDigits(out, p.Day, 2);
            i += 2;
        } else if (rest.starts_with("hh")) {
            AppendDigits(out, p.Hour, 2);
            i += 2;
        } else if (rest.starts_with("nn")) {
            AppendDigits(out, p.Minute, 2);
            i += 2;
        } else if (rest.starts_with("ss")) {
            AppendDigits(out, p.Second, 2);
            i += 2;
        } else {
            out.push_back(pattern[i]);
            ++i;
        }
    }
}

// A whole decimal number in the "." form, nothing around it.
bool ParseFloat(std::string_view text, double &value)
{
    if (text.empty())
        return false;
    const char *first = text.data();
    const char *last = first + text.size();
    if (*first == '+')
        ++first;
    const auto res = std::from_chars(first, last, value, std::chars_format::general);
    return res.ec == std::errc() && res.ptr == last && std::isfinite(value);
}

// DecodeDateTime for the day counts of years 1..9999, away from the ends
// where it clamps (those go to DecodeDateTime itself). The same rounding to
// the millisecond and the same carry into the next day; the civil date is
// computed in 32 bits, and only withDate.
TEKDateTimeParts DecodeForDisplay(double value, bool withDate)
{
    if (!(value > -693000.0 && value < 2958000.0))
        return DecodeDateTime(value);
    const double day = std::trunc(value);
    int days = static_cast<int>(day);
    // llround of a non-negative value below 2^52, where the fraction is exact.
    const double scaled = std::fabs(value - day) * 86400000.0;
    long long ms = static_cast<long long>(scaled);
    if (scaled - static_cast<double>(ms) >= 0.5)
        ++ms;
    if (ms >= 86400000) {
        ms -= 86400000;
        ++days;
    }
    TEKDateTimeParts p;
    const int msec = static_cast<int>(ms);
    p.Hour = msec / 3600000;
    p.Minute = msec / 60000 % 60;
    p.Second = msec / 1000 % 60;
    p.MSec = msec % 1000;
    if (!withDate)
        return p;
    // Days since 1 March of year 0 of the proleptic Gregorian calendar.
    const int z = days - 25569 + 719468;
    const int era = (z >= 0 ? z : z - 146096) / 146097;
    const int doe = z - era * 146097;
    const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int mp = (5 * doy + 2) / 153;
    p.Day = doy - (153 * mp + 2) / 5 + 1;
    p.Month = mp < 10 ? mp + 3 : mp - 9;
    p.Year = yoe + era * 400 + (p.Month <= 2);
    return p;
}

bool IsDateType(TEKFieldType type)
{
    return type == ekftDate || type == ekftTime || type == ekftDateTime;
}

const char *PlainDateFormat(TEKFieldType type)
{
    switch (type) {
    case ekftDate:
        return "dd.mm.yyyy";
    case ekftTime:
        return "hh:nn:ss";
    default:
        return "dd.mm.yyyy hh:nn:ss";
    }
}

} // namespace

// --- TEKMemField ---------------------------------------------------------------

TEKMemField::TEKMemField(TEKMemDataSet &dataSet, const TEKFieldDef &def, int index)
    : FDataSet(dataSet), FDef(def), FIndex(index)
{
    CompileDisplayFormat();
}

TEKMemField::DatePlan TEKMemField::CompileDatePattern(std::string_view pattern)
{
    // The tokens and their order of matching are those of FormatDateValue.
    static constexpr struct
    {
        std::string_view Text;
        char Kind;
    } kTokens[] = {{"yyyy", 'y'}, {"zzz", 'z'}, {"mm", 'm'}, {"dd", 'd'},
                   {"hh", 'h'},   {"nn", 'n'},  {"ss", 's'}};
    DatePlan plan;
    plan.reserve(pattern.size());
    std::size_t i = 0;
    while (i < pattern.size()) {
        const std::string_view rest = pattern.substr(i);
        bool matched = false;
        for (const auto &token : kTokens)
            if (rest.starts_with(token.Text)) {
                // One entry per output byte keeps the plan's size that of the text.
                for (std::size_t k = 0; k < token.Text.size(); ++k)
                    plan.push_back(DateToken{k == 0 ? token.Kind : '\x01', 0});
                i += token.Text.size();
                matched = true;
                break;
            }
        if (!matched)
            plan.push_back(DateToken{0, pattern[i++]});
    }
    return plan;
}

const TEKMemField::DatePlan &TEKMemField::PlainDatePlan(TEKFieldType type)
{
    static const DatePlan date = CompileDatePattern(PlainDateFormat(ekftDate));
    static const DatePlan time = CompileDatePattern(PlainDateFormat(ekftTime));
    static const DatePlan dateTime = CompileDatePattern(PlainDateFormat(ekftDateTime));
    return type == ekftDate ? date : type == ekftTime ? time : dateTime;
}

TEKMemField::DateShape TEKMemField::ShapeOf(std::string_view pattern)
{
    if (pattern == "dd.mm.yyyy")
        return edsDate;
    if (pattern == "hh:nn:ss")
        return edsTime;
    if (pattern == "dd.mm.yyyy hh:nn:ss")
        return edsDateTime;
    if (pattern == "dd.mm.yyyy hh:nn")
        return edsDateMinutes;
    return edsTokens;
}

void TEKMemField::WriteDateText(const DatePlan &plan, DateShape shape, double value, char *out)
{
    // Every part of a decoded date fits its width (years 1..9999, and so on),
    // so each token writes exactly as many bytes as it has entries.
    const TEKDateTimeParts p = DecodeForDisplay(value, shape != edsTime);
    const auto pair = [&out](int v) {
        out[0] = static_cast<char>('0' + v / 10);
        out[1] = static_cast<char>('0' + v % 10);
        out += 2;
    };
    const auto digits = [&out](int v, int width) {
        for (int i = width - 1; i >= 0; --i, v /= 10)
            out[i] = static_cast<char>('0' + v % 10);
        out += width;
    };
    const auto date = [&] {
        pair(p.Day);
        *out++ = '.';
        pair(p.Month);
        *out++ = '.';
        pair(p.Year / 100);
        pair(p.Year % 100);
    };
    const auto minutes = [&] {
        pair(p.Hour);
        *out++ = ':';
        pair(p.Minute);
    };
    switch (shape) {
    case edsDate:
        date();
        return;
    case edsTime:
        minutes();
        *out++ = ':';
        pair(p.Second);
        return;
    case edsDateTime:
        date();
        *out++ = ' ';
        minutes();
        *out++ = ':';
        pair(p.Second);
        return;
    case edsDateMinutes:
        date();
        *out++ = ' ';
        minutes();
        return;
    case edsTokens:
        break;
    }
    for (std::size_t i = 0; i < plan.size();) {
        switch (plan[i].Kind) {
        case 'y':
            digits(p.Year, 4);
            i += 4;
            break;
        case 'z':
            digits(p.MSec, 3);
            i += 3;
            break;
        case 'm':
            pair(p.Month);
            i += 2;
            break;
        case 'd':
            pair(p.Day);
            i += 2;
            break;
        case 'h':
            pair(p.Hour);
            i += 2;
            break;
        case 'n':
            pair(p.Minute);
            i += 2;
            break;
        case 's':
            pair(p.Second);
            i += 2;
            break;
        default:
            *out++ = plan[i].Byte;
            ++i;
            break;
        }
    }
}

void TEKMemField::CompileDisplayFormat()
{
    FDisplayPlan.clear();
    FDisplayShape = edsTokens;
    FDisplayAscii = true;
    if (!IsDateType(FDef.FieldType))
        return;
    FDisplayShape =
        ShapeOf(FDisplayFormat.empty() ? PlainDateFormat(FDef.FieldType) : FDisplayFormat);
    FDisplayPlan =
        FDisplayFormat.empty() ? PlainDatePlan(FDef.FieldType) : CompileDatePattern(FDisplayFormat);
    for (const DateToken &token : FDisplayPlan)
        if (token.Kind == 0 && static_cast<unsigned char>(token.Byte) >= 0x80)
            FDisplayAscii = false;
}

int TEKMemField::CurrentRow() const
{
    return FDataSet.FCurrent;
}

bool TEKMemField::IsNull() const
{
    return IsNullAt(CurrentRow());
}

std::string TEKMemField::AsString() const
{
    return AsStringAt(CurrentRow());
}

int TEKMemField::AsInteger() const
{
    return IntegerAt(CurrentRow());
}

double TEKMemField::AsFloat() const
{
    return FloatAt(CurrentRow());
}

double TEKMemField::AsDateTime() const
{
    return IsDateType(FDef.FieldType) ? FloatAt(CurrentRow()) : 0.0;
}

int TEKMemField::IntegerAt(int row) const
{
    if (IsNullAt(row))
        return 0;
    const auto r = static_cast<std::size_t>(row);
    switch (FDef.FieldType) {
    case ekftInteger:
        return FInts[r];
    case ekftFloat:
    case ekftDate:
    case ekftTime:
    case ekftDateTime: {
        const double v = std::round(FNumbers[r]);
        if (!(v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max()))
            return 0;
        return static_cast<int>(v);
    }
    default: {
        int value = 0;
        return TryStrToInt(TextAt(row), value) ? value : 0;
    }
    }
}

double TEKMemField::FloatAt(int row) const
{
    if (IsNullAt(row))
        return 0.0;
    const auto r = static_cast<std::size_t>(row);
    switch (FDef.FieldType) {
    case ekftInteger:
        return FInts[r];
    case ekftString: {
        double value = 0.0;
        return ParseFloat(TextAt(row), value) ? value : 0.0;
    }
    default:
        return FNumbers[r];
    }
}

void TEKMemField::AppendValueText(int row, std::string &out, bool display) const
{
    if (IsNullAt(row))
        return;
    const auto r = static_cast<std::size_t>(row);
    switch (FDef.FieldType) {
    case ekftString:
        out.append(TextAt(row));
        break;
    case ekftInteger:
        AppendDigits(out, FInts[r], 0);
        break;
    case ekftFloat:
        AppendShortest(out, FNumbers[r]);
        break;
    default: {
        const DatePlan &plan = display ? FDisplayPlan : PlainDatePlan(FDef.FieldType);
        const DateShape shape = display ? FDisplayShape : ShapeOf(PlainDateFormat(FDef.FieldType));
        const std::size_t at = out.size();
        out.resize(at + plan.size());
        WriteDateText(plan, shape, FNumbers[r], out.data() + at);
        break;
    }
    }
}

std::string_view TEKMemField::DisplayView(int row, TEKCellText &buffer, bool &ascii) const
{
    ascii = true;
    if (IsNullAt(row))
        return {};
    const auto r = static_cast<std::size_t>(row);
    char *const first = buffer.Chars;
    char *const last = buffer.Chars + sizeof buffer.Chars;
    switch (FDef.FieldType) {
    case ekftString:
        ascii = false;
        return std::string_view(FArena.data() + FTextStart[r], FTextLength[r]);
    case ekftInteger: {
        const auto res = std::to_chars(first, last, FInts[r]);
        return std::string_view(first, static_cast<std::size_t>(res.ptr - first));
    }
    case ekftFloat: {
        // As AppendShortest: the largest doubles need 309 digits in fixed form.
        auto res = std::to_chars(first, last, FNumbers[r], std::chars_format::fixed);
        if (res.ec != std::errc())
            res = std::to_chars(first, last, FNumbers[r]);
        return std::string_view(first, static_cast<std::size_t>(res.ptr - first));
    }
    default: {
        ascii = FDisplayAscii;
        char *out = first;
        if (FDisplayPlan.size() > sizeof buffer.Chars) {
            buffer.Long.resize(FDisplayPlan.size());
            out = buffer.Long.data();
        }
        WriteDateText(FDisplayPlan, FDisplayShape, FNumbers[r], out);
        return std::string_view(out, FDisplayPlan.size());
    }
    }
}

std::string TEKMemField::AsStringAt(int row) const
{
    std::string text;
    AppendValueText(row, text, false);
    return text;
}

void TEKMemField::SetDisplayFormat(std::string format)
{
    FDisplayFormat = std::move(format);
    CompileDisplayFormat();
    FDataSet.NoteAllChanged();
}

void TEKMemField::SetOnGetText(TEKFieldGetTextEvent handler)
{
    FOnGetText = std::move(handler);
    FDataSet.NoteAllChanged();
}

std::string TEKMemField::DisplayText(int row) const
{
    std::string text;
    AppendValueText(row, text, true);
    if (FOnGetText)
        FOnGetText(*this, row, text);
    return text;
}

void TEKMemField::AppendDisplayText(int row, std::string &out) const
{
    if (FOnGetText)
        out.append(DisplayText(row));
    else
        AppendValueText(row, out, true);
}

void TEKMemField::AppendNull()
{
    const auto row = static_cast<std::size_t>(FDataSet.FRowCount);
    if ((row & 63) == 0)
        FHasValue.push_back(0);
    else
        FHasValue[row >> 6] &= ~(std::uint64_t(1) << (row & 63));
    switch (FDef.FieldType) {
    case ekftString:
        FTextStart.push_back(0);
        FTextLength.push_back(0);
        break;
    case ekftInteger:
        FInts.push_back(0);
        break;
    default:
        FNumbers.push_back(0.0);
        break;
    }
}

void TEKMemField::Reserve(std::size_t rows)
{
    FHasValue.reserve((rows + 63) / 64);
    switch (FDef.FieldType) {
    case ekftString:
        FTextStart.reserve(rows);
        FTextLength.reserve(rows);
        break;
    case ekftInteger:
        FInts.reserve(rows);
        break;
    default:
        FNumbers.reserve(rows);
        break;
    }
}

void TEKMemField::PopBack()
{
    // Called before the data set lowers its row count.
    const auto row = static_cast<std::size_t>(FDataSet.FRowCount - 1);
    SetNull(static_cast<int>(row), true);
    if ((row & 63) == 0)
        FHasValue.pop_back();
    switch (FDef.FieldType) {
    case ekftString:
        if (static_cast<std::size_t>(FTextStart[row]) + FTextLength[row] == FArena.size())
            FArena.resize(FTextStart[row]);
        FTextStart.pop_back();
        FTextLength.pop_back();
        break;
    case ekftInteger:
        FInts.pop_back();
        break;
    default:
        FNumbers.pop_back();
        break;
    }
}

void TEKMemField::ClearRows()
{
    FHasValue.clear();
    FInts.clear();
    FNumbers.clear();
    FTextStart.clear();
    FTextLength.clear();
    FArena.clear();
    FHasValue.shrink_to_fit();
    FInts.shrink_to_fit();
    FNumbers.shrink_to_fit();
    FTextStart.shrink_to_fit();
    FTextLength.shrink_to_fit();
    FArena.shrink_to_fit();
}

bool TEKMemField::SetNull(int row, bool isNull)
{
    const auto r = static_cast<std::size_t>(row);
    const std::uint64_t bit = std::uint64_t(1) << (r & 63);
    if (isNull)
        FHasValue[r >> 6] &= ~bit;
    else
        FHasValue[r >> 6] |= bit;
    return true;
}

bool TEKMemField::StoreText(int row, std::string_view value)
{
    // A text of no more bytes than Size has no more characters either.
    if (FDef.Size > 0 && value.size() > static_cast<std::size_t>(FDef.Size))
        value = value.substr(0, Utf8Prefix(value, FDef.Size));
    const auto r = static_cast<std::size_t>(row);
    // Rewriting the newest text (the usual case while a row is filled)
    // reuses its bytes; other rewrites leave the old bytes unused.
    std::size_t start = FArena.size();
    if (!IsNullAt(row) && static_cast<std::size_t>(FTextStart[r]) + FTextLength[r] == FArena.size())
        start = FTextStart[r];
    if (start + value.size() > std::numeric_limits<std::uint32_t>::max())
        return false;
    FArena.resize(start);
    FArena.append(value);
    FTextStart[r] = static_cast<std::uint32_t>(start);
    FTextLength[r] = static_cast<std::uint32_t>(value.size());
    return SetNull(row, false);
}

bool TEKMemField::StoreNumber(int row, double value)
{
    switch (FDef.FieldType) {
    case ekftFloat:
        break;
    case ekftDate:
    case ekftTime:
    case ekftDateTime:
        if (!std::isfinite(value))
            return false;
        if (FDef.FieldType == ekftDate)
            value = std::trunc(value);
        else if (FDef.FieldType == ekftTime) {
            // The fraction of a large day count carries noise below the
            // millisecond; a time that rounds to 24:00:00 is midnight.
            const double ms = std::round(std::fabs(value - std::trunc(value)) * 86400000.0);
            value = ms >= 86400000.0 ? 0.0 : ms / 86400000.0;
        }
        break;
    default:
        return false;
    }
    FNumbers[static_cast<std::size_t>(row)] = value;
    return SetNull(row, false);
}

bool TEKMemField::StoreInteger(int row, int value)
{
    FInts[static_cast<std::size_t>(row)] = value;
    return SetNull(row, false);
}

bool TEKMemField::SetAsString(std::string_view value)
{
    const int row = CurrentRow();
    if (row < 0)
        return false;
    bool ok = false;
    switch (FDef.FieldType) {
    case ekftString:
        ok = StoreText(row, value);
        break;
    case ekftInteger: {
        int number = 0;
        ok = TryStrToInt(value, number) && StoreInteger(row, number);
        break;
    }
    case ekftFloat: {
        double number = 0.0;
        ok = ParseFloat(value, number) && StoreNumber(row, number);
        break;
    }
    default:
        break;
    }
    if (ok)
        FDataSet.NoteRowChanged(row);
    return ok;
}

bool TEKMemField::SetAsInteger(int value)
{
    const int row = CurrentRow();
    if (row < 0)
        return false;
    bool ok = false;
    switch (FDef.FieldType) {
    case ekftString: {
        std::string text;
        AppendDigits(text, value, 0);
        ok = StoreText(row, text);
        break;
    }
    case ekftInteger:
        ok = StoreInteger(row, value);
        break;
    default:
        ok = StoreNumber(row, value);
        break;
    }
    if (ok)
        FDataSet.NoteRowChanged(row);
    return ok;
}

bool TEKMemField::SetAsFloat(double value)
{
    const int row = CurrentRow();
    if (row < 0)
        return false;
    bool ok = false;
    switch (FDef.FieldType) {
    case ekftString:
        ok = StoreText(row, ShortestText(value));
        break;
    case ekftInteger: {
        const double rounded = std::round(value);
        ok = rounded >= std::numeric_limits<int>::min() &&
             rounded <= std::numeric_limits<int>::max() &&
             StoreInteger(row, static_cast<int>(rounded));
        break;
    }
    default:
        ok = StoreNumber(row, value);
        break;
    }
    if (ok)
        FDataSet.NoteRowChanged(row);
    return ok;
}

bool TEKMemField::SetAsDateTime(double value)
{
    const int row = CurrentRow();
    if (row < 0)
        return false;
    bool ok = false;
    if (IsDateType(FDef.FieldType))
        ok = StoreNumber(row, value);
    else if (FDef.FieldType == ekftString && std::isfinite(value)) {
        std::string text;
        AppendDateText(text, PlainDateFormat(ekftDateTime), value);
        ok = StoreText(row, text);
    }
    if (ok)
        FDataSet.NoteRowChanged(row);
    return ok;
}

bool TEKMemField::Clear()
{
    const int row = CurrentRow();
    if (row < 0)
        return false;
    if (!IsNullAt(row)) {
        SetNull(row, true);
        FDataSet.NoteRowChanged(row);
    }
    return true;
}

std::size_t TEKMemField::MemoryUsed() const
{
    return FHasValue.capacity() * sizeof(std::uint64_t) + FInts.capacity() * sizeof(std::int32_t) +
           FNumbers.capacity() * sizeof(double) +
           (FTextStart.capacity() + FTextLength.capacity()) * sizeof(std::uint32_t) +
           FArena.capacity();
}

// --- TEKMemDataSet -------------------------------------------------------------

TEKMemDataSet::TEKMemDataSet() = default;

TEKMemDataSet::~TEKMemDataSet()
{
    FDisableCount = 0;
    Notify(ekdcDestroyed, 0, 0);
}

bool TEKMemDataSet::AddFieldDef(const std::string &name, TEKFieldType fieldType, int size,
                                bool required)
{
    if (FActive)
        return false;
    for (const auto &def : FFieldDefs)
        if (def.Name == name)
            return false;
    FFieldDefs.push_back(TEKFieldDef{name, fieldType, size, required});
    return true;
}

void TEKMemDataSet::ClearFieldDefs()
{
    FFieldDefs.clear();
}

bool TEKMemDataSet::CreateField(int defIndex)
{
    if (FActive || defIndex < 0 || defIndex >= static_cast<int>(FFieldDefs.size()))
        return false;
    const TEKFieldDef &def = FFieldDefs[static_cast<std::size_t>(defIndex)];
    if (def.FieldType == ekftUnknown || FindField(def.Name))
        return false;
    FFields.push_back(std::make_unique<TEKMemField>(*this, def, FieldCount()));
    NoteReset();
    return true;
}

void TEKMemDataSet::ClearFields()
{
    Close();
    if (FFields.empty())
        return;
    FFields.clear();
    ++FGeneration;
    NoteReset();
}

TEKMemField *TEKMemDataSet::FindField(std::string_view name) const
{
    for (const auto &field : FFields)
        if (field->Name() == name)
            return field.get();
    return nullptr;
}

bool TEKMemDataSet::Open()
{
    if (FActive)
        return true;
    if (FFields.empty()) {
        for (const auto &def : FFieldDefs)
            if (def.FieldType == ekftUnknown)
                return false;
        for (int i = 0; i < static_cast<int>(FFieldDefs.size()); ++i)
            if (!CreateField(i)) {
                FFields.clear();
                return false;
            }
    }
    FActive = true;
    FRowCount = 0;
    FPendingRow = false;
    FCurrent = -1;
    FEof = FBof = false;
    NoteReset();
    return true;
}

void TEKMemDataSet::Close()
{
    if (!FActive)
        return;
    for (auto &field : FFields)
        field->ClearRows();
    FActive = false;
    FRowCount = 0;
    FPendingRow = false;
    FCurrent = -1;
    FEof = FBof = false;
    ++FGeneration;
    NoteReset();
}

bool TEKMemDataSet::Append()
{
    if (!FActive || FRowCount == std::numeric_limits<int>::max())
        return false;
    CompletePending();
    for (auto &field : FFields)
        field->AppendNull();
    FCurrent = FRowCount++;
    FPendingRow = true;
    FEof = FBof = false;
    return true;
}

void TEKMemDataSet::Reserve(int rows)
{
    if (rows <= 0)
        return;
    const auto total = static_cast<std::size_t>(FRowCount) + static_cast<std::size_t>(rows);
    for (auto &field : FFields)
        field->Reserve(total);
}

void TEKMemDataSet::Post()
{
    CompletePending();
}

void TEKMemDataSet::Cancel()
{
    if (!FPendingRow)
        return;
    for (auto &field : FFields)
        field->PopBack();
    --FRowCount;
    FPendingRow = false;
    FCurrent = FRowCount - 1;
}

void TEKMemDataSet::CompletePending()
{
    if (!FPendingRow)
        return;
    FPendingRow = false;
    if (!ControlsDisabled() && FRowCount > FAnnouncedRows) {
        const int first = FAnnouncedRows;
        FAnnouncedRows = FRowCount;
        Notify(ekdcRowsAppended, first, FRowCount - first);
    }
}

void TEKMemDataSet::DoAfterScroll()
{
    if (AfterScroll)
        AfterScroll(*this);
}

void TEKMemDataSet::ScrollTo(int row)
{
    FCurrent = row;
    FEof = FBof = false;
    DoAfterScroll();
}

void TEKMemDataSet::First()
{
    CompletePending();
    FCurrent = FRowCount > 0 ? 0 : -1;
    FBof = true;
    FEof = false;
    DoAfterScroll();
}

void TEKMemDataSet::Last()
{
    // As with the toolkit's data sets, the last row counts as the end of data.
    CompletePending();
    FCurrent = FRowCount - 1;
    FEof = true;
    FBof = false;
    DoAfterScroll();
}

void TEKMemDataSet::Next()
{
    MoveBy(1);
}

void TEKMemDataSet::Prior()
{
    MoveBy(-1);
}

int TEKMemDataSet::MoveBy(int distance)
{
    CompletePending();
    if (distance == 0 || FRowCount == 0) {
        if (distance > 0)
            FEof = true;
        else if (distance < 0)
            FBof = true;
        DoAfterScroll();
        return 0;
    }
    const long long target = static_cast<long long>(FCurrent) + distance;
    int moved = 0;
    if (target >= FRowCount) {
        moved = FRowCount - 1 - FCurrent;
        FCurrent = FRowCount - 1;
        FEof = true;
        FBof = false;
    } else if (target < 0) {
        moved = -FCurrent;
        FCurrent = 0;
        FBof = true;
        FEof = false;
    } else {
        moved = distance;
        FCurrent = static_cast<int>(target);
        FEof = FBof = false;
    }
    DoAfterScroll();
    return moved;
}

TEKBookmark TEKMemDataSet::GetBookmark() const
{
    return TEKBookmark{FCurrent, FGeneration};
}

bool TEKMemDataSet::BookmarkValid(const TEKBookmark &bookmark) const
{
    return FActive && bookmark.Generation == FGeneration && bookmark.Row >= 0 &&
           bookmark.Row < FRowCount;
}

bool TEKMemDataSet::GotoBookmark(const TEKBookmark &bookmark)
{
    if (!BookmarkValid(bookmark))
        return false;
    CompletePending();
    ScrollTo(bookmark.Row);
    return true;
}

template <class Match> bool TEKMemDataSet::LocateBy(std::string_view fieldName, Match match)
{
    const TEKMemField *field = FindField(fieldName);
    if (!field || !FActive)
        return false;
    for (int row = 0; row < FRowCount; ++row)
        if (!field->IsNullAt(row) && match(*field, row)) {
            CompletePending();
            ScrollTo(row);
            return true;
        }
    return false;
}

bool TEKMemDataSet::Locate(std::string_view fieldName, long long value)
{
    const std::string text = std::to_string(value);
    return LocateBy(fieldName, [&](const TEKMemField &field, int row) {
        switch (field.FieldType()) {
        case ekftString:
            return field.TextAt(row) == text;
        case ekftInteger:
            return field.IntegerAt(row) == value;
        default:
            return field.FloatAt(row) == static_cast<double>(value);
        }
    });
}

bool TEKMemDataSet::Locate(std::string_view fieldName, std::string_view value)
{
    return LocateBy(fieldName, [&](const TEKMemField &field, int row) {
        if (field.FieldType() == ekftString)
            return field.TextAt(row) == value;
        return field.AsStringAt(row) == value;
    });
}

void TEKMemDataSet::DisableControls()
{
    ++FDisableCount;
}

void TEKMemDataSet::EnableControls()
{
    if (FDisableCount == 0)
        return;
    if (--FDisableCount == 0)
        FlushNotices();
}

int TEKMemDataSet::AddListener(TEKDataSetListener listener)
{
    const int id = FNextListenerId++;
    FListeners.push_back(Listener{id, std::move(listener)});
    return id;
}

void TEKMemDataSet::RemoveListener(int id)
{
    // Only blanked here: a listener may remove itself while being called.
    for (auto &listener : FListeners)
        if (listener.Id == id)
            listener.Call = nullptr;
}

void TEKMemDataSet::Notify(TEKDataSetChange change, int firstRow, int count)
{
    const TEKDataSetNotice notice{change, firstRow, count};
    // By index and on a copy of each handler: a listener may add or remove
    // listeners while being called.
    ++FNotifyDepth;
    for (std::size_t i = 0; i < FListeners.size(); ++i) {
        auto call = FListeners[i].Call;
        if (call)
            call(notice);
    }
    if (--FNotifyDepth == 0)
        std::erase_if(FListeners, [](const Listener &l) { return !l.Call; });
}

void TEKMemDataSet::NoteReset()
{
    FChangedFirst = FChangedLast = -1;
    const int completed = FRowCount - (FPendingRow ? 1 : 0);
    if (ControlsDisabled()) {
        FResetPending = true;
        return;
    }
    FResetPending = false;
    FAnnouncedRows = completed;
    Notify(ekdcReset, 0, 0);
}

void TEKMemDataSet::NoteRowChanged(int row)
{
    if (row >= FAnnouncedRows || FResetPending)
        return;
    if (!ControlsDisabled()) {
        Notify(ekdcRowsChanged, row, 1);
        return;
    }
    if (FChangedFirst < 0 || row < FChangedFirst)
        FChangedFirst = row;
    if (row > FChangedLast)
        FChangedLast = row;
}

void TEKMemDataSet::NoteAllChanged()
{
    if (FAnnouncedRows == 0 || FResetPending)
        return;
    if (!ControlsDisabled()) {
        Notify(ekdcRowsChanged, 0, FAnnouncedRows);
        return;
    }
    FChangedFirst = 0;
    FChangedLast = std::max(FChangedLast, FAnnouncedRows - 1);
}

void TEKMemDataSet::FlushNotices()
{
    if (FResetPending) {
        NoteReset();
        return;
    }
    if (FChangedFirst >= 0) {
        const int first = FChangedFirst;
        const int count = FChangedLast - FChangedFirst + 1;
        FChangedFirst = FChangedLast = -1;
        Notify(ekdcRowsChanged, first, count);
    }
    const int completed = FRowCount - (FPendingRow ? 1 : 0);
    if (completed > FAnnouncedRows) {
        const int first = FAnnouncedRows;
        FAnnouncedRows = completed;
        Notify(ekdcRowsAppended, first, completed - first);
    }
}

std::size_t TEKMemDataSet::MemoryUsed() const
{
    std::size_t bytes = 0;
    for (const auto &field : FFields)
        bytes += field->MemoryUsed();
    return bytes;
}
