#pragma once

#include "EKList.h"

#include <memory>
#include <string>

class TEKXMLElement;

class TEKModuleDefItem : public TEKCollectionItem
{
public:
    int FormId = 0; // the module's main form; also the module id
    std::string Name;
};

using TEKModuleList = TEKCollectionOf<TEKModuleDefItem>;

// Builds the module list from a "re_modules" answer root. On failure the
// result is null: a list that lacks modules is never handed out.
bool LoadModuleList(const TEKXMLElement *root, std::unique_ptr<TEKModuleList> &result);
