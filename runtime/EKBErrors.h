#pragma once

#include "EKList.h"
#include "EKRoot.h"

#include <cstdint>
#include <string>

// Client-side error codes. 0 is no error; a code from the server's "error"
// answer is shown with the server's own text and never formatted here.
enum TEKBErrorCode : std::int32_t
{
    ekbeNone = 0,
    ekbeNoHttpObject = 1,      // a call finds no HTTP client
    ekbeHttpException = 2,     // the HTTP exchange failed
    ekbeXMLRead = 3,           // an answer is not well-formed XML
    ekbeInvalidSettings = 4,   // the settings give no usable server address
    ekbeCommonCall = 5,        // set when a call starts; stays when the call raised
    ekbeRequestProcessing = 6, // never raised by the client
    ekbeFormDesc = 7,          // a "formdesc" answer cannot be loaded
    ekbeFormAction = 8,        // a command id matches no action of the form
    ekbeOpenForm = 9,          // a form window's description did not load
    ekbeFormKind = 10,         // data loading meets a form of an unexpected kind
    ekbeActionKind = 11,       // an action other than a server action is started
    ekbePostActions = 12,      // the post-actions of an answer cannot be read
    ekbeLoadFormData = 13,     // a failure while loading a form's data
};

// The fixed text of a code: the texts of 1..7, "??" for every other code.
// The program manager's ErrorText answers with this table.
std::string ErrorCodeText(std::int32_t code);
// "WEK.", the last five characters of the code in decimal behind "00000",
// ": " and the code's text: "WEK.00007: cannot load form definition from XML",
// "WEK.000-5: ??". Never fails; safe on any thread.
std::string FormatErrorCode(std::int32_t code);

class TEKBErrStackItem : public TEKRootClass
{
public:
    explicit TEKBErrStackItem(std::int32_t errorCode) : ErrorCode(errorCode) {}
    std::int32_t ErrorCode = 0;
};

// The codes of the failures one multi-step operation met, the most recent
// first. Created by the caller, filled by the operation, read once.
class TEKBErrorStack : public TEKRootClass
{
public:
    // A code of 0 is ignored; any other becomes the new front entry.
    void Push(std::int32_t code);
    // The most recent code, 0 for an empty stack.
    std::int32_t CurrentError() const;
    // The formatted texts of all entries, most recent first, joined by "; ".
    std::string ErrString() const;
    int Count() const { return FItems.Count(); }
    // The code at a 1-based ordinal, 1 being the most recent; EListError
    // outside 1..Count.
    std::int32_t ErrorByOrd(int ord) const;
    void Clear() { FItems.Clear(); }

private:
    TEKObjCollection FItems;
};
