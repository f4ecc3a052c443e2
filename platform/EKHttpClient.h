#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// A streamed request body: Size bytes in total, produced by Read in pieces.
// Read fills at most len bytes into buf and returns how many it wrote; it
// returns ReadAbort to give up the exchange (the transfer then fails).
// Rewind starts the body again from its first byte and returns whether it
// could; curl needs it to send the body once more on a fresh connection when
// a reused one turns out to be closed.
struct TEKHttpBody
{
    static constexpr std::size_t ReadAbort = static_cast<std::size_t>(-1);
    std::uint64_t Size = 0;
    std::function<std::size_t(char *buf, std::size_t len)> Read;
    std::function<bool()> Rewind;
};

// The client's HTTP connection to its server, one per run: one libcurl easy
// handle, so the connection is reused from call to call, and a cookie store
// that lives as long as the object. Not thread-safe; callers never overlap.
class TEKHttpClient
{
public:
    using TEKCookie = std::pair<std::string, std::string>;

    TEKHttpClient();
    ~TEKHttpClient();
    TEKHttpClient(const TEKHttpClient &) = delete;
    TEKHttpClient &operator=(const TEKHttpClient &) = delete;

    // Proxy values as read from the settings; an empty host means no proxy
    // (the environment's proxy variables are ignored too).
    void SetProxy(const std::string &host, const std::string &port, const std::string &user,
                  const std::string &password);
    // Connecting gives up after connectMs milliseconds; an exchange gives up
    // when no byte has moved for stallSeconds seconds. The total time of an
    // exchange that keeps moving is not limited.
    void SetTimeouts(long connectMs, long stallSeconds);

    // Forgets the request body and MIME type and the last response.
    void Clear();
    // The request body sent by HTTPMethod.
    std::string &Document() { return FDocument; }
    void SetMimeType(const std::string &mimeType) { FMimeType = mimeType; }

    // Sends the request body to url with method ("POST"). Returns true when
    // the exchange completed, whatever the HTTP status.
    bool HTTPMethod(const std::string &method, const std::string &url);
    // POST of a streamed body; the response body is discarded when
    // keepResponse is false. Returns true when the exchange completed.
    bool PostStream(const std::string &url, const std::string &mimeType, const TEKHttpBody &body,
                    bool keepResponse);

    // The body of the last response, decoded when it came gzip- or
    // deflate-encoded.
    const std::string &ResponseBody() const { return FResponse; }
    std::string TakeResponseBody() { return std::move(FResponse); }
    // The header lines of the last response, without line ends or status line.
    const std::vector<std::string> &ResponseHeaders() const { return FHeaders; }
    // After a completed exchange the HTTP status and reason phrase; after a
    // failed one curl's error code and its message.
    int ResultCode() const { return FResultCode; }
    const std::string &ResultText() const { return FResultText; }

    // Cookies set by the server so far, in the order first seen.
    const std::vector<TEKCookie> &Cookies() const { return FCookies; }
    // The "Cookie" request header value: every pair, joined by "; ".
    std::string CookieHeader() const;
    // Takes one Set-Cookie value ("name=value; attributes"); a later value
    // replaces an earlier one of the same name.
    void StoreCookie(const std::string &setCookieValue);

private:
    bool Perform(const std::string &method, const std::string &url, const std::string &mimeType,
                 const TEKHttpBody *body, bool keepResponse);
    static std::size_t OnWrite(char *data, std::size_t size, std::size_t count, void *self);
    static std::size_t OnHeader(char *data, std::size_t size, std::size_t count, void *self);
    static std::size_t OnRead(char *buf, std::size_t size, std::size_t count, void *self);
    static int OnSeek(void *self, long long offset, int origin);

    void *FCurl = nullptr;
    std::string FDocument;
    std::string FMimeType;
    std::string FResponse;
    bool FKeepResponse = true;
    std::vector<std::string> FHeaders;
    std::vector<TEKCookie> FCookies;
    int FResultCode = 0;
    std::string FResultText;
    const TEKHttpBody *FBody = nullptr;
    std::string FProxyHost, FProxyPort, FProxyUser, FProxyPassword;
    long FConnectMs = 10000;
    long FStallSeconds = 90;
};
