#pragma once

#include "EKSrvHandler.h"

#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

// The HTTP front of the demo server: POST <path> carries the XML requests,
// POST <path>/upload the multipart file uploads. Listens on 127.0.0.1 only.
class TEKSrvHttp
{
public:
    TEKSrvHttp(TEKSrvHandler &handler, std::string path = "wek");
    ~TEKSrvHttp();
    TEKSrvHttp(const TEKSrvHttp &) = delete;
    TEKSrvHttp &operator=(const TEKSrvHttp &) = delete;

    // Binds 127.0.0.1 at the port (0 picks a free one) and serves on a thread
    // of its own. Returns the bound port, or -1 when it cannot bind.
    int Start(int port);
    // Stops serving and waits for the thread; safe to call twice.
    void Stop();

private:
    TEKSrvHandler &FHandler;
    std::string FPath;
    std::unique_ptr<httplib::Server> FServer;
    std::thread FThread;
};
