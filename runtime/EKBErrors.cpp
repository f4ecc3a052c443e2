#include "EKBErrors.h"

std::string ErrorCodeText(std::int32_t code)
{
    switch (code) {
    case ekbeNoHttpObject:
        return "no http object";
    case ekbeHttpException:
        return "http exception";
    case ekbeXMLRead:
        return "cannot read XML from stream";
    case ekbeInvalidSettings:
        return "invalid settings";
    case ekbeCommonCall:
        return "common call error";
    case ekbeRequestProcessing:
        return "request processing error";
    case ekbeFormDesc:
        return "cannot load form definition from XML";
    default:
        return "??";
    }
}

std::string FormatErrorCode(std::int32_t code)
{
    const std::string padded = "00000" + std::to_string(code);
    return "WEK." + padded.substr(padded.size() - 5) + ": " + ErrorCodeText(code);
}

void TEKBErrorStack::Push(std::int32_t code)
{
    if (code == 0)
        return;
    FItems.InsertObj(1, new TEKBErrStackItem(code));
}

std::int32_t TEKBErrorStack::CurrentError() const
{
    return FItems.Count() == 0 ? 0 : ErrorByOrd(1);
}

std::int32_t TEKBErrorStack::ErrorByOrd(int ord) const
{
    return static_cast<TEKBErrStackItem *>(FItems.GetObjByOrd(ord))->ErrorCode;
}

std::string TEKBErrorStack::ErrString() const
{
    std::string out;
    for (int ord = 1; ord <= FItems.Count(); ++ord) {
        if (ord > 1)
            out += "; ";
        out += FormatErrorCode(ErrorByOrd(ord));
    }
    return out;
}
