#pragma once

#include "EKBFormData.h"
#include "EKList.h"
#include "EKRoot.h"
#include "EKShortCut.h"

#include <cstdint>
#include <memory>
#include <string>

class TEKXMLElement;
class TEKActionList;

enum TEKActionCategory : std::uint8_t
{
    ekacNone = 0, // window commands added by the client
    ekacMain = 1,
    ekacSettings = 2,
    ekacRecord = 3,
};

// One action a form offers: a menu entry with an optional shortcut.
class TEKActionListItem : public TEKCollectionItem
{
public:
    int Id = 0; // sent back with "action"; negative ids are window commands
    int ActionType = 0;
    std::string PredQuestText; // confirmation asked first; empty for none
    std::string Name;
    std::string ShortCut; // shortcut text ("Ctrl+F4"); empty for none
    int Category = ekacNone;
    bool BrowseRequireRow = false;
    int SortPos = 0; // last key of CompareActions

    // Appends a copy with SortPos 0 to the target.
    TEKActionListItem *CopyAction(TEKActionList &target) const;
    // The modifiers of ShortCut; none when it is empty or not a shortcut.
    TEKShiftState GetShortCutShift() const;
    // The text after the first "+" of ShortCut, or all of it without a "+".
    std::string GetShortCutKeyName() const;
    // The shortcut bar's order (both items must be TEKActionListItem): keyed
    // actions first, among them function keys by number, then other keys by
    // character code of their names; keyless actions by descending SortPos.
    static TEKCompareResult CompareActions(TEKCollectionItem *item1, TEKCollectionItem *item2);
};

class TEKActionList : public TEKCollectionOf<TEKActionListItem>
{
};

// The actions of one form, from "re_formactions", plus the window commands
// its window adds.
class TEKFormActions : public TEKRootClass
{
public:
    TEKActionList Actions;
    int DefaultActionId = 0;

    // Reads a "re_formactions" answer. On false the actions read before the
    // failure stay; the form window keeps them.
    bool LoadFromXML(const TEKXMLElement *root);
    TEKActionListItem *AddAction(int category, int id, const std::string &shortCut,
                                 const std::string &name);
    // The first action with the id, or null.
    TEKActionListItem *GetActionById(int id) const;
    // The first action whose ShortCut text converts to the code, or null. The
    // code 0 (no shortcut) matches nothing.
    TEKActionListItem *GetActionByShortCut(TEKShortCut shortCut) const;
    TEKActionListItem *GetActionByKey(std::uint16_t key, TEKShiftState shift) const;
};

enum TEKPostActionType : std::uint8_t
{
    ekpaNone = 0,
    ekpaCloseForm = 1,
    ekpaShowMsg = 2,
    ekpaOpenForm = 3,
    ekpaRefreshData = 4,
    ekpaShowDoc = 5,
    ekpaSetFormData = 6,
    ekpaRepPreview = 7,
    ekpaRefreshMain = 8,
    ekpaFileToClient = 9,
};

// One step the client carries out after an action.
class TEKPostActionItem : public TEKCollectionItem
{
public:
    int PostActionType = ekpaNone;
    std::string Message;
    int FormId = 0;
    int EntityId = 0;
    int InstanceId = 0;
    int DocType = 0;
    int DocId = 0;
    std::unique_ptr<TEKFormData> FormData; // setformdata: owned
    std::string FileName;
};

// The post-actions of one "action" answer, carried out in list order.
class TEKPostActionList : public TEKCollectionOf<TEKPostActionItem>
{
public:
    TEKPostActionItem *AddActionCloseWin();
    TEKPostActionItem *AddActionShowMsg(const std::string &message);
    TEKPostActionItem *AddActionOpenForm(int formId, int entityId, int instanceId);
    TEKPostActionItem *AddActionRefreshData(int instanceId);
    TEKPostActionItem *AddActionShowDoc(int showDocId);
    // The item takes ownership of the values.
    TEKPostActionItem *AddActionSetFormData(std::unique_ptr<TEKFormData> formData);
    TEKPostActionItem *AddActionSetFormData_S(int fieldId, const std::string &text);
    TEKPostActionItem *AddActionSetFormData_C(int fieldId, int code);
    TEKPostActionItem *AddActionRepPreview(int dataId);
    TEKPostActionItem *AddActionRefreshMain();
    TEKPostActionItem *AddActionProcessFile(int docType, int docId, const std::string &fileName);

    // Appends the steps listed under a "postactions" element. On false the
    // steps read before the failure stay; the caller discards the list.
    bool LoadFromXML(const TEKXMLElement *element);
};
