#include "EKCodecs.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <ctime>
#include <system_error>

namespace {

constexpr std::int64_t kMSecsPerDay = 86400000;
// Day counts of 1 January 0001 and 31 December 9999.
constexpr std::int64_t kMinDay = -693593;
constexpr std::int64_t kMaxDay = 2958465;
// Day count of 1 January 1970 in our epoch.
constexpr std::int64_t kUnixEpochDay = 25569;

constexpr std::string_view kCDataOpen = "<![CDATA[";
constexpr std::string_view kCDataClose = "]]>";
constexpr std::string_view kCDataJoin = "]]><![CDATA[";

// Days since 1 January 1970 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, int &year, int &month, int &day)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

// A date-time as a day count and the milliseconds of that day. Rounding to
// the millisecond happens here, once, so that every decoder agrees: a time of
// day that rounds to 24:00:00 belongs to the next day.
struct Split
{
    std::int64_t Day = 0;
    std::int64_t MSec = 0;
};

Split SplitDateTime(TEKDateTime value)
{
    Split s;
    if (std::isnan(value))
        return s;
    if (value >= static_cast<double>(kMaxDay + 1))
        return {kMaxDay, kMSecsPerDay - 1};
    if (value <= static_cast<double>(kMinDay - 1))
        return {kMinDay, kMSecsPerDay - 1};
    const double day = std::trunc(value);
    s.Day = static_cast<std::int64_t>(day);
    s.MSec = std::llround(std::fabs(value - day) * static_cast<double>(kMSecsPerDay));
    if (s.MSec >= kMSecsPerDay) {
        s.MSec -= kMSecsPerDay;
        ++s.Day;
        if (s.Day > kMaxDay)
            return {kMaxDay, kMSecsPerDay - 1};
    }
    return s;
}

TEKDateTime Compose(std::int64_t day, std::int64_t msec)
{
    const double time = static_cast<double>(msec) / static_cast<double>(kMSecsPerDay);
    return day < 0 ? static_cast<double>(day) - time : static_cast<double>(day) + time;
}

// Digits only, at least one: the parts of the compact date form and of typed
// dates carry neither signs nor spaces.
bool ReadDigits(std::string_view text, int &value)
{
    if (text.empty() || text.size() > 9)
        return false;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    value = v;
    return true;
}

int CompactPart(std::string_view text, std::size_t pos, std::size_t len)
{
    int value = 0;
    if (!ReadDigits(text.substr(pos, len), value))
        throw EConvertError("'" + std::string(text) + "' is not a valid date and time");
    return value;
}

void AppendPadded(std::string &out, std::int64_t value, int width)
{
    char buf[24];
    auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, value);
    (void)ec;
    for (int n = static_cast<int>(ptr - buf); n < width; ++n)
        out.push_back('0');
    out.append(buf, ptr);
}

// Lower-case form of the letters that have one, keeping every byte count so
// that positions in the folded text are positions in the original.
char32_t FoldLatin(char32_t cp)
{
    if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7)
        return cp + 0x20;
    if ((cp >= 0x100 && cp <= 0x12F) || (cp >= 0x132 && cp <= 0x137) ||
        (cp >= 0x14A && cp <= 0x177))
        return cp | 1;
    if ((cp >= 0x139 && cp <= 0x148) || (cp >= 0x179 && cp <= 0x17E))
        return (cp & 1) ? cp + 1 : cp;
    if (cp == 0x178)
        return 0xFF;
    return cp;
}

std::string FoldCase(std::string_view text)
{
    std::string out(text);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto c = static_cast<unsigned char>(out[i]);
        if (c >= 'A' && c <= 'Z') {
            out[i] = static_cast<char>(c + 32);
        } else if ((c == 0xC3 || c == 0xC4 || c == 0xC5) && i + 1 < out.size() &&
                   (static_cast<unsigned char>(out[i + 1]) & 0xC0) == 0x80) {
            char32_t cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(out[i + 1]) & 0x3Fu);
            cp = FoldLatin(cp);
            out[i] = static_cast<char>(0xC0 | (cp >> 6));
            out[i + 1] = static_cast<char>(0x80 | (cp & 0x3F));
            ++i;
        }
    }
    return out;
}

// Adds one to a string of decimal digits.
void IncrementDigits(std::string &digits)
{
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return;
        }
        *it = '0';
    }
    digits.insert(digits.begin(), '1');
}

int CurrentYear()
{
    return DecodeDateTime(Now()).Year;
}

} // namespace

// --- Free text ----------------------------------------------------------------

