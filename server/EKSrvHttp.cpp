#include "EKSrvHttp.h"

#include <httplib.h>

#include <chrono>

namespace {

// Set aside by the pre-routing step for uploads (see Start).
const char *kUploadTypeHeader = "X-WEK-Upload-Content-Type";

} // namespace

TEKSrvHttp::TEKSrvHttp(TEKSrvHandler &handler, std::string path)
    : FHandler(handler), FPath(std::move(path))
{
    while (!FPath.empty() && FPath.front() == '/')
        FPath.erase(0, 1);
    while (!FPath.empty() && FPath.back() == '/')
        FPath.pop_back();
}

TEKSrvHttp::~TEKSrvHttp()
{
    Stop();
}

int TEKSrvHttp::Start(int port)
{
    Stop();
    FServer = std::make_unique<httplib::Server>();
    httplib::Server &srv = *FServer;
    const std::string base = FPath.empty() ? "" : "/" + FPath;
    const std::string uploadPath = base + "/upload";
    srv.set_payload_max_length(64u * 1024u * 1024u);
    // The library's default also sets SO_REUSEPORT, which lets a second
    // server bind the same port and take half of the connections (and so
    // half of the sessions); only address reuse is wanted.
    srv.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });

    // The client's upload body has no closing boundary, which the library's
    // own multipart parser rejects; the body is therefore taken as plain
    // bytes and parsed by the handler.
    srv.set_pre_routing_handler([uploadPath](const httplib::Request &creq, httplib::Response &) {
        auto &req = const_cast<httplib::Request &>(creq);
        if (req.path == uploadPath && req.is_multipart_form_data()) {
            const std::string type = req.get_header_value("Content-Type");
            req.headers.erase("Content-Type");
            req.headers.emplace("Content-Type", "application/octet-stream");
            req.headers.emplace(kUploadTypeHeader, type);
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });

    auto xml = [this](const httplib::Request &req, httplib::Response &res) {
        const TEKSrvReply r = FHandler.HandleRequest(req.body, req.get_header_value("Cookie"));
        if (!r.SetCookie.empty())
            res.set_header("Set-Cookie", r.SetCookie);
        res.set_content(r.Body, r.ContentType.c_str());
    };
    srv.Post(base.empty() ? "/" : base, xml);
    if (!base.empty())
        srv.Post(base + "/", xml);
    srv.Post(uploadPath, [this](const httplib::Request &req, httplib::Response &res) {
        const TEKSrvReply r = FHandler.HandleUpload(
            req.body, req.get_header_value(kUploadTypeHeader), req.get_header_value("Cookie"));
        res.set_content(r.Body, r.ContentType.c_str());
    });

    const int bound = port == 0                             ? srv.bind_to_any_port("127.0.0.1")
                      : srv.bind_to_port("127.0.0.1", port) ? port
                                                            : -1;
    if (bound < 0) {
        FServer.reset();
        return -1;
    }
    FThread = std::thread([&srv] { srv.listen_after_bind(); });
    // A stop before the loop runs would be lost, so wait until it runs.
    for (int i = 0; i < 5000 && !srv.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return bound;
}

void TEKSrvHttp::Stop()
{
    if (FServer)
        FServer->stop();
    if (FThread.joinable())
        FThread.join();
    FServer.reset();
}
