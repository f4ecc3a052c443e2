#include "EKRes.h"

#include "EKPSetting.h"
#include "EKWin1250.h"

#include <algorithm>

namespace {

TEKGetStrFunc gTextFunc = nullptr;

bool SameText(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

} // namespace

TEKLocRegistry::~TEKLocRegistry()
{
    Clear();
}

void TEKLocRegistry::Clear()
{
    for (const TEKLocRecord &r : FRecords)
        if (gTextFunc == r.GetStr)
            gTextFunc = nullptr;
    FRecords.clear();
}

bool TEKLocRegistry::LoadLocaleLibrary(const std::string &baseName, const std::string &extension,
                                       TEKGetStrFunc &func)
{
    func = nullptr;
    for (const TEKLocRecord &r : FRecords) {
        if (SameText(r.Name, baseName)) {
            func = r.GetStr;
            return true;
        }
    }
    auto library = std::make_unique<TEKLibrary>();
    if (!library->Load(ExeFolder() + baseName + "." + extension))
        return false;
    auto getStr = reinterpret_cast<TEKGetStrFunc>(library->Symbol("GetStr"));
    if (!getStr)
        return false; // the library unloads with its object
    FRecords.push_back(TEKLocRecord{baseName, std::move(library), getStr});
    func = getStr;
    return true;
}

void SetClientTextFunc(TEKGetStrFunc func)
{
    gTextFunc = func;
}

TEKGetStrFunc ClientTextFunc()
{
    return gTextFunc;
}

std::string ClientText(int32_t id)
{
    if (gTextFunc) {
        unsigned char buffer[256] = {};
        if (gTextFunc(id, buffer, 255)) {
            // The length byte cannot exceed the buffer, whatever the library says.
            size_t n = buffer[0];
            return Win1250ToUtf8(std::string_view(reinterpret_cast<const char *>(buffer + 1),
                                                  std::min<size_t>(n, 255)));
        }
    }
    return id == 0 ? std::string() : "!" + std::to_string(id);
}