std::string ToCDATA(std::string_view text)
{
    if (text.empty())
        return {};
    std::string out(kCDataOpen);
    out += ReplaceAllText(text, kCDataClose, "]]]]><![CDATA[>", true);
    out += kCDataClose;
    return out;
}

std::string_view TrimText(std::string_view text)
{
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ')
        --last;
    return text.substr(first, last - first);
}

std::string FromCDATA(std::string_view text)
{
    if (text.empty())
        return {};
    std::string s = ReplaceAllText(TrimText(text), kCDataJoin, "", true);
    // The markers must not overlap: "<![CDATA[>" is no section.
    if (s.size() >= kCDataOpen.size() + kCDataClose.size() && s.starts_with(kCDataOpen) &&
        s.ends_with(kCDataClose))
        return s.substr(kCDataOpen.size(), s.size() - kCDataOpen.size() - kCDataClose.size());
    return s;
}

std::string ReplaceAllText(std::string_view text, std::string_view oldText,
                           std::string_view newText, bool caseSensitive)
{
    if (oldText.empty())
        return std::string(text);
    std::string foldedText;
    std::string foldedOld;
    std::string_view hay = text;
    std::string_view needle = oldText;
    if (!caseSensitive) {
        foldedText = FoldCase(text);
        foldedOld = FoldCase(oldText);
        hay = foldedText;
        needle = foldedOld;
    }
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    for (;;) {
        const std::size_t hit = hay.find(needle, pos);
        if (hit == std::string_view::npos)
            break;
        out.append(text.substr(pos, hit - pos));
        out.append(newText);
        pos = hit + needle.size();
    }
    out.append(text.substr(pos));
    return out;
}

std::string CutFirstPart(std::string &text, char separator)
{
    const std::size_t p = text.find(separator);
    std::string part;
    if (p == std::string::npos) {
        part.swap(text);
    } else {
        part = text.substr(0, p);
        text.erase(0, p + 1);
    }
    return part;
}

// --- Dates and times ----------------------------------------------------------

bool IsLeapYear(int year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month)
{
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
}

bool TryEncodeDate(int year, int month, int day, TEKDateTime &result)
{
    if (year < kMinYear || year > kMaxYear || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month))
        return false;
    result = static_cast<double>(DaysFromCivil(year, month, day) + kUnixEpochDay);
    return true;
}

TEKDateTime EncodeDate(int year, int month, int day)
{
    TEKDateTime result = 0;
    if (!TryEncodeDate(year, month, day, result))
        throw EConvertError("Invalid argument to date encode");
    return result;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TEKDateTime &result)
{
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        msec < 0 || msec > 999)
        return false;
    const std::int64_t ms = ((hour * 60LL + minute) * 60 + second) * 1000 + msec;
    result = static_cast<double>(ms) / static_cast<double>(kMSecsPerDay);
    return true;
}

TEKDateTime EncodeTime(int hour, int minute, int second, int msec)
{
    TEKDateTime result = 0;
    if (!TryEncodeTime(hour, minute, second, msec, result))
        throw EConvertError("Invalid argument to time encode");
    return result;
}

TEKDateTime ComposeDateTime(TEKDateTime date, TEKDateTime time)
{
    const double day = std::trunc(date);
    const double t = std::fabs(time - std::trunc(time));
    return day < 0 ? day - t : day + t;
}

TEKDateTimeParts DecodeDateTime(TEKDateTime value)
{
    const Split s = SplitDateTime(value);
    TEKDateTimeParts p;
    CivilFromDays(s.Day - kUnixEpochDay, p.Year, p.Month, p.Day);
    p.Hour = static_cast<int>(s.MSec / 3600000);
    p.Minute = static_cast<int>(s.MSec / 60000 % 60);
    p.Second = static_cast<int>(s.MSec / 1000 % 60);
    p.MSec = static_cast<int>(s.MSec % 1000);
    return p;
}

void DecodeDate(TEKDateTime value, int &year, int &month, int &day)
{
    const TEKDateTimeParts p = DecodeDateTime(value);
    year = p.Year;
    month = p.Month;
    day = p.Day;
}

void DecodeTime(TEKDateTime value, int &hour, int &minute, int &second, int &msec)
{
    const TEKDateTimeParts p = DecodeDateTime(value);
    hour = p.Hour;
    minute = p.Minute;
    second = p.Second;
    msec = p.MSec;
}

TEKDateTime EncodeDateTime(const TEKDateTimeParts &parts)
{
    return ComposeDateTime(EncodeDate(parts.Year, parts.Month, parts.Day),
                           EncodeTime(parts.Hour, parts.Minute, parts.Second, parts.MSec));
}

