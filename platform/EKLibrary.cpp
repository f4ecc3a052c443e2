#include "EKLibrary.h"

#include <dlfcn.h>

TEKLibrary::~TEKLibrary()
{
    Unload();
}

bool TEKLibrary::Load(const std::string &path)
{
    Unload();
    FError.clear();
    if (path.find('/') == std::string::npos) {
        // dlopen would search the library path for a bare name.
        FError = "not a path: " + path;
        return false;
    }
    dlerror();
    FHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!FHandle) {
        const char *e = dlerror();
        FError = e ? e : "cannot load " + path;
        return false;
    }
    return true;
}

void TEKLibrary::Unload()
{
    if (FHandle)
        dlclose(FHandle);
    FHandle = nullptr;
}

void *TEKLibrary::Symbol(const char *name) const
{
    if (!FHandle || !name)
        return nullptr;
    dlerror();
    return dlsym(FHandle, name);
}
