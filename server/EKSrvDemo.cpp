#include "EKSrvDemo.h"

#include <map>

namespace {

TEKSrvField F(int id, const char *caption, const char *type, int len)
{
    TEKSrvField f;
    f.FieldId = id;
    f.Caption = caption;
    f.Type = type;
    f.FieldLen = len;
    return f;
}

TEKSrvField ReadOnly(TEKSrvField f)
{
    f.ReadOnly = true;
    return f;
}

TEKSrvField Required(TEKSrvField f)
{
    f.Required = true;
    return f;
}

TEKSrvField Quick(TEKSrvField f)
{
    f.QuickFilter = true;
    return f;
}

TEKSrvField Coded(TEKSrvField f, const char *codeId, int filter, int edLength)
{
    f.CodeId = codeId;
    f.CodeFilter = filter;
    f.EdLength = edLength;
    return f;
}

TEKSrvField Lines(TEKSrvField f, int lines)
{
    f.EdStringLines = lines;
    return f;
}

TEKSrvAction A(int id, const char *category, const char *name, const char *shortCut,
               const char *question = "", bool needsRow = false)
{
    return {id, category, name, shortCut, question, needsRow};
}

std::vector<TEKSrvForm> MakeForms()
{
    std::vector<TEKSrvForm> forms;

    TEKSrvForm module;
    module.FormId = eksfModule;
    module.Type = "module";
    module.Name = "WEK demo";
    module.Actions = {
        A(eksaOpenItems, "main", "Items", "F2"),
        A(eksaOpenRecord, "main", "All field types", "F3"),
        A(eksaOpenCategories, "main", "Categories", "F4"),
        A(eksaModuleReport, "main", "Server report", "F9"),
        A(eksaFailing, "main", "Failing action", "F12"),
        A(eksaReloadMenu, "settings", "Reload menu", "Ctrl+R"),
        A(eksaServerTime, "settings", "Server time", "Ctrl+T"),
    };
    forms.push_back(module);

    TEKSrvForm archive;
    archive.FormId = eksfArchive;
    archive.Type = "module";
    archive.Name = "Archive";
    forms.push_back(archive);

    TEKSrvForm record;
    record.FormId = eksfRecord;
    record.Type = "freeform";
    record.Name = "All field types";
    record.DataGroupId = 11;
    record.PkId = eksrNumber;
    record.Fields = {
        ReadOnly(F(eksrNumber, "Record number", "recnumber", 20)),
        Required(F(eksrName, "Name", "string", 40)),
        Lines(F(eksrNotes, "Notes", "string", 2000), 4),
        F(eksrBirthDate, "Birth date", "date", 8),
        F(eksrMeeting, "Meeting", "datetime", 14),
        Lines(F(eksrLoggedAt, "Logged at", "datetime", 14), 1),
        F(eksrStartTime, "Start time", "time", 14),
        Required(F(eksrQuantity, "Quantity", "integer", 9)),
        Coded(F(eksrCountry, "Country", "codelist", 10), "countries", 0, 180),
        F(eksrAttachment, "Attachment", "file", 255),
        F(eksrAttachmentName, "Attachment name", "string", 255),
        F(eksrActive, "Active", "bool", 1),
        F(eksrPrice, "Price", "numeric", 12),
        Coded(F(eksrTags, "Tags", "setclist", 100), "tags", 0, 0),
        ReadOnly(F(eksrCreatedBy, "Created by", "string", 40)),
        ReadOnly(F(eksrRevision, "Revision", "integer", 9)),
    };
    record.Fields[eksrAttachmentName - 1].IsFileName = true;
    record.Actions = {
        A(eksaSave, "record", "Save", "Ctrl+S"),
        A(eksaSaveClose, "record", "Save and close", "Ctrl+Enter"),
        A(eksaFillSample, "record", "Fill sample values", "Ctrl+L"),
        A(eksaCloseRecord, "record", "Close without saving", "Ctrl+Q",
          "Close the form without saving?"),
    };
    record.DefaultActionId = eksaSaveClose;
    forms.push_back(record);

    TEKSrvForm items;
    items.FormId = eksfItems;
    items.Type = "browse";
    items.Name = "Items";
    items.DataGroupId = 12;
    items.PkId = eksiId;
    items.Fields = {
        Quick(F(eksiId, "Id", "integer", 9)),
        Quick(F(eksiName, "Name", "string", 60)),
        Quick(F(eksiDay, "Date", "date", 8)),
        Quick(Lines(F(eksiChanged, "Changed", "datetime", 14), 1)),
        Quick(F(eksiQuantity, "Quantity", "integer", 9)),
        Quick(F(eksiPrice, "Price", "numeric", 12)),
        Quick(Coded(F(eksiCategory, "Category", "codelist", 20), "categories", 0, 0)),
        F(eksiDocNo, "Document", "recnumber", 20),
        F(eksiActive, "Active", "string", 3),
    };
    items.Actions = {
        A(eksaShowItem, "record", "Show item", "Ctrl+Enter", "", true),
        A(eksaNewItem, "record", "New item", "Ins"),
        A(eksaDeleteItem, "record", "Delete item", "Ctrl+D", "Delete the selected item?", true),
        A(eksaItemsReport, "record", "Report of the rows", "F5"),
        A(eksaExportItems, "record", "Export the rows", "Ctrl+E"),
        A(eksaPreview, "record", "Report preview", "Ctrl+P"),
        A(eksaItemRecord, "record", "Record form", "F6"),
    };
    items.DefaultActionId = eksaShowItem;
    forms.push_back(items);

    TEKSrvForm categories;
    categories.FormId = eksfCategories;
    categories.Type = "browse";
    categories.Name = "Categories";
    categories.DataGroupId = 13;
    categories.PkId = 1;
    categories.Fields = {F(1, "Code", "integer", 9), Quick(F(2, "Name", "string", 40))};
    categories.Actions = {
        A(eksaShowCategory, "record", "Show category", "Ctrl+Enter", "", true),
    };
    categories.DefaultActionId = eksaShowCategory;
    forms.push_back(categories);

    TEKSrvForm document;
    document.FormId = eksfDocument;
    document.Type = "showdoc";
    document.Name = "Document";
    forms.push_back(document);
    return forms;
}

const std::map<std::string, std::vector<TEKSrvCode>> &CodeLists()
{
    static const std::map<std::string, std::vector<TEKSrvCode>> lists = {
        {"countries",
         {{1, "Česká republika"},
          {2, "Slovensko"},
          {3, "Polska"},
          {4, "Magyarország"},
          {5, "Österreich"},
          {6, "Deutschland"},
          {7, "Schweiz"},
          {8, "Norge"}}},
        {"categories",
         {{1, "Nářadí"}, {2, "Stroje"}, {3, "Materiál"}, {4, "Služby"}, {5, "Ostatní"}}},
        {"tags", {{1, "urgent"}, {2, "reviewed"}, {3, "export"}, {4, "archive"}}},
    };
    return lists;
}

} // namespace

