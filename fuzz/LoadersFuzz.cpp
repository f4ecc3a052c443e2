// Runs every protocol-model loader over one document read from the input,
// each on a fresh model object, and writes back what can be written.
#include "EKBActions.h"
#include "EKBDefCodelist.h"
#include "EKBFormData.h"
#include "EKBFormDesc.h"
#include "EKBModuleDef.h"
#include "EKBProfileManager.h"
#include "EKXML.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

// Loaders of nested elements are reached wherever such an element occurs.
void LoadNested(const TEKXMLElement &el)
{
    if (el.IsLeaf())
        return;
    for (const TEKXMLElement *child : *el.Elements()) {
        if (child->Name() == "postactions") {
            TEKPostActionList list;
            list.LoadFromXML(child);
        } else if (child->Name() == "formvalues") {
            TEKFormData data;
            if (data.LoadFromXML(child)) {
                TEKXML out;
                out.SetName("action");
                out.OpenLevel();
                data.WriteToXML(out);
                (void)out.GetDocumentText();
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    TEKXML doc;
    doc.LoadFromStream(reinterpret_cast<const char *>(data), size);
    // A failed read leaves a partial tree, which a loader must survive too.
    {
        TEKBFormDesc desc;
        if (desc.LoadFromXML(&doc) && desc.Container->DataGroup) {
            const TEKFormDataGroup &group = *desc.Container->DataGroup;
            (void)group.HasQuickFilter();
            (void)group.GetRecNumberFields();
            (void)group.GetSecondsFields();
            (void)group.GetItemByFieldId(group.PkId);
        }
    }
    {
        TEKFormActions actions;
        actions.LoadFromXML(&doc);
        TEKActionList copies;
        for (int i = 0; i < actions.Actions.Count(); ++i) {
            const TEKActionListItem *action = actions.Actions.Items(i);
            (void)action->GetShortCutShift();
            action->CopyAction(copies)->SortPos = i + 1;
            (void)actions.GetActionByShortCut(TextToShortCut(action->ShortCut));
        }
        copies.SortItems(TEKActionListItem::CompareActions);
    }
    {
        TEKPostActionList list;
        list.LoadFromXML(&doc);
        list.LoadFromXML(doc.FindElement("postactions"));
    }
    {
        TEKFormData values;
        values.LoadFromXML(&doc);
    }
    {
        TEKBProfileManager profile;
        profile.LoadFromXML(&doc);
        (void)profile.MakeRefreshRequest(true, false)->GetDocumentText();
    }
    {
        TEKDefCodeList codes;
        codes.LoadFromXML(&doc);
    }
    {
        std::unique_ptr<TEKModuleList> modules;
        LoadModuleList(&doc, modules);
    }
    LoadNested(doc);
    return 0;
}
