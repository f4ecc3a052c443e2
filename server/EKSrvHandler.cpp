#include "EKSrvHandler.h"

#include "EKCodecs.h"
#include "EKSrvDemo.h"
#include "EKVersion.h"
#include "EKWin1250.h"
#include "EKXML.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <random>
#include <stdexcept>
#include <vector>

// A request that cannot be served: becomes an "error" answer.
class TEKSrvHandler::Failure : public std::runtime_error
{
public:
    Failure(int code, const std::string &text) : std::runtime_error(text), Code(code) {}
    int Code;
};

namespace {

// Texts written without CDATA (captions, messages, error texts, attribute
// values) must not contain markup: the client reads them verbatim.
std::string Plain(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '<':
            out += '(';
            break;
        case '>':
            out += ')';
            break;
        case '&':
            out += '+';
            break;
        case '"':
            out += '\'';
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string HtmlEscape(std::string_view text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string_view Trimmed(std::string_view t)
{
    while (!t.empty() && static_cast<unsigned char>(t.front()) <= ' ')
        t.remove_prefix(1);
    while (!t.empty() && static_cast<unsigned char>(t.back()) <= ' ')
        t.remove_suffix(1);
    return t;
}

size_t Utf8Length(std::string_view t)
{
    return static_cast<size_t>(std::count_if(
        t.begin(), t.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string NowCompact()
{
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char b[16];
    std::strftime(b, sizeof b, "%Y%m%d%H%M%S", &tm);
    return b;
}

std::string CompactToDisplay(const std::string &c)
{
    if (c.size() == 8)
        return c.substr(6, 2) + "." + c.substr(4, 2) + "." + c.substr(0, 4);
    if (c.size() == 14)
        return c.substr(6, 2) + "." + c.substr(4, 2) + "." + c.substr(0, 4) + " " + c.substr(8, 2) +
               ":" + c.substr(10, 2) + ":" + c.substr(12, 2);
    return c;
}

std::string RecNumberText(int64_t v)
{
    return std::to_string(v % 10000000000LL) + "/" + std::to_string((v / 10000000000LL) % 10000);
}

std::string RandomToken()
{
    static std::random_device rd;
    static const char *hex = "0123456789abcdef";
    std::string t;
    for (int i = 0; i < 32; ++i)
        t += hex[rd() % 16];
    return t;
}

// One form value as it came in: the text is verbatim (CDATA markers kept).
struct FormValue
{
    int Id = 0;
    std::string Type;
    std::string Text;
};

struct PostAction
{
    std::string Type;
    std::vector<std::pair<std::string, std::string>> Children;
    std::vector<FormValue> Values; // setformdata; texts already in wire form
};

PostAction Msg(const std::string &text)
{
    return {"showmsg", {{"message", Plain(text)}}, {}};
}

PostAction Refresh(int instance)
{
    return {"refreshdata", {{"instanceid", std::to_string(instance)}}, {}};
}

PostAction OpenForm(int formId, int instance)
{
    return {"openform",
            {{"instanceid", std::to_string(instance)},
             {"entityid", "0"},
             {"formid", std::to_string(formId)}},
            {}};
}

// A browse field id and the item table column it names.
bool ItemColumn(int formId, int fieldId, TEKSrvItemColumn &column)
{
    static const TEKSrvItemColumn items[] = {eksicId,       eksicName,     eksicDay,
                                             eksicChanged,  eksicQuantity, eksicPrice,
                                             eksicCategory, eksicDocNo,    eksicActive};
    if (formId == eksfItems && fieldId >= eksiId && fieldId <= eksiActive) {
        column = items[fieldId - 1];
        return true;
    }
    if (formId == eksfCategories && (fieldId == 1 || fieldId == 2)) {
        column = fieldId == 1 ? eksicId : eksicName;
        return true;
    }
    return false;
}

} // namespace

using SrvFailure = TEKSrvHandler::Failure;

namespace {

int ParseInt(std::string_view text, const std::string &what, int code)
{
    int v = 0;
    if (!TryStrToInt(Trimmed(text), v))
        throw TEKSrvHandler::Failure(code, "invalid number in " + what);
    return v;
}

int ChildInt(const TEKXMLElement &e, const char *name)
{
    const TEKXMLElement *c = e.FindElement(name);
    if (!c)
        throw SrvFailure(TEKSrvHandler::ekseMalformed,
                         "missing " + std::string(name) + " in " + e.Name());
    return ParseInt(c->Text(), name, TEKSrvHandler::ekseMalformed);
}

int AttrInt(const TEKXMLElement &e, const char *name)
{
    const TEKXMLAttribute *a = e.FindAttribute(name);
    if (!a)
        throw SrvFailure(TEKSrvHandler::ekseMalformed,
                         "missing attribute " + std::string(name) + " in " + e.Name());
    return ParseInt(a->Value(), name, TEKSrvHandler::ekseMalformed);
}

std::vector<FormValue> ReadFormValues(const TEKXMLElement *fv)
{
    if (!fv || fv->Name() != "formvalues")
        throw SrvFailure(TEKSrvHandler::ekseMalformed, "missing formvalues");
    std::vector<FormValue> out;
    if (fv->IsLeaf())
        return out;
    for (const TEKXMLElement *item : *fv->Elements()) {
        const TEKXMLAttribute *id = item->FindAttribute("id");
        if (!id)
            throw SrvFailure(TEKSrvHandler::ekseMalformed, "a form value without id");
        out.push_back({ParseInt(id->Value(), "a form value id", TEKSrvHandler::ekseMalformed),
                       item->GetAttribute("type"), std::string(item->Text())});
    }
    return out;
}

const FormValue *FindValue(const std::vector<FormValue> &values, int id)
{
    for (const auto &v : values)
        if (v.Id == id)
            return &v;
    return nullptr;
}

// The integer of a form value; the empty text is 0, as the client writes it.
int64_t ValueInt(const FormValue *v, const std::string &what)
{
    if (!v || Trimmed(v->Text).empty())
        return 0;
    return ParseInt(v->Text, what, TEKSrvHandler::ekseInvalidValue);
}

// Checks a compact date or date-time and gives it back in the form of its type.
std::string NormalDate(std::string_view text, bool withTime, const std::string &what)
{
    try {
        const TEKDateTime v = CompactToDateTime(Trimmed(text));
        return FormatDateValue(withTime ? "yyyymmddhhnnss" : "yyyymmdd", v);
    } catch (const EConvertError &) {
        throw SrvFailure(TEKSrvHandler::ekseInvalidValue, "invalid date in " + what);
    }
}

void WriteFormValues(TEKXML &doc, const std::vector<FormValue> &values)
{
    doc.AddElement("formvalues");
    doc.OpenLevel();
    for (const auto &v : values) {
        TEKXMLElement *e = doc.AddTextElement("item", v.Text);
        e->AddAttribute("id", std::to_string(v.Id));
        e->AddAttribute("type", v.Type);
    }
    doc.CloseLevel();
}

void WriteError(TEKXML &doc, int code, const std::string &text)
{
    doc.SetName("error");
    doc.OpenLevel();
    doc.AddTextElement("code", std::to_string(code));
    doc.AddTextElement("text", Plain(text));
    doc.CloseLevel();
}

const TEKSrvForm &RequireForm(int formId)
{
    const TEKSrvForm *f = DemoForm(formId);
    if (!f)
        throw SrvFailure(TEKSrvHandler::ekseUnknownForm, "unknown form " + std::to_string(formId));
    return *f;
}

} // namespace

TEKSrvHandler::TEKSrvHandler(TEKSrvStore &store) : FStore(store) {}

TEKSrvHandler::~TEKSrvHandler() = default;

std::string TEKSrvHandler::CookieValue(std::string_view header, std::string_view name)
{
    while (!header.empty()) {
        const size_t semi = header.find(';');
        std::string_view pair = Trimmed(header.substr(0, semi));
        header = semi == std::string_view::npos ? std::string_view() : header.substr(semi + 1);
        const size_t eq = pair.find('=');
        if (eq != std::string_view::npos && Trimmed(pair.substr(0, eq)) == name)
            return std::string(Trimmed(pair.substr(eq + 1)));
    }
    return {};
}

TEKSrvHandler::Session *TEKSrvHandler::FindSession(const std::string &token)
{
    const auto it = FSessions.find(token);
    if (it == FSessions.end())
        return nullptr;
    it->second.LastUsed = std::chrono::steady_clock::now();
    return &it->second;
}

TEKSrvReply TEKSrvHandler::HandleRequest(std::string_view body, std::string_view cookieHeader)
{
    std::lock_guard<std::mutex> lock(FMutex);
    TEKXML request;
    // A body without a root element reads as a document without a name.
    if (request.LoadFromStream(body) != 0 || request.Name().empty()) {
        TEKXML ans;
        WriteError(ans, ekseMalformed, "the request is not well-formed XML");
        return {ans.GetDocumentBytes(), "text/xml; charset=windows-1250", {}};
    }
    return Dispatch(request, CookieValue(cookieHeader, kSessionCookie));
}

TEKSrvReply TEKSrvHandler::Dispatch(const TEKXML &req, const std::string &token)
{
    TEKSrvReply reply;
    TEKXML ans;
    const std::string &name = req.Name();
    try {
        if (name == "clientinit") {
            ClientInit(req, ans);
        } else if (name == "serverinfo") {
            // Like the version check, harmless before a login: it is how a
            // user checks that a machine reaches the server at all.
            ServerInfo(ans);
        } else if (name == "login") {
            const std::string newToken = Login(req, ans);
            if (!newToken.empty()) {
                FSessions.erase(token);
                reply.SetCookie = std::string(kSessionCookie) + "=" + newToken + "; Path=/";
            }
        } else {
            Session *s = FindSession(token);
            if (!s)
                throw Failure(ekseNoSession, "no valid session: please log in");
            if (name == "refreshprofile")
                RefreshProfile(req, ans, *s);
            else if (name == "modules")
                Modules(ans);
            else if (name == "moduleopen")
                ModuleOpen(req, ans);
            else if (name == "formdesc")
                FormDesc(req, ans);
            else if (name == "formactions")
                FormActions(req, ans);
            else if (name == "codelistdef")
                CodeListDef(req, ans);
            else if (name == "noop")
                ans.SetName("re_noop");
            else if (name == "action")
                Action(req, ans, *s);
            else if (name == "formclose")
                FormClose(req, ans, *s);
            else if (name == "getdata")
                GetData(req, ans, *s);
            else if (name == "getdoc") {
                reply.Body = GetDoc(req, *s, reply.ContentType);
                return reply;
            } else if (name == "logout") {
                FSessions.erase(token);
                ans.SetName("re_logout");
            } else
                throw Failure(ekseUnknownRequest, "unknown request " + name);
        }
    } catch (const Failure &f) {
        TEKXML err;
        WriteError(err, f.Code, f.what());
        reply.Body = err.GetDocumentBytes();
        return reply;
    } catch (const std::exception &e) {
        TEKXML err;
        WriteError(err, ekseMalformed, std::string("cannot serve ") + name + ": " + e.what());
        reply.Body = err.GetDocumentBytes();
        return reply;
    }
    reply.Body = ans.GetDocumentBytes();
    return reply;
}

void TEKSrvHandler::ClientInit(const TEKXML &req, TEKXML &ans)
{
    ans.SetName("re_clientinit");
    const TEKXMLElement *v = req.FindElement("version");
    if (!v || v->Text() != WEK_CLIENT_VERSION) {
        ans.OpenLevel();
        ans.AddTextElement("versdiff", WEK_CLIENT_VERSION);
        ans.CloseLevel();
    }
}

namespace {

// Undoes the client's login encoding: "0:" and two hex digits per
// windows-1250 byte. False for anything else.
bool DecodeLoginValue(std::string_view text, std::string &utf8)
{
    if (text.substr(0, 2) != "0:" || text.size() % 2 != 0)
        return false;
    std::string bytes;
    auto nibble = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    for (size_t i = 2; i < text.size(); i += 2) {
        const int hi = nibble(text[i]), lo = nibble(text[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        bytes += static_cast<char>(hi * 16 + lo);
    }
    utf8 = Win1250ToUtf8(bytes);
    return true;
}

} // namespace

std::string TEKSrvHandler::Login(const TEKXML &req, TEKXML &ans)
{
    ans.SetName("re_login");
    ans.OpenLevel();
    const TEKXMLElement *u = req.FindElement("user");
    const TEKXMLElement *p = req.FindElement("password");
    std::string user, password;
    if (!u || !p || !DecodeLoginValue(u->Text(), user) || !DecodeLoginValue(p->Text(), password)) {
        ans.AddTextElement("error", "invalid login request");
        return {};
    }
    const std::optional<int> id = FStore.CheckUser(user, password);
    if (!id) {
        ans.AddTextElement("error", "wrong user name or password");
        return {};
    }
    const int64_t seq = FStore.NextSessionSeq();
    if (seq <= 0) {
        ans.AddTextElement("error", "the session cannot be recorded");
        return {};
    }
    // Sessions of clients that went away without a logout are dropped after
    // a long silence; a running client sends "noop" far more often.
    const auto now = std::chrono::steady_clock::now();
    for (auto it = FSessions.begin(); it != FSessions.end();)
        it = now - it->second.LastUsed > std::chrono::hours(12) ? FSessions.erase(it) : ++it;
    std::string token = RandomToken();
    Session &s = FSessions[token];
    s.LastUsed = now;
    s.UserId = *id;
    s.UserName = user;
    s.Seq = seq;
    ans.AddTextElement("sessionseq", std::to_string(seq));
    return token;
}

void TEKSrvHandler::RefreshProfile(const TEKXML &req, TEKXML &ans, Session &s)
{
    // Values come with the sending direction; read them all before storing
    // any, so a bad one changes nothing.
    if (!req.IsLeaf()) {
        std::vector<TEKSrvProfileValue> values;
        for (const TEKXMLElement *item : *req.Elements()) {
            const TEKXMLAttribute *t = item->FindAttribute("infotype");
            const TEKXMLAttribute *n = item->FindAttribute("name");
            if (!t || !n)
                throw Failure(ekseMalformed, "a profile value without infotype or name");
            values.push_back({ParseInt(t->Value(), "infotype", ekseMalformed),
                              std::string(n->Value()), std::string(item->Text())});
        }
        if (!FStore.SaveProfile(s.UserId, values))
            throw Failure(ekseStorage, "the profile cannot be stored");
    }
    ans.SetName("re_refreshprofile");
    if (req.GetAttribute("receive") != "1")
        return;
    ans.OpenLevel();
    for (const auto &v : FStore.LoadProfile(s.UserId)) {
        TEKXMLElement *e = ans.AddTextElement("item", v.Value);
        e->AddAttribute("name", v.Name);
        e->AddAttribute("infotype", std::to_string(v.InfoType));
    }
    ans.CloseLevel();
}

void TEKSrvHandler::Modules(TEKXML &ans)
{
    ans.SetName("re_modules");
    ans.OpenLevel();
    for (const auto &m : DemoModules()) {
        ans.AddElement("module");
        ans.OpenLevel();
        ans.AddTextElement("formid", std::to_string(m.FormId));
        ans.AddTextElement("name", m.Name);
        ans.CloseLevel();
    }
    ans.CloseLevel();
}

void TEKSrvHandler::ModuleOpen(const TEKXML &req, TEKXML &ans)
{
    const int id = ChildInt(req, "moduleid");
    ans.SetName("re_moduleopen");
    for (const auto &m : DemoModules()) {
        if (m.FormId == id) {
            ans.AddAttribute("enabled", m.Enabled ? "1" : "0");
            ans.AddAttribute("message", Plain(m.Reason));
            return;
        }
    }
    ans.AddAttribute("enabled", "0");
    ans.AddAttribute("message", "unknown module " + std::to_string(id));
}

void TEKSrvHandler::FormDesc(const TEKXML &req, TEKXML &ans)
{
    ChildInt(req, "moduleid");
    const TEKSrvForm &form = RequireForm(ChildInt(req, "formid"));
    const int entity = ChildInt(req, "entityid");
    ChildInt(req, "instance");
    ans.SetName("re_formdesc");
    ans.AddAttribute("formid", std::to_string(form.FormId));
    ans.AddAttribute("entityid", std::to_string(entity));
    ans.OpenLevel();
    ans.AddTextElement("type", form.Type);
    ans.AddTextElement("name", Plain(form.Name));
    if (form.DataGroupId != 0) {
        ans.AddElement("contents")->AddAttribute("type", "datagroup");
        ans.OpenLevel();
        ans.AddTextElement("id", std::to_string(form.DataGroupId));
        ans.AddTextElement("pkid", std::to_string(form.PkId));
        ans.AddElement("items");
        ans.OpenLevel();
        for (const auto &f : form.Fields) {
            TEKXMLElement *e = ans.AddElement("item");
            e->AddAttribute("caption", Plain(f.Caption));
            e->AddAttribute("fieldid", std::to_string(f.FieldId));
            e->AddAttribute("type", f.Type);
            e->AddAttribute("fieldlen", std::to_string(f.FieldLen));
            if (f.ReadOnly)
                e->AddAttribute("readonly", "1");
            if (f.Required)
                e->AddAttribute("required", "1");
            if (f.QuickFilter)
                e->AddAttribute("quickfilter", "1");
            if (f.IsFileName)
                e->AddAttribute("isfilename", "1");
            if (f.Type == "codelist" || f.Type == "setclist") {
                e->AddAttribute("codeid", f.CodeId);
                e->AddAttribute("codefilter", std::to_string(f.CodeFilter));
                if (f.EdLength > 0)
                    e->AddAttribute("edlength", std::to_string(f.EdLength));
            }
            if (f.EdStringLines > 0)
                e->AddAttribute("edstringlines", std::to_string(f.EdStringLines));
        }
        ans.CloseLevel();
        ans.CloseLevel();
    }
    ans.CloseLevel();
}

void TEKSrvHandler::FormActions(const TEKXML &req, TEKXML &ans)
{
    ChildInt(req, "moduleid");
    const TEKSrvForm &form = RequireForm(ChildInt(req, "formid"));
    ChildInt(req, "entityid");
    ChildInt(req, "instance");
    ans.SetName("re_formactions");
    ans.AddAttribute("defaultactionid", std::to_string(form.DefaultActionId));
    ans.OpenLevel();
    ans.AddElement("actionlist");
    ans.OpenLevel();
    for (const auto &a : form.Actions) {
        ans.AddElement("action")->AddAttribute("id", std::to_string(a.Id));
        ans.OpenLevel();
        ans.AddTextElement("actiontype", "callaction");
        ans.AddTextElement("category", a.Category);
        ans.AddTextElement("name", Plain(a.Name));
        ans.AddTextElement("shortcut", a.ShortCut);
        ans.AddTextElement("predquesttext", Plain(a.PredQuestText));
        ans.AddTextElement("browserequirerow", a.BrowseRequireRow ? "1" : "0");
        ans.CloseLevel();
    }
    ans.CloseLevel();
    ans.CloseLevel();
}

void TEKSrvHandler::CodeListDef(const TEKXML &req, TEKXML &ans)
{
    ChildInt(req, "moduleid");
    const TEKXMLElement *code = req.FindElement("codeid");
    if (!code)
        throw Failure(ekseMalformed, "missing codeid in codelistdef");
    const int filter = ChildInt(req, "filter");
    const std::string codeId(code->Text());
    std::vector<TEKSrvCode> codes;
    if (!DemoCodeList(codeId, filter, codes))
        throw Failure(ekseUnknownForm, "unknown code list " + codeId);
    ans.SetName("re_codelistdef");
    ans.OpenLevel();
    ans.AddElement("data");
    ans.OpenLevel();
    for (const auto &c : codes)
        ans.AddTextElement("item", Plain(c.Text))->AddAttribute("code", std::to_string(c.Code));
    ans.CloseLevel();
    ans.CloseLevel();
}

void TEKSrvHandler::ServerInfo(TEKXML &ans)
{
    std::string file = FStore.Path();
    const size_t slash = file.find_last_of('/');
    if (slash != std::string::npos)
        file.erase(0, slash + 1);
    ans.SetName("re_serverinfo");
    ans.OpenLevel();
    ans.AddTextElement("version", WEK_CLIENT_VERSION);
    ans.AddTextElement("dbinfo_ident", "SQLite");
    ans.AddTextElement("dbinfo_version", TEKSrvStore::EngineVersion());
    ans.AddTextElement("dbinfo_modif", Plain(file));
    ans.CloseLevel();
}

void TEKSrvHandler::FormClose(const TEKXML &req, TEKXML &ans, Session &s)
{
    ChildInt(req, "moduleid");
    const int formId = ChildInt(req, "formid");
    const int instance = ChildInt(req, "forminstance");
    s.Instances.erase({formId, instance});
    ans.SetName("re_formclose");
}

namespace {

// The record form's values with their defaults, as wire texts by field id.
std::map<int, std::string> RecordDefaults()
{
    return {{eksrNumber, "20260000000001"},
            {eksrName, "Jan Novák"},
            {eksrNotes, "První řádek\nDruhý řádek"},
            {eksrBirthDate, "19800521"},
            {eksrMeeting, "20261211143000"},
            {eksrLoggedAt, "20261211143005"},
            {eksrStartTime, "18991230083000"},
            {eksrQuantity, "42"},
            {eksrCountry, "1"},
            {eksrAttachmentName, ""},
            {eksrActive, "1"},
            {eksrPrice, "1234.5000"},
            {eksrTags, "1,3"},
            {eksrRevision, "0"}};
}

} // namespace

void TEKSrvHandler::GetData(const TEKXML &req, TEKXML &ans, Session &s)
{
    AttrInt(req, "moduleid");
    const TEKSrvForm &form = RequireForm(AttrInt(req, "formid"));
    const int instance = AttrInt(req, "instance");
    const bool reload = req.GetAttribute("reload") == "1";
    ans.SetName("re_getdata");
    ans.OpenLevel();
    if (form.Type == "freeform") {
        std::map<int, std::string> values = RecordDefaults();
        for (auto &[id, v] : FStore.LoadRecord())
            values[id] = v;
        values[eksrCreatedBy] = s.UserName;
        std::vector<FormValue> out;
        for (const auto &f : form.Fields) {
            const std::string &v = values[f.FieldId];
            out.push_back({f.FieldId, f.Type, f.Type == "string" ? ToCDATA(v) : v});
        }
        WriteFormValues(ans, out);
        ans.CloseLevel();
        return;
    }
    if (form.Type != "browse")
        throw Failure(ekseUnknownForm, "form " + std::to_string(form.FormId) + " holds no data");

    Instance &inst = s.Instances[{form.FormId, instance}];
    if (reload)
        inst.Offset = 0;
    ans.AddElement("xmlsetdef");
    ans.OpenLevel();
    for (const auto &f : form.Fields) {
        std::string type = "string";
        if (f.Type == "integer" || f.Type == "date" || f.Type == "datetime" ||
            f.Type == "numeric" || f.Type == "time")
            type = f.Type;
        ans.AddElement("col");
        ans.OpenLevel();
        ans.AddTextElement("name", FieldIdToName(f.FieldId));
        ans.AddTextElement("size", std::to_string(f.FieldLen));
        ans.AddTextElement("type", type);
        ans.CloseLevel();
    }
    ans.CloseLevel();
    ans.AddElement("xmlsetdata");
    ans.OpenLevel();
    auto cell = [&](int ord, const std::string &text) {
        if (!text.empty())
            ans.AddTextElement("f", text)->AddAttribute("fldord", std::to_string(ord));
    };
    if (form.FormId == eksfItems) {
        const auto rows = FStore.QueryItems(inst.Query, inst.Offset, kChunkRows);
        inst.Offset += static_cast<int64_t>(rows.size());
        for (const auto &r : rows) {
            ans.AddElement("r");
            ans.OpenLevel();
            cell(0, std::to_string(r.Id));
            cell(1, ToCDATA(r.Name));
            cell(2, r.Day);
            cell(3, r.Changed);
            cell(4, std::to_string(r.Quantity));
            cell(5, FloatToText(r.Price, 2));
            cell(6, ToCDATA(DemoCodeText("categories", r.Category)));
            cell(7, std::to_string(r.DocNo));
            cell(8, r.Active ? "yes" : "no");
            ans.CloseLevel();
        }
    } else {
        std::vector<TEKSrvCode> codes;
        DemoCodeList("categories", 0, codes);
        std::vector<TEKSrvCode> rows;
        for (const auto &c : codes) {
            bool keep = true;
            for (const auto &cond : inst.Query.Conditions) {
                if (cond.Column == eksicId)
                    keep = keep && c.Code == cond.Integer;
                else if (cond.Contains)
                    keep = keep && c.Text.find(cond.Text) != std::string::npos;
                else
                    keep = keep && c.Text == cond.Text;
            }
            if (keep)
                rows.push_back(c);
        }
        std::stable_sort(rows.begin(), rows.end(), [&](const TEKSrvCode &a, const TEKSrvCode &b) {
            const bool less =
                inst.Query.SortColumn == eksicName ? a.Text < b.Text : a.Code < b.Code;
            const bool greater =
                inst.Query.SortColumn == eksicName ? b.Text < a.Text : b.Code < a.Code;
            return inst.Query.Descending ? greater : less;
        });
        // The whole list fits in one chunk; a further request gets no rows.
        if (inst.Offset == 0)
            for (const auto &c : rows) {
                ans.AddElement("r");
                ans.OpenLevel();
                cell(0, std::to_string(c.Code));
                cell(1, ToCDATA(c.Text));
                ans.CloseLevel();
            }
        inst.Offset = static_cast<int64_t>(rows.size());
    }
    ans.CloseLevel();
    ans.CloseLevel();
}

void TEKSrvHandler::Sort(int formId, const TEKXMLElement *values, Instance &inst)
{
    const auto fv = ReadFormValues(values);
    const int fieldId = static_cast<int>(ValueInt(FindValue(fv, 1), "the sort column"));
    TEKSrvItemColumn column;
    if (!ItemColumn(formId, fieldId, column))
        throw Failure(ekseInvalidValue, "cannot sort by field " + std::to_string(fieldId));
    // A second click on the same column reverses the order.
    inst.Query.Descending = inst.SortField == fieldId ? !inst.Query.Descending : false;
    inst.SortField = fieldId;
    inst.Query.SortColumn = column;
    inst.Offset = 0;
}

void TEKSrvHandler::Filter(int formId, const TEKXMLElement *values, Instance &inst)
{
    const TEKSrvForm &form = RequireForm(formId);
    const auto fv = ReadFormValues(values);
    const int64_t n = ValueInt(FindValue(fv, 1), "the number of conditions");
    if (n < 0 || n > static_cast<int64_t>(form.Fields.size()) * 4)
        throw Failure(ekseInvalidValue, "invalid number of filter conditions");
    std::vector<TEKSrvItemCondition> conditions;
    for (int k = 1; k <= n; ++k) {
        const FormValue *op = FindValue(fv, 3 * k - 1);
        const FormValue *field = FindValue(fv, 3 * k);
        const FormValue *value = FindValue(fv, 3 * k + 1);
        const std::string which = "filter condition " + std::to_string(k);
        if (!op || !field || !value)
            throw Failure(ekseInvalidValue, which + " is incomplete");
        const int fieldId = static_cast<int>(ValueInt(field, which));
        const TEKSrvField *f = form.Field(fieldId);
        TEKSrvItemCondition c;
        if (!f || !f->QuickFilter || !ItemColumn(formId, fieldId, c.Column))
            throw Failure(ekseInvalidValue, which + " names a field without quick filter");
        if (f->Type == "string") {
            c.Text = FromCDATA(value->Text);
            c.Contains = ValueInt(op, which) == 7;
            if (c.Text.empty())
                continue;
        } else if (f->Type == "date" || f->Type == "datetime") {
            if (Trimmed(value->Text).empty())
                continue;
            c.Text = NormalDate(value->Text, false, which);
        } else if (f->Type == "numeric") {
            c.Number = TextToFloat(Trimmed(value->Text));
        } else if (f->Type == "codelist") {
            // Code 0 is the combo without a selection: no condition.
            c.Integer = ValueInt(value, which);
            if (c.Integer == 0)
                continue;
        } else {
            c.Integer = ValueInt(value, which);
        }
        conditions.push_back(c);
    }
    inst.Query.Conditions = conditions;
    inst.Offset = 0;
}

void TEKSrvHandler::SaveRecord(const TEKXMLElement *values, Session &s)
{
    const TEKSrvForm &form = RequireForm(eksfRecord);
    const auto fv = ReadFormValues(values);
    std::map<int, std::string> stored = RecordDefaults();
    for (auto &[id, v] : FStore.LoadRecord())
        stored[id] = v;
    std::map<int, std::string> out;
    for (const auto &f : form.Fields) {
        if (f.ReadOnly || f.Type == "file")
            continue;
        const FormValue *v = FindValue(fv, f.FieldId);
        const std::string text = v ? std::string(v->Text) : std::string();
        const std::string what = Plain(f.Caption);
        std::string value;
        if (f.Type == "string") {
            value = FromCDATA(text);
            if (Utf8Length(value) > static_cast<size_t>(f.FieldLen))
                throw Failure(ekseInvalidValue, what + ": the text is longer than " +
                                                    std::to_string(f.FieldLen) + " characters");
        } else if (f.Type == "date" || f.Type == "datetime" || f.Type == "time") {
            if (!Trimmed(text).empty())
                value = NormalDate(text, f.Type != "date", what);
        } else if (f.Type == "integer") {
            if (!Trimmed(text).empty())
                value = std::to_string(ParseInt(text, what, ekseInvalidValue));
        } else if (f.Type == "codelist") {
            const int64_t code = ValueInt(v, what);
            if (code != 0 && DemoCodeText(f.CodeId, static_cast<int>(code)).empty())
                throw Failure(ekseInvalidValue, what + ": unknown code " + std::to_string(code));
            value = code != 0 ? std::to_string(code) : std::string();
        } else if (f.Type == "bool") {
            value = Trimmed(text) == "1" ? "1" : "0";
        } else if (f.Type == "numeric") {
            if (!Trimmed(text).empty())
                value = FloatToText(TextToFloat(Trimmed(text)), 4);
        } else if (f.Type == "setclist") {
            std::string rest(Trimmed(text));
            while (!rest.empty()) {
                const std::string piece = CutFirstPart(rest, ',');
                if (piece.empty())
                    break;
                const int code = ParseInt(piece, what, ekseInvalidValue);
                if (DemoCodeText(f.CodeId, code).empty())
                    throw Failure(ekseInvalidValue,
                                  what + ": unknown code " + std::to_string(code));
                value += (value.empty() ? "" : ",") + std::to_string(code);
            }
        } else {
            value = text;
        }
        if (f.Required && value.empty())
            throw Failure(ekseInvalidValue, what + ": a value is required");
        out[f.FieldId] = value;
    }
    int revision = 0;
    TryStrToInt(stored[eksrRevision], revision);
    out[eksrRevision] = std::to_string(revision + 1);
    if (!FStore.SaveRecord(out))
        throw Failure(ekseStorage, "the record cannot be stored");
    (void)s;
}

void TEKSrvHandler::Action(const TEKXML &req, TEKXML &ans, Session &s)
{
    const int moduleId = ChildInt(req, "moduleid");
    const int id = ChildInt(req, "id");
    const TEKSrvForm &form = RequireForm(ChildInt(req, "formid"));
    ChildInt(req, "entityid");
    const int instance = ChildInt(req, "forminstance");
    const TEKXMLElement *values = req.FindElement("formvalues");
    if (moduleId != eksfModule)
        throw Failure(ekseUnknownForm, "module " + std::to_string(moduleId) + " is not open");

    const TEKSrvAction *action = nullptr;
    for (const auto &a : form.Actions)
        if (a.Id == id)
            action = &a;
    const bool builtIn = (id == eksaStart && form.Type == "module") ||
                         ((id == eksaSort || id == eksaFilter) && form.Type == "browse");
    if (!action && !builtIn)
        throw Failure(ekseUnknownAction, "form " + std::to_string(form.FormId) + " has no action " +
                                             std::to_string(id));
    int64_t key = 0;
    if (form.Type == "browse") {
        const auto fv = ReadFormValues(values);
        key = ValueInt(FindValue(fv, form.PkId), "the row key");
        if (action && action->BrowseRequireRow && key <= 0)
            throw Failure(ekseInvalidValue, "no row is selected");
    }

    std::vector<PostAction> pas;
    Instance &inst = s.Instances[{form.FormId, instance}];
    switch (id) {
    case eksaStart:
    case eksaOpenItems:
        pas.push_back(OpenForm(eksfItems, s.NextInstance++));
        break;
    case eksaOpenRecord:
    case eksaItemRecord:
        pas.push_back(OpenForm(eksfRecord, s.NextInstance++));
        break;
    case eksaOpenCategories:
        pas.push_back(OpenForm(eksfCategories, s.NextInstance++));
        break;
    case eksaSort:
        Sort(form.FormId, values, inst);
        break;
    case eksaFilter:
        Filter(form.FormId, values, inst);
        break;
    case eksaModuleReport:
    case eksaItemsReport:
    case eksaExportItems: {
        const int doc = s.NextDocument++;
        // Documents are fetched right after their post-action; old ones go.
        while (s.Documents.size() >= 100)
            s.Documents.erase(s.Documents.begin());
        const int kind = id == eksaModuleReport ? 2 : id == eksaItemsReport ? 1 : 3;
        s.Documents[doc] = {kind, form.FormId, inst.Query};
        if (kind == 3)
            pas.push_back(
                {"filetoclient",
                 {{"filename", "items.csv"}, {"docid", std::to_string(doc)}, {"doctype", "3"}},
                 {}});
        else
            pas.push_back({"showdoc", {{"showdocid", std::to_string(doc)}}, {}});
        break;
    }
    case eksaPreview:
        pas.push_back({"reppreview", {{"dataid", std::to_string(instance)}}, {}});
        break;
    case eksaReloadMenu:
        pas.push_back({"refreshmain", {}, {}});
        pas.push_back(Msg("The menu was reloaded."));
        break;
    case eksaServerTime:
        pas.push_back(Msg("Server time: " + CompactToDisplay(NowCompact())));
        break;
    case eksaFailing:
        throw Failure(ekseDemoFailure, "this action always fails");
    case eksaSave:
        SaveRecord(values, s);
        pas.push_back(Msg("The record was saved."));
        pas.push_back(Refresh(instance));
        break;
    case eksaSaveClose:
        SaveRecord(values, s);
        pas.push_back(Msg("The record was saved."));
        pas.push_back({"closeform", {}, {}});
        break;
    case eksaFillSample:
        pas.push_back({"setformdata",
                       {},
                       {{eksrName, "string", ToCDATA("Žofie Dvořáková")},
                        {eksrNotes, "string", ToCDATA("Filled in by the server.")},
                        {eksrCountry, "codelist", "2"},
                        {eksrTags, "setclist", "2,4"}}});
        break;
    case eksaCloseRecord:
        pas.push_back({"closeform", {}, {}});
        break;
    case eksaShowItem: {
        const auto item = FStore.GetItem(key);
        if (!item)
            throw Failure(ekseInvalidValue, "item " + std::to_string(key) + " does not exist");
        pas.push_back(Msg(
            "Item " + std::to_string(item->Id) + ": " + item->Name + ", " +
            CompactToDisplay(item->Day) + ", quantity " + std::to_string(item->Quantity) +
            ", price " + FloatToText(item->Price, 2) + ", document " + RecNumberText(item->DocNo)));
        break;
    }
    case eksaNewItem: {
        TEKSrvItem item;
        const std::string now = NowCompact();
        item.Name = "new item";
        item.Day = now.substr(0, 8);
        item.Changed = now;
        item.Quantity = 1;
        item.Category = 5;
        item.Active = true;
        item.DocNo = std::stoll(now.substr(0, 4)) * 10000000000LL + FStore.CountItems({}) + 1;
        const int64_t newId = FStore.InsertItem(item);
        if (newId == 0)
            throw Failure(ekseStorage, "the item cannot be stored");
        pas.push_back(Refresh(instance));
        pas.push_back(Msg("Item " + std::to_string(newId) + " was added."));
        break;
    }
    case eksaDeleteItem:
        if (!FStore.DeleteItem(key))
            throw Failure(ekseInvalidValue, "item " + std::to_string(key) + " does not exist");
        pas.push_back(Refresh(instance));
        pas.push_back(Msg("Item " + std::to_string(key) + " was deleted."));
        break;
    case eksaShowCategory: {
        const std::string text = DemoCodeText("categories", static_cast<int>(key));
        if (text.empty())
            throw Failure(ekseInvalidValue, "category " + std::to_string(key) + " does not exist");
        pas.push_back(Msg("Category " + std::to_string(key) + ": " + text));
        break;
    }
    default:
        throw Failure(ekseUnknownAction, "action " + std::to_string(id) + " is not implemented");
    }

    ans.SetName("re_action");
    ans.OpenLevel();
    ans.AddElement("postactions");
    ans.OpenLevel();
    for (const auto &pa : pas) {
        ans.AddElement("pa")->AddAttribute("type", pa.Type);
        if (pa.Children.empty() && pa.Values.empty())
            continue;
        ans.OpenLevel();
        for (const auto &[name, text] : pa.Children)
            ans.AddTextElement(name, text);
        if (pa.Type == "setformdata")
            WriteFormValues(ans, pa.Values);
        ans.CloseLevel();
    }
    ans.CloseLevel();
    ans.CloseLevel();
}

std::string TEKSrvHandler::ItemsReport(const TEKSrvItemQuery &query, bool csv)
{
    constexpr int kReportRows = 1000;
    const auto rows = FStore.QueryItems(query, 0, kReportRows);
    std::string out;
    if (csv) {
        out = "id;name;date;changed;quantity;price;category;document;active\r\n";
        for (const auto &r : rows) {
            std::string name = r.Name;
            for (size_t p = name.find('"'); p != std::string::npos; p = name.find('"', p + 2))
                name.insert(p, 1, '"');
            out += std::to_string(r.Id) + ";\"" + name + "\";" + r.Day + ";" + r.Changed + ";" +
                   std::to_string(r.Quantity) + ";" + FloatToText(r.Price, 2) + ";" +
                   std::to_string(r.Category) + ";" + std::to_string(r.DocNo) + ";" +
                   (r.Active ? "1" : "0") + "\r\n";
        }
        return Utf8ToWin1250(out);
    }
    const int64_t total = FStore.CountItems(query);
    out = "<!DOCTYPE html>\n<html><head><meta charset=\"windows-1250\"><title>Items</title>"
          "<style>body{font-family:sans-serif}table{border-collapse:collapse}"
          "td,th{border:1px solid #999;padding:2px 6px}td.n{text-align:right}</style>"
          "</head><body>\n<h1>Items</h1>\n<p>" +
          std::to_string(total) + " rows match; the first " +
          std::to_string(std::min<int64_t>(total, kReportRows)) +
          " are listed.</p>\n<table><tr><th>Id</th><th>Name</th><th>Date</th><th>Quantity</th>"
          "<th>Price</th><th>Category</th><th>Document</th></tr>\n";
    for (const auto &r : rows)
        out += "<tr><td class=\"n\">" + std::to_string(r.Id) + "</td><td>" + HtmlEscape(r.Name) +
               "</td><td>" + CompactToDisplay(r.Day) + "</td><td class=\"n\">" +
               std::to_string(r.Quantity) + "</td><td class=\"n\">" + FloatToText(r.Price, 2) +
               "</td><td>" + HtmlEscape(DemoCodeText("categories", r.Category)) + "</td><td>" +
               RecNumberText(r.DocNo) + "</td></tr>\n";
    out += "</table>\n</body></html>";
    return Utf8ToWin1250(out);
}

std::string TEKSrvHandler::ModuleReport()
{
    std::vector<TEKSrvCode> codes;
    DemoCodeList("categories", 0, codes);
    std::string out = "<!DOCTYPE html>\n<html><head><meta charset=\"windows-1250\">"
                      "<title>Server report</title></head><body>\n<h1>Server report</h1>\n"
                      "<p>Server version " WEK_CLIENT_VERSION ", SQLite " +
                      HtmlEscape(TEKSrvStore::EngineVersion()) + ", " +
                      std::to_string(FSessions.size()) +
                      " open sessions.</p>\n<table>"
                      "<tr><th>Category</th><th>Items</th></tr>\n";
    for (const auto &c : codes) {
        TEKSrvItemQuery q;
        TEKSrvItemCondition cond;
        cond.Column = eksicCategory;
        cond.Integer = c.Code;
        q.Conditions.push_back(cond);
        out += "<tr><td>" + HtmlEscape(c.Text) + "</td><td>" +
               std::to_string(FStore.CountItems(q)) + "</td></tr>\n";
    }
    out += "</table>\n</body></html>";
    return Utf8ToWin1250(out);
}

std::string TEKSrvHandler::GetDoc(const TEKXML &req, Session &s, std::string &contentType)
{
    AttrInt(req, "moduleid");
    const int docId = AttrInt(req, "docid");
    const auto it = s.Documents.find(docId);
    if (it == s.Documents.end())
        throw Failure(ekseUnknownDocument, "unknown document " + std::to_string(docId));
    const Document &doc = it->second;
    if (doc.Kind == 3) {
        contentType = "text/csv; charset=windows-1250";
        return ItemsReport(doc.Query, true);
    }
    contentType = "text/html; charset=windows-1250";
    return doc.Kind == 2 ? ModuleReport() : ItemsReport(doc.Query, false);
}

TEKSrvReply TEKSrvHandler::HandleUpload(std::string_view body, std::string_view contentType,
                                        std::string_view cookieHeader)
{
    std::lock_guard<std::mutex> lock(FMutex);
    TEKSrvReply reply;
    TEKXML ans;
    try {
        Session *s = FindSession(CookieValue(cookieHeader, kSessionCookie));
        if (!s)
            throw Failure(ekseNoSession, "no valid session: please log in");
        std::string boundary;
        const size_t b = contentType.find("boundary=");
        if (b != std::string_view::npos)
            boundary = std::string(Trimmed(contentType.substr(b + 9)));
        if (boundary.size() >= 2 && boundary.front() == '"' && boundary.back() == '"')
            boundary = boundary.substr(1, boundary.size() - 2);
        const size_t lineEnd = body.find("\r\n");
        if (body.substr(0, 2) != "--" || lineEnd == std::string_view::npos ||
            (!boundary.empty() && body.substr(2, lineEnd - 2) != boundary))
            throw Failure(ekseMalformed, "the upload does not start with its boundary");
        if (boundary.empty())
            boundary = std::string(body.substr(2, lineEnd - 2));
        const size_t headEnd = body.find("\r\n\r\n", lineEnd);
        if (headEnd == std::string_view::npos)
            throw Failure(ekseMalformed, "the upload part has no end of headers");
        const std::string head = Win1250ToUtf8(body.substr(lineEnd + 2, headEnd - lineEnd - 2));
        const size_t fn = head.find("filename=\"");
        if (fn == std::string::npos)
            throw Failure(ekseMalformed, "the upload part names no file");
        const size_t fnEnd = head.find('"', fn + 10);
        if (fnEnd == std::string::npos)
            throw Failure(ekseMalformed, "the upload part names no file");
        std::string fileName = head.substr(fn + 10, fnEnd - fn - 10);
        const size_t sep = fileName.find_last_of("/\\");
        if (sep != std::string::npos)
            fileName.erase(0, sep + 1);
        std::string_view data = body.substr(headEnd + 4);
        // A peer that does close the body gets its closing line removed.
        for (const std::string &tail : {"\r\n--" + boundary + "--\r\n", "\r\n--" + boundary + "--"})
            if (data.size() >= tail.size() && data.substr(data.size() - tail.size()) == tail) {
                data.remove_suffix(tail.size());
                break;
            }
        const int64_t id = FStore.StoreUpload(s->UserId, fileName, std::string(data));
        if (id == 0)
            throw Failure(ekseStorage, "the file cannot be stored");
        ans.SetName("re_upload");
        ans.OpenLevel();
        ans.AddTextElement("uploadid", std::to_string(id));
        ans.AddTextElement("size", std::to_string(data.size()));
        ans.CloseLevel();
    } catch (const Failure &f) {
        TEKXML err;
        WriteError(err, f.Code, f.what());
        reply.Body = err.GetDocumentBytes();
        return reply;
    }
    reply.Body = ans.GetDocumentBytes();
    return reply;
}
