// wek-probe [WEK.ini]
//
// Reads the settings file beside the program, or the one named, creates the
// HTTP client with its proxy values and sends "clientinit" and "serverinfo".
// For each call it prints the call result, the last call error and the answer.
// Exit status: 0 when both calls worked, 1 when one failed, 2 when the
// settings give no usable server address.

#include "EKBErrors.h"
#include "EKCLog.h"
#include "EKPSetting.h"
#include "EKPTransport.h"
#include "EKVersion.h"
#include "EKXML.h"

#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char *ResultName(TEKPCallRes result)
{
    switch (result) {
    case ekpcrOK:
        return "ekpcrOK";
    case ekpcrHaltApp:
        return "ekpcrHaltApp";
    case ekpcrError:
        break;
    }
    return "ekpcrError";
}

TEKPCallRes Probe(const std::string &name, TEKXML &request)
{
    std::unique_ptr<TEKXML> response;
    const TEKPCallRes result = GetSrvXML(request, response);
    std::cout << name << ": " << ResultName(result) << "\n";
    std::cout << "last call error: " << LastCallErrorCode();
    if (!LastCallErrorText().empty())
        std::cout << " " << LastCallErrorText();
    std::cout << "\n";
    if (response)
        std::cout << "answer:\n" << response->GetDocumentText() << "\n";
    else
        std::cout << "answer: none\n";
    std::cout << "\n";
    return result;
}

// The settings are read from the folder the client would use: a file that is
// not named WEK.ini is read through a copy under that name.
bool PointAtSettings(const std::string &arg, fs::path &scratch)
{
    std::error_code ec;
    const fs::path file = fs::absolute(arg, ec);
    if (ec || !fs::is_regular_file(file, ec)) {
        std::cerr << "wek-probe: cannot read " << arg << "\n";
        return false;
    }
    if (file.filename() == "WEK.ini") {
        SetExeFolder(file.parent_path().string());
        return true;
    }
    scratch = fs::temp_directory_path(ec) / ("wek-probe-" + std::to_string(::getpid()));
    fs::create_directories(scratch, ec);
    if (ec || !fs::copy_file(file, scratch / "WEK.ini", fs::copy_options::overwrite_existing, ec)) {
        std::cerr << "wek-probe: cannot read " << arg << "\n";
        return false;
    }
    SetExeFolder(scratch.string());
    return true;
}

// The transport's log lines (the "call error: " line with curl's reason, the
// response lines of "logcomm") are printed as they come.
class TPrintingHooks : public TEKGuiHooks
{
public:
    void ShowInfo(const std::string &text) override { std::cout << text << "\n"; }
    void ShowError(const std::string &text) override { std::cout << text << "\n"; }
    bool Confirm(const std::string &, bool) override { return false; }
    void BeginBusy() override {}
    void EndBusy() override {}
    void AppendCommLog(const std::string &text) override { std::cout << "log: " << text << "\n"; }
};

} // namespace

int main(int argc, char **argv)
{
    if (argc > 2) {
        std::cerr << "usage: wek-probe [WEK.ini]\n";
        return 2;
    }
    fs::path scratch;
    if (argc == 2 && !PointAtSettings(argv[1], scratch))
        return 2;
    TEKPSetting setting;
    const bool usable = ReadSettings(setting);
    if (!scratch.empty()) {
        std::error_code ec;
        fs::remove_all(scratch, ec);
    }
    const TEKPSettingValues &s = SettingValues();
    std::cout << "settings: " << ExeFolder() << "WEK.ini\n";
    std::cout << "server: " << ServerAddress() << "\n";
    if (s.ProxyHost.empty())
        std::cout << "proxy: none\n";
    else
        std::cout << "proxy: " << s.ProxyHost << ":" << s.ProxyPort
                  << (s.ProxyUser.empty() ? "" : " as " + s.ProxyUser) << "\n";
    std::cout << "client version: " << WEK_CLIENT_VERSION << "\n\n";
    if (!usable) {
        std::cout << FormatErrorCode(4) << "\n";
        return 2;
    }

    TPrintingHooks hooks;
    SetGuiHooks(&hooks);
    SettingValues().ShowLog = true;
    CreateHttpClient();
    TEKXML clientInit;
    clientInit.SetName("clientinit");
    clientInit.OpenLevel();
    clientInit.AddTextElement("version", WEK_CLIENT_VERSION);
    clientInit.CloseLevel();
    const TEKPCallRes first = Probe("clientinit", clientInit);

    TEKXML serverInfo;
    serverInfo.SetName("serverinfo");
    const TEKPCallRes second = Probe("serverinfo", serverInfo);
    DestroyHttpClient();
    SetGuiHooks(nullptr);
    return first == ekpcrOK && second == ekpcrOK ? 0 : 1;
}