TEKDateTime UnixTimeToDateTime(std::time_t seconds, int msec)
{
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr)
        return 0;
    TEKDateTimeParts p;
    p.Year = local.tm_year + 1900;
    p.Month = local.tm_mon + 1;
    p.Day = local.tm_mday;
    p.Hour = local.tm_hour;
    p.Minute = local.tm_min;
    p.Second = std::min(local.tm_sec, 59);
    p.MSec = std::clamp(msec, 0, 999);
    return EncodeDateTime(p);
}

TEKDateTime Now()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    return UnixTimeToDateTime(system_clock::to_time_t(now), static_cast<int>(ms));
}

TEKDateTime Today()
{
    return DateOnly(Now());
}

std::string FormatDateValue(std::string_view pattern, TEKDateTime value)
{
    const TEKDateTimeParts p = DecodeDateTime(value);
    std::string out;
    out.reserve(pattern.size() + 4);
    std::size_t i = 0;
    while (i < pattern.size()) {
        const std::string_view rest = pattern.substr(i);
        if (rest.starts_with("yyyy")) {
            AppendPadded(out, p.Year, 4);
            i += 4;
        } else if (rest.starts_with("zzz")) {
            AppendPadded(out, p.MSec, 3);
            i += 3;
        } else if (rest.starts_with("mm")) {
            AppendPadded(out, p.Month, 2);
            i += 2;
        } else if (rest.starts_with("dd")) {
            AppendPadded(out, p.Day, 2);
            i += 2;
        } else if (rest.starts_with("hh")) {
            AppendPadded(out, p.Hour, 2);
            i += 2;
        } else if (rest.starts_with("nn")) {
            AppendPadded(out, p.Minute, 2);
            i += 2;
        } else if (rest.starts_with("ss")) {
            AppendPadded(out, p.Second, 2);
            i += 2;
        } else {
            out.push_back(pattern[i]);
            ++i;
        }
    }
    return out;
}

TEKDateTime CompactToDateTime(std::string_view text)
{
    const auto fail = [&]() -> EConvertError {
        return EConvertError("'" + std::string(text) + "' is not a valid date and time");
    };
    TEKDateTime date = 0;
    if (text.size() == 8) {
        if (!TryEncodeDate(CompactPart(text, 0, 4), CompactPart(text, 4, 2),
                           CompactPart(text, 6, 2), date))
            throw fail();
        return date;
    }
    if (text.size() < 14)
        throw fail();
    if (text.substr(0, 8) != "00000000" &&
        !TryEncodeDate(CompactPart(text, 0, 4), CompactPart(text, 4, 2), CompactPart(text, 6, 2),
                       date))
        throw fail();
    TEKDateTime time = 0;
    if (!TryEncodeTime(CompactPart(text, 8, 2), CompactPart(text, 10, 2), CompactPart(text, 12, 2),
                       0, time))
        throw fail();
    return ComposeDateTime(date, time);
}

TEKDateTime TextToDate(std::string_view text)
{
    const auto fail = [&]() -> EConvertError {
        return EConvertError("'" + std::string(text) + "' is not a valid date");
    };
    std::string_view s = text;
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    const std::size_t p1 = s.find('.');
    const std::size_t p2 = p1 == std::string_view::npos ? p1 : s.find('.', p1 + 1);
    if (p2 == std::string_view::npos || s.find('.', p2 + 1) != std::string_view::npos)
        throw fail();
    const std::string_view ds = s.substr(0, p1);
    const std::string_view ms = s.substr(p1 + 1, p2 - p1 - 1);
    const std::string_view ys = s.substr(p2 + 1);
    int day = 0;
    int month = 0;
    int year = 0;
    if (ds.size() > 2 || ms.size() > 2 || ys.size() > 4 || !ReadDigits(ds, day) ||
        !ReadDigits(ms, month) || !ReadDigits(ys, year))
        throw fail();
    if (ys.size() <= 2) {
        const int base = CurrentYear() - 50;
        year += base / 100 * 100;
        if (year < base)
            year += 100;
    }
    TEKDateTime result = 0;
    if (!TryEncodeDate(year, month, day, result))
        throw fail();
    return result;
}

TEKDateTime TruncToMinute(TEKDateTime value)
{
    const Split s = SplitDateTime(value);
    return Compose(s.Day, s.MSec - s.MSec % 60000);
}

TEKDateTime TruncToHour(TEKDateTime value)
{
    const Split s = SplitDateTime(value);
    return Compose(s.Day, s.MSec - s.MSec % 3600000);
}

TEKDateTime DateOnly(TEKDateTime value)
{
    return Compose(SplitDateTime(value).Day, 0);
}

// --- Numbers, booleans, bytes, field names --------------------------------------

