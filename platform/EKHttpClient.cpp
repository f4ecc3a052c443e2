#include "EKHttpClient.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

std::string Trim(const std::string &s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n'))
        --e;
    return s.substr(b, e - b);
}

bool StartsWithNoCase(const std::string &s, const char *prefix)
{
    const std::size_t n = std::strlen(prefix);
    if (s.size() < n)
        return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

// curl_global_init is not thread-safe; the first client of the process runs it.
void GlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct TSlist
{
    curl_slist *List = nullptr;
    ~TSlist() { curl_slist_free_all(List); }
    void Add(const std::string &line) { List = curl_slist_append(List, line.c_str()); }
};

} // namespace

TEKHttpClient::TEKHttpClient()
{
    GlobalInit();
    FCurl = curl_easy_init();
}

TEKHttpClient::~TEKHttpClient()
{
    if (FCurl)
        curl_easy_cleanup(static_cast<CURL *>(FCurl));
}

void TEKHttpClient::SetProxy(const std::string &host, const std::string &port,
                             const std::string &user, const std::string &password)
{
    FProxyHost = host;
    FProxyPort = port;
    FProxyUser = user;
    FProxyPassword = password;
}

void TEKHttpClient::SetTimeouts(long connectMs, long stallSeconds)
{
    FConnectMs = connectMs;
    FStallSeconds = stallSeconds;
}

void TEKHttpClient::Clear()
{
    FDocument.clear();
    FMimeType.clear();
    FResponse.clear();
    FHeaders.clear();
    FResultCode = 0;
    FResultText.clear();
}

std::string TEKHttpClient::CookieHeader() const
{
    std::string out;
    for (const auto &[name, value] : FCookies) {
        if (!out.empty())
            out += "; ";
        out += name;
        out += '=';
        out += value;
    }
    return out;
}

void TEKHttpClient::StoreCookie(const std::string &setCookieValue)
{
    const std::string pair = setCookieValue.substr(0, setCookieValue.find(';'));
    const std::size_t eq = pair.find('=');
    if (eq == std::string::npos)
        return;
    std::string name = Trim(pair.substr(0, eq));
    std::string value = Trim(pair.substr(eq + 1));
    if (name.empty())
        return;
    auto it = std::find_if(FCookies.begin(), FCookies.end(),
                           [&](const TEKCookie &c) { return c.first == name; });
    if (it != FCookies.end())
        it->second = std::move(value);
    else
        FCookies.emplace_back(std::move(name), std::move(value));
}

bool TEKHttpClient::HTTPMethod(const std::string &method, const std::string &url)
{
    return Perform(method, url, FMimeType, nullptr, true);
}

bool TEKHttpClient::PostStream(const std::string &url, const std::string &mimeType,
                               const TEKHttpBody &body, bool keepResponse)
{
    return Perform("POST", url, mimeType, &body, keepResponse);
}

