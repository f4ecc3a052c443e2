#include "EKTypes.h"

namespace {
constexpr std::string_view kNames[] = {"string",  "date",     "datetime", "time",
                                       "integer", "codelist", "file",     "recnumber",
                                       "bool",    "numeric",  "setclist"};
constexpr int kCount = static_cast<int>(std::size(kNames));
} // namespace

std::string DataTypeToName(int code)
{
    if (code < 1 || code > kCount)
        return "??";
    return std::string(kNames[code - 1]);
}

TEKDataType NameToDataType(std::string_view name)
{
    for (int i = 0; i < kCount; ++i)
        if (kNames[i] == name)
            return static_cast<TEKDataType>(i + 1);
    return ekdtUnknown;
}
