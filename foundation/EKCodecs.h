#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <ctime>
#include <string>
#include <string_view>

// Text forms of values on the wire, and the date-time arithmetic behind them.
// Every function here is locale-independent and free of shared state.

// Raised by the parsing functions for text that is not a valid value. Callers
// catch it at their operation boundary and turn it into a failure result.
class EConvertError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A date-time is a day count: whole days since 30 December 1899 plus the
// fraction of the day. A pure time has the day count 0. Before that day the
// day count is negative and the time of day still counts forward from
// midnight: -1.25 is 29 December 1899 06:00, so the day is the value truncated
// towards zero and the time of day its absolute fraction.
using TEKDateTime = double;

// Years 1 to 9999 are representable.
constexpr int kMinYear = 1;
constexpr int kMaxYear = 9999;

// --- Free text ----------------------------------------------------------------

// Empty stays empty; otherwise the text in one CDATA section, every "]]>" in it
// split across two adjacent sections so that no section ends early.
std::string ToCDATA(std::string_view text);
// Undoes ToCDATA: trims characters at or below the space, joins split
// sections and strips the outer markers. A text without markers comes back
// trimmed.
// The text without the characters at or below the space (32) at both ends.
std::string_view TrimText(std::string_view text);
std::string FromCDATA(std::string_view text);
// Replaces every occurrence of oldText by newText, left to right, without
// rescanning replaced parts. Without caseSensitive, letters compare without
// case (ASCII and the Latin letters of U+00C0..U+017F). An empty oldText
// changes nothing.
std::string ReplaceAllText(std::string_view text, std::string_view oldText,
                           std::string_view newText, bool caseSensitive);
// Removes and returns the part before the first separator (the separator goes
// too); without a separator, returns the whole text and empties it.
std::string CutFirstPart(std::string &text, char separator);

// --- Dates and times ----------------------------------------------------------

// Formats with a pattern in which yyyy is the 4-digit year, mm the month, dd
// the day, hh the hour (0..23), nn the minute, ss the second (all two digits)
// and zzz the milliseconds; every other character is copied. The value is
// first rounded to the millisecond, so 23:59:59.9996 writes as the next day.
std::string FormatDateValue(std::string_view pattern, TEKDateTime value);
// Reads the compact wire form: "yyyymmdd" (8 characters) or "yyyymmddhhnnss",
// where the date "00000000" means a pure time; characters after the 14th are
// not read. Throws EConvertError for a missing part, a part that is not
// digits, or an impossible date or time.
TEKDateTime CompactToDateTime(std::string_view text);
// Reads a date typed as "dd.mm.yyyy". One-digit days and months are accepted,
// and a one- or two-digit year is taken in the century window around the
// current year (50 years back, 49 ahead); surrounding spaces are ignored.
// Throws EConvertError for anything that is not a valid date.
TEKDateTime TextToDate(std::string_view text);
// The same day with seconds and milliseconds cut off.
TEKDateTime TruncToMinute(TEKDateTime value);
// The same day with minutes, seconds and milliseconds cut off.
TEKDateTime TruncToHour(TEKDateTime value);
// The same day at midnight.
TEKDateTime DateOnly(TEKDateTime value);

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
// The composing functions fail (false, or EConvertError) for a date outside
// years 1..9999 or a time outside 00:00:00.000..23:59:59.999.
bool TryEncodeDate(int year, int month, int day, TEKDateTime &result);
TEKDateTime EncodeDate(int year, int month, int day);
bool TryEncodeTime(int hour, int minute, int second, int msec, TEKDateTime &result);
TEKDateTime EncodeTime(int hour, int minute, int second, int msec = 0);
// Joins a date (its day count) and a time of day (its fraction) the way the
// day count convention above requires.
TEKDateTime ComposeDateTime(TEKDateTime date, TEKDateTime time);

// Parts of a date-time, rounded to the millisecond (a time that rounds to
// 24:00:00 carries into the next day). Values outside years 1..9999, and NaN,
// decode as the nearest representable day.
struct TEKDateTimeParts
{
    int Year = 1899;
    int Month = 12;
    int Day = 30;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int MSec = 0;
};
TEKDateTimeParts DecodeDateTime(TEKDateTime value);
void DecodeDate(TEKDateTime value, int &year, int &month, int &day);
void DecodeTime(TEKDateTime value, int &hour, int &minute, int &second, int &msec);
TEKDateTime EncodeDateTime(const TEKDateTimeParts &parts);

// The local date and time now, to the millisecond; Today is its date.
// A moment given in seconds since 1970 (and milliseconds), in local time; 0
// when the system cannot convert it. A leap second reads as the last second
// of its minute.
TEKDateTime UnixTimeToDateTime(std::time_t seconds, int msec = 0);
TEKDateTime Now();
TEKDateTime Today();

// --- Numbers, booleans, bytes, field names --------------------------------------

// Fixed-point text with exactly decimals digits after a "." (0 gives no point;
// clamped to 0..18), a "-" only for a value that is negative after rounding,
// no separators or padding. Halves round away from zero on the number's
// shortest decimal form, so 0.125 gives 0.13 and 1.005 gives 1.01. NaN and
// infinities write as "NAN", "INF" and "-INF".
std::string FloatToText(double value, int decimals);
// Reads optional leading spaces, an optional sign, digits with an optional "."
// and an optional exponent (E or e). Any text that does not read completely
// as such a number, or whose value is out of range, gives 0.
double TextToFloat(std::string_view text);
std::string BoolToText(bool value);
// True only for exactly "1".
bool TextToBool(std::string_view text);
// Two upper-case hexadecimal digits, high nibble first.
std::string ByteToHex(std::uint8_t byte);
std::string BytesToHex(const void *bytes, std::size_t count);
std::string BytesToHex(std::string_view bytes);
// "c" and the decimal id: the name of a field's data column and editor.
std::string FieldIdToName(int fieldId);
// The decimal number after the first character; throws EConvertError when
// that is not a number.
int FieldNameToId(std::string_view name);
// A strict decimal 32-bit integer: an optional sign and digits, nothing
// around them. Throws EConvertError otherwise.
int StrToInt(std::string_view text);
bool TryStrToInt(std::string_view text, int &value);
