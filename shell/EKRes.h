#pragma once

#include "EKLibrary.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The text function of a client locale library ("GetStr"): writes the text of
// id as one length byte and up to capacity windows-1250 characters into
// buffer; false for an id without a text.
using TEKGetStrFunc = bool (*)(int id, unsigned char *buffer, int capacity);

// One loaded locale library.
struct TEKLocRecord
{
    std::string Name; // the base name it was loaded under
    std::unique_ptr<TEKLibrary> Library;
    TEKGetStrFunc GetStr = nullptr;
};

// The loaded locale libraries, keyed by base name. Releasing the registry
// unloads them and clears the current text function when it came from one of
// them, so that ClientText never calls into an unloaded library.
class TEKLocRegistry
{
public:
    TEKLocRegistry() = default;
    ~TEKLocRegistry();
    TEKLocRegistry(const TEKLocRegistry &) = delete;
    TEKLocRegistry &operator=(const TEKLocRegistry &) = delete;

    // func := the text function of ExeFolder() + baseName + "." + extension.
    // A base name loaded before (any letter case) gives its function again
    // without loading. False, with func empty, when the file cannot be loaded
    // or exports no "GetStr" (the library is unloaded again).
    bool LoadLocaleLibrary(const std::string &baseName, const std::string &extension,
                           TEKGetStrFunc &func);
    int Count() const { return static_cast<int>(FRecords.size()); }
    void Clear();

private:
    std::vector<TEKLocRecord> FRecords;
};

// The function ClientText calls; none at start. UI thread only.
void SetClientTextFunc(TEKGetStrFunc func);
TEKGetStrFunc ClientTextFunc();

// The localized text of a text id, as UTF-8. Without a text function, or for
// an id it has no text for: empty for 0, "!" and the id otherwise ("!8").
std::string ClientText(int32_t id);
