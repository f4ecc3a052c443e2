#pragma once

#include <string>

// A shared library loaded by path, unloaded when the object goes.
class TEKLibrary
{
public:
    TEKLibrary() = default;
    ~TEKLibrary();
    TEKLibrary(const TEKLibrary &) = delete;
    TEKLibrary &operator=(const TEKLibrary &) = delete;

    // Loads the file at path (no search path is used); false, with the reason
    // in LastError(), when it cannot be loaded. Unloads what was loaded before.
    bool Load(const std::string &path);
    void Unload();
    bool Loaded() const { return FHandle != nullptr; }
    // Address of the exported symbol, or nullptr when it is missing.
    void *Symbol(const char *name) const;
    const std::string &LastError() const { return FError; }

private:
    void *FHandle = nullptr;
    std::string FError;
};
