#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// One request as the test server received it.
struct TEKTestRequest
{
    std::string Method;
    // The request target as sent: a path, or an absolute URL when the client
    // talked to the server as to a proxy.
    std::string Target;
    std::vector<std::pair<std::string, std::string>> Headers;
    // The body bytes exactly as received (chunked bodies are reassembled).
    std::string Body;
    // Serial number of the TCP connection it came on (1 for the first).
    int Connection = 0;

    // The value of the first header of that name in any letter case; empty
    // when there is none.
    std::string Header(const std::string &name) const;
    bool HasHeader(const std::string &name) const;
};

// How the test server answers one request.
struct TEKTestAnswer
{
    int Status = 200;
    std::string Reason = "OK";
    // Extra header lines (name, value), sent in this order after
    // Content-Length; a "Set-Cookie" goes here too.
    std::vector<std::pair<std::string, std::string>> Headers;
    std::string Body;
    // Milliseconds to wait before answering (cut short when the server stops).
    int DelayMs = 0;
    // Close the connection after reading the request, without answering.
    // A client that sent the request on a reused connection takes that for a
    // stale connection and sends it once more on a new one: that repetition
    // is dropped too (and not recorded), so the exchange fails either way.
    bool Drop = false;
    // Close the connection after this answer without announcing it, as a
    // server does with an idle connection: the client's next request finds
    // it closed and must go on a new one.
    bool CloseAfter = false;

    // A 200 answer with a text/xml body.
    static TEKTestAnswer Xml(std::string body);
    TEKTestAnswer &WithHeader(std::string name, std::string value);
    TEKTestAnswer &WithCookie(const std::string &name, const std::string &value);
};

// Settings written into a WEK.ini pointing at the server.
struct TEKTestIni
{
    // Empty and 0: this server's host and port.
    std::string Host;
    int Port = 0;
    std::string Path = "app";
    int NoopFrequency = 0;
    // More "key=value" lines for the "connection" and "client" sections.
    std::vector<std::string> Connection;
    std::vector<std::string> Client;
    // Appended to the file as is (further sections).
    std::string Extra;
};

// A loopback HTTP/1.1 server on 127.0.0.1 with a free port, started by the
// constructor and stopped by the destructor. Requests are answered, in this
// order of preference, from the queue of Enqueue, by the handler, or with the
// default answer (200, empty body). Every member is thread-safe.
class TEKTestServer
{
public:
    using Handler = std::function<TEKTestAnswer(const TEKTestRequest &)>;

    TEKTestServer();
    ~TEKTestServer();
    TEKTestServer(const TEKTestServer &) = delete;
    TEKTestServer &operator=(const TEKTestServer &) = delete;

    // False when the listening socket could not be set up.
    bool Running() const { return FListen >= 0; }
    int Port() const { return FPort; }
    std::string Host() const { return "127.0.0.1"; }
    // "http://127.0.0.1:<port>/" followed by path.
    std::string Url(const std::string &path = "") const;

    void Enqueue(TEKTestAnswer answer);
    void SetDefault(TEKTestAnswer answer);
    void SetHandler(Handler handler);

    std::vector<TEKTestRequest> Requests() const;
    std::size_t RequestCount() const;
    // The most recent request; an empty one when none came.
    TEKTestRequest LastRequest() const;
    void ClearRequests();

    // Writes a WEK.ini for this server (unless ini names another); false when
    // the file cannot be written.
    bool WriteIni(const std::string &fileName, const TEKTestIni &ini = {}) const;
    // A port on 127.0.0.1 where nothing listens (bound once, then released).
    static int DeadPort();

private:
    void AcceptLoop();
    void Serve(int fd, int serial);
    // Records the request and picks its answer; firstOnConnection tells
    // whether it opened its connection.
    TEKTestAnswer Choose(const TEKTestRequest &request, bool firstOnConnection);
    // Waits for fd to be readable; false when the server stops first.
    bool WaitReadable(int fd) const;

    int FListen = -1;
    int FPort = 0;
    int FStopPipe[2] = {-1, -1};
    mutable std::mutex FMutex;
    std::condition_variable FStopCv;
    bool FStopping = false;
    std::deque<TEKTestAnswer> FQueue;
    TEKTestAnswer FDefault;
    Handler FHandler;
    std::vector<TEKTestRequest> FRequests;
    std::thread FAcceptThread;
    std::vector<std::thread> FConnThreads;
    int FConnSerial = 0;
    // A request dropped on a reused connection: its repetition is due.
    bool FDropRetry = false;
};