bool TEKHttpClient::Perform(const std::string &method, const std::string &url,
                            const std::string &mimeType, const TEKHttpBody *body, bool keepResponse)
{
    FResponse.clear();
    FHeaders.clear();
    FResultCode = 0;
    FResultText.clear();
    auto *curl = static_cast<CURL *>(FCurl);
    if (!curl) {
        FResultCode = CURLE_FAILED_INIT;
        FResultText = curl_easy_strerror(CURLE_FAILED_INIT);
        return false;
    }
    FKeepResponse = keepResponse;
    FBody = body;

    TSlist headers;
    if (!mimeType.empty())
        headers.Add("Content-Type: " + mimeType);
    const std::string cookies = CookieHeader();
    if (!cookies.empty())
        headers.Add("Cookie: " + cookies);
    // curl would hold back larger bodies waiting for "100 Continue"; the
    // server is not asked to take part in that.
    headers.Add("Expect:");
    // Decoding is switched on below, which would also ask the server for
    // compression: the client asks for none, it only decodes what comes.
    headers.Add("Accept-Encoding:");

    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.List);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(curl, CURLOPT_HTTP_CONTENT_DECODING, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, FConnectMs);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, FStallSeconds);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 0L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &TEKHttpClient::OnWrite);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &TEKHttpClient::OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, this);

    // An empty string switches every proxy off, the environment's included.
    curl_easy_setopt(curl, CURLOPT_PROXY, FProxyHost.c_str());
    long proxyPort = 0;
    if (!FProxyHost.empty() && !FProxyPort.empty() &&
        std::all_of(FProxyPort.begin(), FProxyPort.end(),
                    [](char c) { return c >= '0' && c <= '9'; }) &&
        FProxyPort.size() <= 5)
        proxyPort = std::stol(FProxyPort);
    curl_easy_setopt(curl, CURLOPT_PROXYPORT, proxyPort);
    curl_easy_setopt(curl, CURLOPT_PROXYUSERNAME,
                     FProxyUser.empty() ? nullptr : FProxyUser.c_str());
    curl_easy_setopt(curl, CURLOPT_PROXYPASSWORD,
                     FProxyUser.empty() ? nullptr : FProxyPassword.c_str());

    if (method == "POST") {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, nullptr);
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
    } else {
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
    }
    if (body) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, nullptr);
        curl_easy_setopt(curl, CURLOPT_READFUNCTION, &TEKHttpClient::OnRead);
        curl_easy_setopt(curl, CURLOPT_READDATA, this);
        curl_easy_setopt(curl, CURLOPT_SEEKFUNCTION, &TEKHttpClient::OnSeek);
        curl_easy_setopt(curl, CURLOPT_SEEKDATA, this);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body->Size));
    } else {
        curl_easy_setopt(curl, CURLOPT_SEEKFUNCTION, nullptr);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(FDocument.size()));
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, FDocument.data());
    }

    const CURLcode rc = curl_easy_perform(curl);
    FBody = nullptr;
    // The list dies with this frame; curl must not keep a pointer to it.
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    if (rc != CURLE_OK) {
        FResultCode = static_cast<int>(rc);
        FResultText = curl_easy_strerror(rc);
        return false;
    }
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    FResultCode = static_cast<int>(status);
    return true;
}

std::size_t TEKHttpClient::OnWrite(char *data, std::size_t size, std::size_t count, void *self)
{
    auto *client = static_cast<TEKHttpClient *>(self);
    if (client->FKeepResponse)
        client->FResponse.append(data, size * count);
    return size * count;
}

std::size_t TEKHttpClient::OnHeader(char *data, std::size_t size, std::size_t count, void *self)
{
    auto *client = static_cast<TEKHttpClient *>(self);
    std::string line(data, size * count);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    if (StartsWithNoCase(line, "HTTP/")) {
        // A new status line: what came before belonged to an interim answer
        // (100 Continue, a proxy's tunnel answer).
        client->FHeaders.clear();
        const std::size_t sp1 = line.find(' ');
        const std::size_t sp2 = sp1 == std::string::npos ? sp1 : line.find(' ', sp1 + 1);
        client->FResultText = sp2 == std::string::npos ? std::string() : Trim(line.substr(sp2 + 1));
        return size * count;
    }
    if (line.empty())
        return size * count;
    if (StartsWithNoCase(line, "Set-Cookie:"))
        client->StoreCookie(line.substr(11));
    // A body of announced length is received without regrowing the buffer;
    // the announcement is not trusted beyond a sane size.
    if (client->FKeepResponse && StartsWithNoCase(line, "Content-Length:")) {
        const unsigned long long length = std::strtoull(line.c_str() + 15, nullptr, 10);
        if (length > 0 && length <= (256ull << 20))
            client->FResponse.reserve(static_cast<std::size_t>(length));
    }
    client->FHeaders.push_back(std::move(line));
    return size * count;
}

std::size_t TEKHttpClient::OnRead(char *buf, std::size_t size, std::size_t count, void *self)
{
    auto *client = static_cast<TEKHttpClient *>(self);
    if (!client->FBody || !client->FBody->Read)
        return 0;
    const std::size_t n = client->FBody->Read(buf, size * count);
    if (n == TEKHttpBody::ReadAbort)
        return CURL_READFUNC_ABORT;
    return n;
}

int TEKHttpClient::OnSeek(void *self, long long offset, int origin)
{
    auto *client = static_cast<TEKHttpClient *>(self);
    // Only a restart from the first byte is ever asked for.
    if (!client->FBody || !client->FBody->Rewind || offset != 0 || origin != SEEK_SET)
        return CURL_SEEKFUNC_CANTSEEK;
    return client->FBody->Rewind() ? CURL_SEEKFUNC_OK : CURL_SEEKFUNC_FAIL;
}