std::string FloatToText(double value, int decimals)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    decimals = std::clamp(decimals, 0, 18);

    // The shortest form that reads back as the same double, as digits and the
    // count of digits before the point. Rounding works on these digits, so a
    // number written as 1.005 rounds like 1.005 and not like the binary
    // 1.00499999999999989...
    char buf[64];
    const auto [end, ec] =
        std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific);
    (void)ec;
    const std::string_view sci(buf, static_cast<std::size_t>(end - buf));
    const std::size_t e = sci.find('e');
    std::string digits;
    for (char c : sci.substr(0, e))
        if (c != '.')
            digits.push_back(c);
    int exponent = 0;
    std::string_view exp = sci.substr(e + 1);
    if (!exp.empty() && exp.front() == '+')
        exp.remove_prefix(1);
    std::from_chars(exp.data(), exp.data() + exp.size(), exponent);
    const long long intDigits = exponent + 1;

    // Keep the digits down to the last decimal place, then round half away
    // from zero on the first digit dropped.
    const long long keep = intDigits + decimals;
    std::string kept;
    if (keep > 0) {
        kept = digits.substr(0, static_cast<std::size_t>(std::min<long long>(
                                    keep, static_cast<long long>(digits.size()))));
        kept.append(static_cast<std::size_t>(keep) - kept.size(), '0');
        if (static_cast<std::size_t>(keep) < digits.size() &&
            digits[static_cast<std::size_t>(keep)] >= '5')
            IncrementDigits(kept);
    } else if (keep == 0 && digits[0] >= '5') {
        kept = "1";
    }
    if (kept.size() < static_cast<std::size_t>(decimals) + 1)
        kept.insert(0, static_cast<std::size_t>(decimals) + 1 - kept.size(), '0');

    std::string intPart = kept.substr(0, kept.size() - static_cast<std::size_t>(decimals));
    const std::size_t nz = intPart.find_first_not_of('0');
    intPart = nz == std::string::npos ? "0" : intPart.substr(nz);
    const std::string fracPart = kept.substr(kept.size() - static_cast<std::size_t>(decimals));

    std::string out;
    const bool isZero = kept.find_first_not_of('0') == std::string::npos;
    if (std::signbit(value) && !isZero)
        out.push_back('-');
    out += intPart;
    if (decimals > 0) {
        out.push_back('.');
        out += fracPart;
    }
    return out;
}

double TextToFloat(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t start = i;
    // Check the form first: from_chars would also accept "inf", "nan" and
    // hexadecimal-looking input.
    std::size_t mantissaDigits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        ++i;
        ++mantissaDigits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            ++i;
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0)
        return 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        std::size_t expDigits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            ++i;
            ++expDigits;
        }
        if (expDigits == 0)
            return 0;
    }
    if (i != text.size())
        return 0;
    double value = 0;
    const auto [ptr, ec] = std::from_chars(text.data() + start, text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size())
        return 0;
    return negative ? -value : value;
}

std::string BoolToText(bool value)
{
    return value ? "1" : "0";
}

bool TextToBool(std::string_view text)
{
    return text == "1";
}

std::string ByteToHex(std::uint8_t byte)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    return {kHex[byte >> 4], kHex[byte & 0x0F]};
}

std::string BytesToHex(const void *bytes, std::size_t count)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    if (count == 0 || bytes == nullptr)
        return out;
    out.reserve(count * 2);
    const auto *p = static_cast<const unsigned char *>(bytes);
    for (std::size_t i = 0; i < count; ++i) {
        out.push_back(kHex[p[i] >> 4]);
        out.push_back(kHex[p[i] & 0x0F]);
    }
    return out;
}

std::string BytesToHex(std::string_view bytes)
{
    return BytesToHex(bytes.data(), bytes.size());
}

std::string FieldIdToName(int fieldId)
{
    return "c" + std::to_string(fieldId);
}

int FieldNameToId(std::string_view name)
{
    int id = 0;
    if (name.empty() || !TryStrToInt(name.substr(1), id))
        throw EConvertError("'" + std::string(name) + "' is not a field name");
    return id;
}

bool TryStrToInt(std::string_view text, int &value)
{
    const char *first = text.data();
    const char *last = text.data() + text.size();
    if (first != last && *first == '+') {
        ++first;
        // "+-5" is no number.
        if (first != last && *first == '-')
            return false;
    }
    if (first == last)
        return false;
    int v = 0;
    const auto [ptr, ec] = std::from_chars(first, last, v);
    if (ec != std::errc() || ptr != last)
        return false;
    value = v;
    return true;
}

int StrToInt(std::string_view text)
{
    int value = 0;
    if (!TryStrToInt(text, value))
        throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
    return value;
}
