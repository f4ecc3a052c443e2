#include "EKPCall.h"

#include "EKBActions.h"
#include "EKBDefCodelist.h"
#include "EKBErrors.h"
#include "EKBFormDesc.h"
#include "EKCCallThread.h"
#include "EKCLog.h"
#include "EKXML.h"

#include <exception>
#include <initializer_list>
#include <utility>

namespace {

// A request whose root names it, with one text child per parameter, in order.
std::unique_ptr<TEKXML>
BuildRequest(std::string_view root,
             std::initializer_list<std::pair<std::string_view, std::string>> params)
{
    auto request = std::make_unique<TEKXML>();
    request->SetName(root);
    if (params.size() > 0) {
        request->OpenLevel();
        for (const auto &[name, value] : params)
            request->AddTextElement(name, value);
        request->CloseLevel();
    }
    return request;
}

std::unique_ptr<TEKXML> FormRequest(std::string_view root, int32_t moduleId, int32_t formId,
                                    int32_t entityId, int32_t instance)
{
    return BuildRequest(root, {{"moduleid", std::to_string(moduleId)},
                               {"formid", std::to_string(formId)},
                               {"entityid", std::to_string(entityId)},
                               {"instance", std::to_string(instance)}});
}

void LogFailure(const char *source, const std::exception *e)
{
    WriteLog(9, source, e ? e->what() : "unknown failure");
}

} // namespace

TEKPCallRes TEKPCallContext::CallXML(TEKXML &request, std::unique_ptr<TEKXML> &response)
{
    if (FModuleForm)
        return FModuleForm->BackgroundCallXML(request, response);
    return GetSrvXML(request, response);
}

int TEKPCallContext::OpenModule(int32_t moduleId, std::string &message)
{
    message.clear();
    try {
        auto request = BuildRequest("moduleopen", {{"moduleid", std::to_string(moduleId)}});
        std::unique_ptr<TEKXML> response;
        if (CallXML(*request, response) != ekpcrOK || !response ||
            response->Name() != "re_moduleopen")
            return -1;
        if (response->GetAttribute("enabled") == "1")
            return 0;
        message = response->GetAttribute("message");
    } catch (const std::exception &e) {
        LogFailure("EKPOpenModule", &e);
        message.clear();
    } catch (...) {
        LogFailure("EKPOpenModule", nullptr);
        message.clear();
    }
    return -1;
}

std::unique_ptr<TEKBFormDesc> TEKPCallContext::LoadFormDesc(int32_t moduleId, int32_t formId,
                                                            int32_t entityId, int32_t instance)
{
    try {
        auto request = FormRequest("formdesc", moduleId, formId, entityId, instance);
        std::unique_ptr<TEKXML> response;
        if (CallXML(*request, response) != ekpcrOK) {
            ReportCallError("Loading module form info");
            return nullptr;
        }
        auto desc = std::make_unique<TEKBFormDesc>();
        if (!response || !desc->LoadFromXML(response.get())) {
            const std::string text = FormatErrorCode(7);
            ShowError(text);
            WriteLog(9, "EKPLoadFormDesc", text);
            return nullptr;
        }
        return desc;
    } catch (const std::exception &e) {
        LogFailure("EKPLoadFormDesc", &e);
    } catch (...) {
        LogFailure("EKPLoadFormDesc", nullptr);
    }
    return nullptr;
}

bool TEKPCallContext::LoadFormActions(int32_t moduleId, int32_t formId, int32_t entityId,
                                      int32_t instance, std::unique_ptr<TEKFormActions> &actions)
{
    actions = std::make_unique<TEKFormActions>();
    try {
        auto request = FormRequest("formactions", moduleId, formId, entityId, instance);
        std::unique_ptr<TEKXML> response;
        if (CallXML(*request, response) != ekpcrOK) {
            actions.reset();
            return false;
        }
        return response && actions->LoadFromXML(response.get());
    } catch (const std::exception &e) {
        LogFailure("EKPLoadFormActions", &e);
    } catch (...) {
        LogFailure("EKPLoadFormActions", nullptr);
    }
    actions.reset();
    return false;
}

std::unique_ptr<TEKDefCodeList>
TEKPCallContext::LoadCodeListDef(int32_t moduleId, const std::string &codeId, int32_t filter)
{
    try {
        auto request = BuildRequest("codelistdef", {{"moduleid", std::to_string(moduleId)},
                                                    {"codeid", codeId},
                                                    {"filter", std::to_string(filter)}});
        std::unique_ptr<TEKXML> response;
        if (CallXML(*request, response) != ekpcrOK) {
            ReportCallError("Loading codelist definition");
            return nullptr;
        }
        auto list = std::make_unique<TEKDefCodeList>();
        if (!response || !list->LoadFromXML(response.get()))
            return nullptr;
        return list;
    } catch (const std::exception &e) {
        LogFailure("EKPLoadCodeListDef", &e);
    } catch (...) {
        LogFailure("EKPLoadCodeListDef", nullptr);
    }
    return nullptr;
}

bool CanOpenModule(int32_t moduleId, std::string &message)
{
    TEKPCallContext context;
    return context.OpenModule(moduleId, message) == 0;
}

std::unique_ptr<TEKDefCodeList> GetCodeListDef(int32_t moduleId, const std::string &codeId,
                                               int32_t filter)
{
    TEKPCallContext context;
    return context.LoadCodeListDef(moduleId, codeId, filter);
}
