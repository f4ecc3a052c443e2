#include "EKTestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <fstream>

namespace {

std::string Lower(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string &s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r'))
        --e;
    return s.substr(b, e - b);
}

bool SendAll(int fd, const std::string &data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

std::string TEKTestRequest::Header(const std::string &name) const
{
    const std::string key = Lower(name);
    for (const auto &[n, v] : Headers)
        if (Lower(n) == key)
            return v;
    return {};
}

bool TEKTestRequest::HasHeader(const std::string &name) const
{
    const std::string key = Lower(name);
    for (const auto &h : Headers)
        if (Lower(h.first) == key)
            return true;
    return false;
}

TEKTestAnswer TEKTestAnswer::Xml(std::string body)
{
    TEKTestAnswer a;
    a.Headers.emplace_back("Content-Type", "text/xml");
    a.Body = std::move(body);
    return a;
}

TEKTestAnswer &TEKTestAnswer::WithHeader(std::string name, std::string value)
{
    Headers.emplace_back(std::move(name), std::move(value));
    return *this;
}

TEKTestAnswer &TEKTestAnswer::WithCookie(const std::string &name, const std::string &value)
{
    return WithHeader("Set-Cookie", name + "=" + value + "; Path=/");
}

TEKTestServer::TEKTestServer()
{
    if (::pipe(FStopPipe) != 0)
        return;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return;
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
        ::close(fd);
        return;
    }
    FListen = fd;
    FPort = ntohs(addr.sin_port);
    FAcceptThread = std::thread([this] { AcceptLoop(); });
}

TEKTestServer::~TEKTestServer()
{
    {
        std::lock_guard lock(FMutex);
        FStopping = true;
    }
    FStopCv.notify_all();
    if (FStopPipe[1] >= 0) {
        const char c = 'x';
        [[maybe_unused]] const ssize_t n = ::write(FStopPipe[1], &c, 1);
    }
    if (FAcceptThread.joinable())
        FAcceptThread.join();
    // No new connection threads start once the accept loop has ended.
    for (auto &t : FConnThreads)
        if (t.joinable())
            t.join();
    if (FListen >= 0)
        ::close(FListen);
    for (int p : FStopPipe)
        if (p >= 0)
            ::close(p);
}

std::string TEKTestServer::Url(const std::string &path) const
{
    return "http://127.0.0.1:" + std::to_string(FPort) + "/" + path;
}

void TEKTestServer::Enqueue(TEKTestAnswer answer)
{
    std::lock_guard lock(FMutex);
    FQueue.push_back(std::move(answer));
}

void TEKTestServer::SetDefault(TEKTestAnswer answer)
{
    std::lock_guard lock(FMutex);
    FDefault = std::move(answer);
}

void TEKTestServer::SetHandler(Handler handler)
{
    std::lock_guard lock(FMutex);
    FHandler = std::move(handler);
}

std::vector<TEKTestRequest> TEKTestServer::Requests() const
{
    std::lock_guard lock(FMutex);
    return FRequests;
}

std::size_t TEKTestServer::RequestCount() const
{
    std::lock_guard lock(FMutex);
    return FRequests.size();
}

TEKTestRequest TEKTestServer::LastRequest() const
{
    std::lock_guard lock(FMutex);
    return FRequests.empty() ? TEKTestRequest{} : FRequests.back();
}

void TEKTestServer::ClearRequests()
{
    std::lock_guard lock(FMutex);
    FRequests.clear();
}

bool TEKTestServer::WriteIni(const std::string &fileName, const TEKTestIni &ini) const
{
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out << "[connection]\r\nhost=" << (ini.Host.empty() ? Host() : ini.Host)
        << "\r\nport=" << (ini.Port ? ini.Port : FPort) << "\r\npath=" << ini.Path
        << "\r\nnoopfrequency=" << ini.NoopFrequency << "\r\n";
    for (const auto &line : ini.Connection)
        out << line << "\r\n";
    out << "[client]\r\n";
    for (const auto &line : ini.Client)
        out << line << "\r\n";
    out << ini.Extra;
    return static_cast<bool>(out.flush());
}

int TEKTestServer::DeadPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = 1;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

bool TEKTestServer::WaitReadable(int fd) const
{
    pollfd fds[2] = {{fd, POLLIN, 0}, {FStopPipe[0], POLLIN, 0}};
    for (;;) {
        const int n = ::poll(fds, 2, -1);
        if (n < 0)
            return false;
        if (fds[1].revents)
            return false;
        if (fds[0].revents)
            return true;
    }
}

void TEKTestServer::AcceptLoop()
{
    while (WaitReadable(FListen)) {
        const int fd = ::accept(FListen, nullptr, nullptr);
        if (fd < 0)
            continue;
        std::lock_guard lock(FMutex);
        if (FStopping) {
            ::close(fd);
            break;
        }
        const int serial = ++FConnSerial;
        FConnThreads.emplace_back([this, fd, serial] { Serve(fd, serial); });
    }
}

TEKTestAnswer TEKTestServer::Choose(const TEKTestRequest &request, bool firstOnConnection)
{
    Handler handler;
    TEKTestAnswer answer;
    {
        std::lock_guard lock(FMutex);
        if (FDropRetry) {
            FDropRetry = false;
            if (firstOnConnection) {
                TEKTestAnswer drop;
                drop.Drop = true;
                return drop;
            }
        }
        FRequests.push_back(request);
        if (!FQueue.empty()) {
            answer = std::move(FQueue.front());
            FQueue.pop_front();
        } else if (FHandler) {
            handler = FHandler;
        } else {
            answer = FDefault;
        }
    }
    if (handler)
        answer = handler(request);
    if (answer.Drop && !firstOnConnection) {
        std::lock_guard lock(FMutex);
        FDropRetry = true;
    }
    return answer;
}

void TEKTestServer::Serve(int fd, int serial)
{
    std::string buf;
    // Reads more bytes into buf; false at the end of the connection.
    auto fill = [&]() {
        if (!WaitReadable(fd))
            return false;
        char chunk[65536];
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return false;
        buf.append(chunk, static_cast<std::size_t>(n));
        return true;
    };
    auto readLine = [&](std::string &line) {
        std::size_t pos;
        while ((pos = buf.find("\r\n")) == std::string::npos)
            if (!fill())
                return false;
        line = buf.substr(0, pos);
        buf.erase(0, pos + 2);
        return true;
    };
    auto readBytes = [&](std::size_t n, std::string &out) {
        while (buf.size() < n)
            if (!fill())
                return false;
        out.append(buf, 0, n);
        buf.erase(0, n);
        return true;
    };

    bool first = true;
    for (;;) {
        TEKTestRequest req;
        req.Connection = serial;
        std::string line;
        if (!readLine(line))
            break;
        if (line.empty())
            continue;
        const std::size_t sp1 = line.find(' ');
        const std::size_t sp2 = sp1 == std::string::npos ? sp1 : line.find(' ', sp1 + 1);
        if (sp2 == std::string::npos)
            break;
        req.Method = line.substr(0, sp1);
        req.Target = line.substr(sp1 + 1, sp2 - sp1 - 1);
        bool ok = true;
        for (;;) {
            if (!readLine(line)) {
                ok = false;
                break;
            }
            if (line.empty())
                break;
            const std::size_t colon = line.find(':');
            if (colon == std::string::npos)
                continue;
            req.Headers.emplace_back(line.substr(0, colon), Trim(line.substr(colon + 1)));
        }
        if (!ok)
            break;
        if (Lower(req.Header("Expect")) == "100-continue" &&
            !SendAll(fd, "HTTP/1.1 100 Continue\r\n\r\n"))
            break;
        if (Lower(req.Header("Transfer-Encoding")).find("chunked") != std::string::npos) {
            for (;;) {
                if (!readLine(line)) {
                    ok = false;
                    break;
                }
                const std::size_t size = std::strtoul(line.c_str(), nullptr, 16);
                if (size == 0) {
                    while (readLine(line) && !line.empty()) {
                    }
                    break;
                }
                std::string crlf;
                if (!readBytes(size, req.Body) || !readBytes(2, crlf)) {
                    ok = false;
                    break;
                }
            }
        } else if (req.HasHeader("Content-Length")) {
            const std::size_t size =
                std::strtoull(req.Header("Content-Length").c_str(), nullptr, 10);
            ok = readBytes(size, req.Body);
        }
        if (!ok)
            break;

        const bool close = Lower(req.Header("Connection")) == "close";
        TEKTestAnswer answer = Choose(req, first);
        first = false;
        if (answer.DelayMs > 0) {
            std::unique_lock lock(FMutex);
            FStopCv.wait_for(lock, std::chrono::milliseconds(answer.DelayMs),
                             [this] { return FStopping; });
            if (FStopping)
                break;
        }
        if (answer.Drop)
            break;
        std::string out = "HTTP/1.1 " + std::to_string(answer.Status) + " " + answer.Reason +
                          "\r\nContent-Length: " + std::to_string(answer.Body.size()) + "\r\n";
        for (const auto &[n, v] : answer.Headers)
            out += n + ": " + v + "\r\n";
        if (close)
            out += "Connection: close\r\n";
        out += "\r\n";
        out += answer.Body;
        if (!SendAll(fd, out) || close || answer.CloseAfter)
            break;
    }
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
}
