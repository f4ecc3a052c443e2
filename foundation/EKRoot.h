#pragma once

// Root of the program's non-visual classes. It carries nothing; it exists so
// that every model object shares one base with a virtual destructor.
class TEKRootClass
{
public:
    TEKRootClass() = default;
    virtual ~TEKRootClass() = default;
    TEKRootClass(const TEKRootClass &) = delete;
    TEKRootClass &operator=(const TEKRootClass &) = delete;
};