const TEKSrvField *TEKSrvForm::Field(int fieldId) const
{
    for (const auto &f : Fields)
        if (f.FieldId == fieldId)
            return &f;
    return nullptr;
}

const std::vector<TEKSrvModule> &DemoModules()
{
    static const std::vector<TEKSrvModule> modules = {
        {eksfModule, "WEK demo", true, ""},
        {eksfArchive, "Archive", false, "the archive is closed for maintenance"},
    };
    return modules;
}

const TEKSrvForm *DemoForm(int formId)
{
    static const std::vector<TEKSrvForm> forms = MakeForms();
    for (const auto &f : forms)
        if (f.FormId == formId)
            return &f;
    return nullptr;
}

bool DemoCodeList(const std::string &codeId, int filter, std::vector<TEKSrvCode> &out)
{
    out.clear();
    const auto it = CodeLists().find(codeId);
    if (it == CodeLists().end())
        return false;
    for (const auto &c : it->second) {
        // The first six countries are the members of the European Union.
        if (codeId == "countries" && filter == 1 && c.Code > 6)
            continue;
        out.push_back(c);
    }
    return true;
}

std::string DemoCodeText(const std::string &codeId, int code)
{
    const auto it = CodeLists().find(codeId);
    if (it != CodeLists().end())
        for (const auto &c : it->second)
            if (c.Code == code)
                return c.Text;
    return {};
}
