#include "EKPTransport.h"

#include "EKBErrors.h"
#include "EKCLog.h"
#include "EKHttpClient.h"
#include "EKPSetting.h"
#include "EKWin1250.h"
#include "EKXML.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <random>
#include <stdexcept>

namespace {

struct TTransport
{
    // Held for the length of one exchange, so that calls never share the
    // client; a second call finds it taken and fails instead of waiting (its
    // thread may be the one the running call needs for its busy hooks).
    std::mutex CallMutex;
    // Guards the fields below for short reads and writes.
    std::mutex StateMutex;
    std::unique_ptr<TEKHttpClient> Client;
    IEKKeepAliveTimer *Timer = nullptr;
    int32_t ErrorCode = 0;
    std::string ErrorText;
    long ConnectMs = 10000;
    long StallSeconds = 90;
};

TTransport &Transport()
{
    static TTransport transport;
    return transport;
}

IEKKeepAliveTimer *CurrentTimer()
{
    std::lock_guard lock(Transport().StateMutex);
    return Transport().Timer;
}

void SetLastCallErrorText(int32_t code, std::string text)
{
    std::lock_guard lock(Transport().StateMutex);
    Transport().ErrorCode = code;
    Transport().ErrorText = std::move(text);
}

// A decimal integer with optional sign and surrounding spaces; anything else,
// or a value outside 32 bits, raises.
int32_t ParseInt32(std::string_view text)
{
    std::size_t b = 0, e = text.size();
    while (b < e && text[b] == ' ')
        ++b;
    while (e > b && text[e - 1] == ' ')
        --e;
    std::string_view t = text.substr(b, e - b);
    bool negative = false;
    std::size_t i = 0;
    if (!t.empty() && (t[0] == '-' || t[0] == '+')) {
        negative = t[0] == '-';
        i = 1;
    }
    if (i == t.size())
        throw std::invalid_argument("'" + std::string(text) + "' is not a valid integer value");
    long long value = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < '0' || t[i] > '9')
            throw std::invalid_argument("'" + std::string(text) + "' is not a valid integer value");
        value = value * 10 + (t[i] - '0');
        if (value > static_cast<long long>(std::numeric_limits<int32_t>::max()) + 1)
            throw std::out_of_range("'" + std::string(text) + "' is not a valid integer value");
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<int32_t>::max())
        throw std::out_of_range("'" + std::string(text) + "' is not a valid integer value");
    return static_cast<int32_t>(value);
}

