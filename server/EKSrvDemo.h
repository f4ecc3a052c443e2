#pragma once

#include <string>
#include <utility>
#include <vector>

// The content of the demo module: its modules, forms, fields, actions and code
// lists, as plain data. The handler turns them into answers.

// Form ids of the demo. The module id is the form id of the module's main form.
enum TEKSrvFormId
{
    eksfDocument = 14, // the client's own document window
    eksfModule = 100,
    eksfRecord = 110,
    eksfItems = 120,
    eksfCategories = 130,
    eksfArchive = 200,
};

// Action ids. 18, 19 and 22 are fixed by the client: filter, sort, start.
enum TEKSrvActionId
{
    eksaFilter = 18,
    eksaSort = 19,
    eksaStart = 22,
    eksaOpenItems = 101,
    eksaOpenRecord = 102,
    eksaOpenCategories = 103,
    eksaModuleReport = 104,
    eksaReloadMenu = 105,
    eksaServerTime = 106,
    eksaFailing = 107,
    eksaSave = 111,
    eksaSaveClose = 112,
    eksaFillSample = 113,
    eksaCloseRecord = 114,
    eksaShowItem = 121,
    eksaNewItem = 122,
    eksaDeleteItem = 123,
    eksaItemsReport = 124,
    eksaExportItems = 125,
    eksaPreview = 126,
    eksaItemRecord = 127,
    eksaShowCategory = 131,
};

// Field ids of the record form.
enum TEKSrvRecordField
{
    eksrNumber = 1,
    eksrName = 2,
    eksrNotes = 3,
    eksrBirthDate = 4,
    eksrMeeting = 5,
    eksrLoggedAt = 6,
    eksrStartTime = 7,
    eksrQuantity = 8,
    eksrCountry = 9,
    eksrAttachment = 10,
    eksrAttachmentName = 11,
    eksrActive = 12,
    eksrPrice = 13,
    eksrTags = 14,
    eksrCreatedBy = 15,
    eksrRevision = 16,
};

// Field ids of the items browse; each names one column of the item table.
enum TEKSrvItemField
{
    eksiId = 1,
    eksiName = 2,
    eksiDay = 3,
    eksiChanged = 4,
    eksiQuantity = 5,
    eksiPrice = 6,
    eksiCategory = 7,
    eksiDocNo = 8,
    eksiActive = 9,
};

struct TEKSrvField
{
    int FieldId = 0;
    std::string Caption;
    std::string Type; // wire name of the data type
    int FieldLen = 0;
    bool ReadOnly = false;
    bool Required = false;
    bool QuickFilter = false;
    bool IsFileName = false;
    std::string CodeId;
    int CodeFilter = 0;
    int EdLength = 0;
    int EdStringLines = 0;
};

struct TEKSrvAction
{
    int Id = 0;
    std::string Category; // "main", "settings" or "record"
    std::string Name;
    std::string ShortCut;
    std::string PredQuestText;
    bool BrowseRequireRow = false;
};

struct TEKSrvForm
{
    int FormId = 0;
    int EntityId = 0;
    std::string Type; // "freeform", "browse", "module" or "showdoc"
    std::string Name;
    int DataGroupId = 0; // 0: the form has no fields
    int PkId = 0;
    std::vector<TEKSrvField> Fields;
    std::vector<TEKSrvAction> Actions;
    int DefaultActionId = 0;

    const TEKSrvField *Field(int fieldId) const;
};

struct TEKSrvModule
{
    int FormId = 0;
    std::string Name;
    bool Enabled = false;
    std::string Reason; // why a disabled module cannot be opened
};

struct TEKSrvCode
{
    int Code = 0;
    std::string Text;
};

const std::vector<TEKSrvModule> &DemoModules();
// The form with the id, or none.
const TEKSrvForm *DemoForm(int formId);
// The entries of a code list for the filter; false for an unknown code list.
// Filter 1 narrows the countries to those of the European Union.
bool DemoCodeList(const std::string &codeId, int filter, std::vector<TEKSrvCode> &out);
// The display text of a code, or the empty text.
std::string DemoCodeText(const std::string &codeId, int code);
