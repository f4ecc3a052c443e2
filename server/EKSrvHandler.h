#pragma once

#include "EKSrvStore.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

class TEKXML;
class TEKXMLElement;

// What the HTTP front sends back for one request.
struct TEKSrvReply
{
    std::string Body;                                           // bytes on the wire
    std::string ContentType = "text/xml; charset=windows-1250"; // MIME type of Body
    std::string SetCookie; // a Set-Cookie header value, or empty
};

// The protocol of the demo server, without a socket: request bytes and the
// request's Cookie header in, answer bytes out. Every answer is a well-formed
// document (or, for documents fetched with "getdoc", the document's bytes);
// a failure is an "error" root with a code and a plain text. Bad input never
// changes stored data. Safe to call from several threads (calls are
// serialized).
class TEKSrvHandler
{
public:
    // Error codes of "error" answers.
    enum
    {
        ekseNoSession = 101,
        ekseMalformed = 102,
        ekseUnknownRequest = 103,
        ekseUnknownForm = 104,
        ekseInvalidValue = 105,
        ekseDemoFailure = 106,
        ekseUnknownAction = 107,
        ekseStorage = 108,
        ekseUnknownDocument = 109,
    };

    // Rows of a browse answer.
    static constexpr int kChunkRows = 200;
    static constexpr const char *kSessionCookie = "WEKSID";

    // Raised inside request handling; becomes an "error" answer.
    class Failure;

    explicit TEKSrvHandler(TEKSrvStore &store);
    ~TEKSrvHandler();
    TEKSrvHandler(const TEKSrvHandler &) = delete;
    TEKSrvHandler &operator=(const TEKSrvHandler &) = delete;

    TEKSrvReply HandleRequest(std::string_view body, std::string_view cookieHeader);
    // The multipart body of an upload: one part, possibly without the closing
    // boundary line; the file is stored for the session's user.
    TEKSrvReply HandleUpload(std::string_view body, std::string_view contentType,
                             std::string_view cookieHeader);

    // The value of a cookie in a Cookie header ("a=1; b=2"), or empty.
    static std::string CookieValue(std::string_view header, std::string_view name);

private:
    struct Instance
    {
        TEKSrvItemQuery Query;
        int64_t Offset = 0;
        int SortField = 0;
    };
    struct Document
    {
        int Kind = 0;
        int FormId = 0;
        TEKSrvItemQuery Query;
    };
    struct Session
    {
        int UserId = 0;
        std::string UserName;
        int64_t Seq = 0;
        int NextInstance = 1;
        int NextDocument = 1;
        std::map<std::pair<int, int>, Instance> Instances; // by form id and instance
        std::map<int, Document> Documents;
        std::chrono::steady_clock::time_point LastUsed;
    };

    TEKSrvReply Dispatch(const TEKXML &request, const std::string &token);
    Session *FindSession(const std::string &token);

    void ClientInit(const TEKXML &req, TEKXML &ans);
    std::string Login(const TEKXML &req, TEKXML &ans);
    void RefreshProfile(const TEKXML &req, TEKXML &ans, Session &s);
    void Modules(TEKXML &ans);
    void ModuleOpen(const TEKXML &req, TEKXML &ans);
    void FormDesc(const TEKXML &req, TEKXML &ans);
    void FormActions(const TEKXML &req, TEKXML &ans);
    void CodeListDef(const TEKXML &req, TEKXML &ans);
    void ServerInfo(TEKXML &ans);
    void Action(const TEKXML &req, TEKXML &ans, Session &s);
    void FormClose(const TEKXML &req, TEKXML &ans, Session &s);
    void GetData(const TEKXML &req, TEKXML &ans, Session &s);
    std::string GetDoc(const TEKXML &req, Session &s, std::string &contentType);

    void SaveRecord(const TEKXMLElement *values, Session &s);
    void Filter(int formId, const TEKXMLElement *values, Instance &inst);
    void Sort(int formId, const TEKXMLElement *values, Instance &inst);
    std::string ItemsReport(const TEKSrvItemQuery &query, bool csv);
    std::string ModuleReport();

    TEKSrvStore &FStore;
    std::mutex FMutex;
    std::map<std::string, Session> FSessions;
};