bool StartsWithScheme(const std::string &host)
{
    auto lower = [](std::string s) {
        for (char &c : s)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    const std::string h = lower(host.substr(0, 8));
    return h.rfind("http://", 0) == 0 || h.rfind("https://", 0) == 0;
}

// The busy cursor for the length of a scope.
class TBusyScope
{
public:
    TBusyScope() { BeginBusy(); }
    ~TBusyScope() { EndBusy(); }
    TBusyScope(const TBusyScope &) = delete;
    TBusyScope &operator=(const TBusyScope &) = delete;
};

// Holds the registered keep-alive timer still for the length of a scope and
// then puts it back as it was: a timer that was stopped before the call (the
// window is closing, or keep-alive is off) stays stopped.
class TTimerHold
{
public:
    TTimerHold() : FTimer(CurrentTimer())
    {
        if (FTimer) {
            FWasEnabled = FTimer->GetEnabled();
            FTimer->SetEnabled(false);
        }
    }
    ~TTimerHold()
    {
        // A timer unregistered meanwhile may be gone: only the one still
        // registered is touched.
        if (FTimer && FWasEnabled && CurrentTimer() == FTimer)
            FTimer->SetEnabled(true);
    }
    TTimerHold(const TTimerHold &) = delete;
    TTimerHold &operator=(const TTimerHold &) = delete;

private:
    IEKKeepAliveTimer *FTimer;
    bool FWasEnabled = false;
};

std::string CallErrorLine(const TEKHttpClient &client)
{
    return "call error: " + std::to_string(client.ResultCode()) + "; " + client.ResultText();
}

std::string NewBoundary()
{
    static std::mutex mutex;
    static std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<long> dist(0, 2147483646);
    long value;
    {
        std::lock_guard lock(mutex);
        value = dist(random);
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08lX", value);
    return std::string(hex) + "_Synapse_boundary";
}

} // namespace

bool CreateHttpClient()
{
    TTransport &t = Transport();
    std::lock_guard call(t.CallMutex);
    const TEKPSettingValues &s = SettingValues();
    auto client = std::make_unique<TEKHttpClient>();
    client->SetProxy(s.ProxyHost, s.ProxyPort, s.ProxyUser, s.ProxyPass);
    std::lock_guard lock(t.StateMutex);
    client->SetTimeouts(t.ConnectMs, t.StallSeconds);
    t.Client = std::move(client);
    return true;
}

void DestroyHttpClient()
{
    TTransport &t = Transport();
    std::lock_guard call(t.CallMutex);
    std::unique_ptr<TEKHttpClient> gone;
    std::lock_guard lock(t.StateMutex);
    gone = std::move(t.Client);
}

bool HttpClientExists()
{
    std::lock_guard lock(Transport().StateMutex);
    return Transport().Client != nullptr;
}

void SetHttpTimeouts(long connectMs, long stallSeconds)
{
    TTransport &t = Transport();
    std::lock_guard call(t.CallMutex);
    std::lock_guard lock(t.StateMutex);
    t.ConnectMs = connectMs;
    t.StallSeconds = stallSeconds;
    if (t.Client)
        t.Client->SetTimeouts(connectMs, stallSeconds);
}

std::string ServerAddress()
{
    const TEKPSettingValues &s = SettingValues();
    const std::string rest = s.Host + ":" + std::to_string(s.Port) + "/" + s.Path;
    return StartsWithScheme(s.Host) ? rest : "http://" + rest;
}

void SetKeepAliveTimer(IEKKeepAliveTimer *timer)
{
    std::lock_guard lock(Transport().StateMutex);
    Transport().Timer = timer;
}

void SetLastCallError(int32_t code)
{
    SetLastCallErrorText(code, code == 0 ? std::string() : FormatErrorCode(code));
}

int32_t LastCallErrorCode()
{
    std::lock_guard lock(Transport().StateMutex);
    return Transport().ErrorCode;
}

std::string LastCallErrorText()
{
    std::lock_guard lock(Transport().StateMutex);
    return Transport().ErrorText;
}

void ReportCallError(const std::string &title)
{
    ShowUserError(title, LastCallErrorText());
}

TEKPCallRes GetSrvResp(const TEKStream &request, TEKStream &response)
{
    TTransport &t = Transport();
    SetLastCallError(5);
    std::unique_lock call(t.CallMutex, std::try_to_lock);
    if (!call.owns_lock()) {
        SetLastCallError(2);
        WriteLog(9, "GetSrvResp", "another call is in progress");
        return ekpcrError;
    }
    TEKHttpClient *client;
    {
        std::lock_guard lock(t.StateMutex);
        client = t.Client.get();
    }
    if (!client) {
        SetLastCallError(1);
        return ekpcrHaltApp;
    }

    TEKPCallRes result = ekpcrError;
    TBusyScope busy;
    TTimerHold hold;
    try {
        const auto start = std::chrono::steady_clock::now();
        client->Clear();
        client->Document().assign(request.Bytes);
        client->SetMimeType("text/xml");
        const bool completed = client->HTTPMethod("POST", ServerAddress());
        if (completed) {
            response.Bytes = client->TakeResponseBody();
        } else {
            response.Clear();
        }
        response.Position = 0;
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count();
        if (SettingValues().LogComm)
            WriteLog(2, "GetSrvResp",
                     "response (" + std::to_string(elapsed) +
                         "): " + Win1250ToUtf8(response.Bytes));
        if (!completed) {
            WriteLog(9, "GetSrvResp", CallErrorLine(*client));
            SetLastCallError(2);
            result = ekpcrError;
        } else {
            SetLastCallError(0);
            result = ekpcrOK;
        }
    } catch (const std::exception &e) {
        SetLastCallError(2);
        WriteLog(9, "GetSrvResp", e.what());
        result = ekpcrError;
    } catch (...) {
        SetLastCallError(2);
        WriteLog(9, "GetSrvResp", "unknown failure");
        result = ekpcrError;
    }
    return result;
}

TEKPCallRes GetSrvXML(const TEKXML &request, std::unique_ptr<TEKXML> &response)
{
    SetLastCallError(5);
    response.reset();
    try {
        const TEKStream requestBytes(request.GetDocumentBytes());
        TEKStream responseBytes;
        const TEKPCallRes res = GetSrvResp(requestBytes, responseBytes);
        if (res != ekpcrOK)
            return res;
        response = std::make_unique<TEKXML>();
        if (response->LoadFromStream(responseBytes.View()) != 0) {
            SetLastCallError(3);
            return ekpcrError;
        }
        if (response->Name() == "error") {
            // The children are taken by position; a missing one raises.
            const int32_t code = ParseInt32(response->ElementByOrd(1)->Text());
            std::string text(response->ElementByOrd(2)->Text());
            SetLastCallErrorText(code, std::move(text));
            return ekpcrError;
        }
        SetLastCallError(0);
        return ekpcrOK;
    } catch (const std::exception &e) {
        SetLastCallError(5);
        WriteLog(9, "GetSrvXML", e.what());
    } catch (...) {
        SetLastCallError(5);
        WriteLog(9, "GetSrvXML", "unknown failure");
    }
    return ekpcrError;
}

TEKPCallRes GetSrvStream(const TEKXML &request, std::unique_ptr<TEKStream> &response)
{
    SetLastCallError(5);
    response.reset();
    try {
        const TEKStream requestBytes(request.GetDocumentBytes());
        auto stream = std::make_unique<TEKStream>();
        const TEKPCallRes res = GetSrvResp(requestBytes, *stream);
        if (res != ekpcrOK)
            return res;
        stream->Position = 0;
        response = std::move(stream);
        SetLastCallError(0);
        return ekpcrOK;
    } catch (const std::exception &e) {
        SetLastCallError(5);
        WriteLog(9, "GetSrvStream", e.what());
    } catch (...) {
        SetLastCallError(5);
        WriteLog(9, "GetSrvStream", "unknown failure");
    }
    response.reset();
    return ekpcrError;
}

int UploadFile(const std::string &fileName)
{
    TTransport &t = Transport();
    // A failed upload leaves a last call error of its own, so that the
    // caller's report describes this failure and not the previous call.
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(std::fopen(fileName.c_str(), "rb"),
                                                          &std::fclose);
    struct stat info
    {
    };
    if (!file || ::fstat(::fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode)) {
        SetLastCallError(5);
        WriteLog(9, "UploadFile", "cannot open file: " + fileName);
        return 2;
    }
    std::unique_lock call(t.CallMutex, std::try_to_lock);
    if (!call.owns_lock()) {
        SetLastCallError(2);
        WriteLog(9, "UploadFile", "another call is in progress");
        return 2;
    }
    TEKHttpClient *client;
    {
        std::lock_guard lock(t.StateMutex);
        client = t.Client.get();
    }
    if (!client) {
        SetLastCallError(1);
        return 2;
    }

    int result = 2;
    TBusyScope busy;
    try {
        client->Clear();
        std::string target = ServerAddress();
        if (target.empty() || target.back() != '/')
            target += '/';
        target += "upload";
        const std::string boundary = NewBoundary();
        const std::string head =
            Utf8ToWin1250("--" + boundary + "\r\n" +
                          "content-disposition: form-data; name=\"fx\";" + " filename=\"" +
                          fileName + "\"\r\n" + "Content-Type: Application/octet-string\r\n\r\n");
        const std::uint64_t fileSize = static_cast<std::uint64_t>(info.st_size);
        std::size_t headPos = 0;
        std::uint64_t fileDone = 0;
        TEKHttpBody body;
        body.Size = head.size() + fileSize;
        body.Read = [&](char *buf, std::size_t len) -> std::size_t {
            std::size_t n = 0;
            if (headPos < head.size()) {
                n = std::min(len, head.size() - headPos);
                std::memcpy(buf, head.data() + headPos, n);
                headPos += n;
                return n;
            }
            if (fileDone >= fileSize)
                return 0;
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(len, fileSize - fileDone));
            n = std::fread(buf, 1, want, file.get());
            // A file that shrank or failed to read must not be sent cut short.
            if (n == 0)
                return TEKHttpBody::ReadAbort;
            fileDone += n;
            return n;
        };
        body.Rewind = [&]() {
            headPos = 0;
            fileDone = 0;
            return std::fseek(file.get(), 0, SEEK_SET) == 0;
        };
        if (client->PostStream(target, "multipart/form-data; boundary=" + boundary, body, false)) {
            result = 0;
        } else {
            SetLastCallError(2);
            WriteLog(9, "UploadFile", CallErrorLine(*client));
        }
    } catch (const std::exception &e) {
        SetLastCallError(2);
        WriteLog(9, "UploadFile", e.what());
        result = 2;
    } catch (...) {
        SetLastCallError(2);
        WriteLog(9, "UploadFile", "unknown failure");
        result = 2;
    }
    return result;
}

std::string ResponseHeader(const std::string &name)
{
    TTransport &t = Transport();
    // The headers of a call still running on another thread are not read.
    std::unique_lock call(t.CallMutex, std::try_to_lock);
    if (!call.owns_lock())
        return {};
    TEKHttpClient *client;
    {
        std::lock_guard lock(t.StateMutex);
        client = t.Client.get();
    }
    if (!client)
        return {};
    std::string key;
    for (char c : name)
        key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    key += ':';
    for (const std::string &line : client->ResponseHeaders()) {
        if (line.size() < key.size())
            continue;
        bool match = true;
        for (std::size_t i = 0; i < key.size() && match; ++i)
            match = std::tolower(static_cast<unsigned char>(line[i])) ==
                    static_cast<unsigned char>(key[i]);
        if (!match)
            continue;
        std::string value = line.substr(line.find(':') + 1);
        value = value.substr(0, value.find(';'));
        const std::size_t b = value.find_first_not_of(' ');
        if (b == std::string::npos)
            return {};
        const std::size_t e = value.find_last_not_of(' ');
        return Win1250ToUtf8(value.substr(b, e - b + 1));
    }
    return {};
}
