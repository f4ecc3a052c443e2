// The XML reader on arbitrary bytes, then the writer on whatever was built.
// A successful read whose element names keep to the round-trip rule (no
// whitespace, "/" or ">": a name can start with ">" or a space only through a
// quirk of the reader) must survive a second round: the text written for it
// reads back into a tree that writes the same text.

#include "EKXML.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

bool NamesRoundTrip(const TEKXML &doc)
{
    std::vector<const TEKXMLElement *> todo{&doc};
    while (!todo.empty()) {
        const TEKXMLElement *e = todo.back();
        todo.pop_back();
        if (e->Name().find_first_of(" \t\r\n/>") != std::string::npos)
            return false;
        if (e->Elements())
            for (const TEKXMLElement *child : *e->Elements())
                todo.push_back(child);
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    TEKXML doc;
    int result = doc.LoadFromStream(reinterpret_cast<const char *>(data), size);
    std::string text = doc.GetDocumentText();
    std::string bytes = doc.GetDocumentBytes();
    if (result == 0 && NamesRoundTrip(doc)) {
        TEKXML again;
        if (again.LoadFromStream(bytes) != 0 || again.GetDocumentText() != text)
            __builtin_trap();
    }
    return 0;
}
