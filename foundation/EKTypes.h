#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Data type of a form field and of a form value. The codes travel in the
// server's descriptions by name; 0 stands for a name this client does not know.
enum TEKDataType : std::uint8_t
{
    ekdtUnknown = 0,
    ekdtString = 1,
    ekdtDate = 2,
    ekdtDateTime = 3,
    ekdtTime = 4,
    ekdtInteger = 5,
    ekdtCodeList = 6,
    ekdtFile = 7,      // chosen on the client; no value travels in form values
    ekdtRecNumber = 8, // held as text
    ekdtBool = 9,      // held as the text "1" or "0"
    ekdtNumeric = 10,
    ekdtSetCList = 11, // a set of code-list codes, held as text
};

// The wire name of a code; "??" for any code outside 1..11.
std::string DataTypeToName(int code);
// The code of a wire name, compared exactly (case-sensitive); ekdtUnknown for
// any other text.
TEKDataType NameToDataType(std::string_view name);
