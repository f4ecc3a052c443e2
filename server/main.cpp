// wek-demo-server: the demo application server for the WEK client.
//
//   wek-demo-server [--port N] [--db FILE] [--path P] [--print-ini] [--ini-out FILE]
//
// --port      port on 127.0.0.1 (default 8080; 0 picks a free one)
// --db        the SQLite file, created and seeded at the first start
//             (default wek-demo.sqlite in the current folder)
// --path      the path of the server address (default wek)
// --print-ini print a WEK.ini for this server and exit
// --ini-out   write a WEK.ini with the bound port once the server listens

#include "EKSrvHandler.h"
#include "EKSrvHttp.h"
#include "EKSrvStore.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <pthread.h>
#include <string>

namespace {

std::string IniText(int port, const std::string &path)
{
    return "[connection]\nhost=127.0.0.1\nport=" + std::to_string(port) + "\npath=" + path +
           "\nnoopfrequency=60\n\n[client]\nlanguage=ENG\ndefaultmodule=100\nlogcomm=0\n"
           "modulewintabs=1\n\n[client_modules]\nm100=WEK demo\nm200=Archive\n";
}

int Usage()
{
    std::cerr << "usage: wek-demo-server [--port N] [--db FILE] [--path P] [--print-ini]"
                 " [--ini-out FILE]\n";
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    int port = 8080;
    std::string db = "wek-demo.sqlite", path = "wek", iniOut;
    bool printIni = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--port" && hasValue) {
            char *end = nullptr;
            const long p = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || p < 0 || p > 65535)
                return Usage();
            port = static_cast<int>(p);
        } else if (a == "--db" && hasValue) {
            db = argv[++i];
        } else if (a == "--path" && hasValue) {
            path = argv[++i];
        } else if (a == "--ini-out" && hasValue) {
            iniOut = argv[++i];
        } else if (a == "--print-ini") {
            printIni = true;
        } else {
            return Usage();
        }
    }
    if (printIni) {
        std::cout << IniText(port, path);
        return 0;
    }

    // Signals are taken by sigwait below, not by the serving threads.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    std::string error;
    auto store = TEKSrvStore::Open(db, error);
    if (!store) {
        std::cerr << "wek-demo-server: " << error << "\n";
        return 1;
    }
    TEKSrvHandler handler(*store);
    TEKSrvHttp http(handler, path);
    const int bound = http.Start(port);
    if (bound < 0) {
        std::cerr << "wek-demo-server: cannot listen on 127.0.0.1:" << port << "\n";
        return 1;
    }
    if (!iniOut.empty()) {
        std::ofstream ini(iniOut, std::ios::binary);
        ini << IniText(bound, path);
        if (!ini) {
            std::cerr << "wek-demo-server: cannot write " << iniOut << "\n";
            return 1;
        }
    }
    std::cout << "wek-demo-server listening on http://127.0.0.1:" << bound << "/" << path
              << " (database " << db << ")" << std::endl;
    int sig = 0;
    sigwait(&signals, &sig);
    http.Stop();
    return 0;
}
