#pragma once

#include "EKPTransport.h"
#include "EKRoot.h"

#include <cstdint>
#include <memory>
#include <string>

class IEKBackgroundCaller;
class TEKBFormDesc;
class TEKDefCodeList;
class TEKFormActions;
class TEKXML;

// Sends the small requests that fetch the building blocks of a form. Bound to
// a module window, its calls run in that window's background call; unbound,
// synchronously on the calling thread. Every operation releases its request
// and answer documents before it returns.
class TEKPCallContext : public TEKRootClass
{
public:
    explicit TEKPCallContext(IEKBackgroundCaller *moduleForm = nullptr) : FModuleForm(moduleForm) {}

    // The call primitive; the caller owns a response handed out, also on failure.
    TEKPCallRes CallXML(TEKXML &request, std::unique_ptr<TEKXML> &response);
    // "moduleopen": 0 when the module may be opened, -1 otherwise, with the
    // server's reason in message when it refused. Reports nothing.
    int OpenModule(int32_t moduleId, std::string &message);
    // "formdesc": the description, or none after a report to the user.
    std::unique_ptr<TEKBFormDesc> LoadFormDesc(int32_t moduleId, int32_t formId, int32_t entityId,
                                               int32_t instance);
    // "formactions": true when the actions loaded. After a failed call actions
    // is none; after a failed load it holds what was loaded.
    bool LoadFormActions(int32_t moduleId, int32_t formId, int32_t entityId, int32_t instance,
                         std::unique_ptr<TEKFormActions> &actions);
    // "codelistdef": the code list, or none (a failed call is reported).
    std::unique_ptr<TEKDefCodeList> LoadCodeListDef(int32_t moduleId, const std::string &codeId,
                                                    int32_t filter);

private:
    IEKBackgroundCaller *FModuleForm;
};

// True when the server allows the module to be opened; otherwise its reason.
bool CanOpenModule(int32_t moduleId, std::string &message);
std::unique_ptr<TEKDefCodeList> GetCodeListDef(int32_t moduleId, const std::string &codeId,
                                               int32_t filter);
