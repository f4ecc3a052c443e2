#include "EKPSetting.h"

#include "EKIniFile.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace {

std::mutex gExeFolderLock;
std::string gExeFolder;
TEKPSettingValues gValues;

std::string WithSeparator(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

std::string ProcessExeFolder()
{
    std::string buf(4096, '\0');
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0 || static_cast<size_t>(n) >= buf.size())
        return "./";
    buf.resize(static_cast<size_t>(n));
    size_t slash = buf.rfind('/');
    return slash == std::string::npos ? std::string("./") : buf.substr(0, slash + 1);
}

// Decimal integer with an optional sign, fitting 32 bits; nothing else.
bool ParseInt32(std::string_view text, int32_t &out)
{
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty() || text.front() == '+')
        return false;
    int64_t v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v < INT32_MIN || v > INT32_MAX)
        return false;
    out = static_cast<int32_t>(v);
    return true;
}

struct StopReading
{
};

class Reader
{
public:
    explicit Reader(const TEKIniFile &ini) : FIni(ini) {}
    std::string Text(const char *section, const char *key, const std::string &def = "")
    {
        return FIni.ReadString(section, key, def);
    }
    int32_t Int(const char *section, const char *key, const char *def)
    {
        int32_t v = 0;
        if (!ParseInt32(FIni.ReadString(section, key, def), v))
            throw StopReading{};
        return v;
    }
    bool Switch(const char *section, const char *key)
    {
        return FIni.ReadString(section, key, "") == "1";
    }

private:
    const TEKIniFile &FIni;
};

} // namespace

std::string ExeFolder()
{
    std::lock_guard<std::mutex> lock(gExeFolderLock);
    if (gExeFolder.empty())
        gExeFolder = ProcessExeFolder();
    return gExeFolder;
}

void SetExeFolder(const std::string &folder)
{
    std::lock_guard<std::mutex> lock(gExeFolderLock);
    gExeFolder = folder.empty() ? ProcessExeFolder() : WithSeparator(folder);
}

bool ParseModuleLine(const std::string &line, int32_t &formId, std::string &value)
{
    size_t eq = line.find('=');
    if (eq == std::string::npos || eq < 2)
        return false;
    std::string_view id = std::string_view(line).substr(1, std::min<size_t>(eq - 1, 1000));
    int32_t v = 0;
    if (!ParseInt32(id, v))
        return false;
    formId = v;
    value = line.substr(eq + 1);
    return true;
}

TEKPSettingValues &SettingValues()
{
    return gValues;
}

void ResetSettingValues()
{
    gValues = TEKPSettingValues{};
}

bool ReadSettings(TEKPSetting &setting)
{
    TEKIniFile ini;
    ini.LoadFromFile(ExeFolder() + "WEK.ini");
    Reader r(ini);

    // Read into copies so that a key that fails leaves it and every later key
    // at the initial value; the counters are not settings and stay.
    TEKPSettingValues v;
    v.RunNumber = gValues.RunNumber;
    v.DocCounter = gValues.DocCounter;
    std::string language = setting.Language;
    int32_t defaultModule = setting.DefaultModule;
    std::vector<std::string> modules = setting.ClientModules;
    std::vector<std::string> icons = setting.ClientIcons;
    try {
        v.Host = r.Text("connection", "host");
        v.Port = r.Int("connection", "port", "0");
        std::string path = r.Text("connection", "path");
        if (!path.empty() && path.front() == '/')
            path.erase(0, 1);
        if (!path.empty() && path.back() == '/')
            path.pop_back();
        v.Path = path;
        v.NoopFrequency = r.Int("connection", "noopfrequency", "0");
        v.ProxyHost = r.Text("connection", "proxyhost");
        v.ProxyPort = r.Text("connection", "proxyport");
        v.ProxyUser = r.Text("connection", "proxyuser");
        v.ProxyPass = r.Text("connection", "proxypass");
        v.ShowLog = r.Switch("client", "showlog");
        defaultModule = r.Int("client", "defaultmodule", "0");
        modules = ini.ReadSectionValues("client_modules");
        icons = ini.ReadSectionValues("client_icons");
        language = r.Text("client", "language", language);
        v.LogComm = r.Switch("client", "logcomm");
        v.ModuleWinTabs = r.Switch("client", "modulewintabs");
        v.ModuleWinMax = r.Switch("client", "modulewinmax");
    } catch (const StopReading &) {
    }
    gValues = v;
    setting.Language = language;
    setting.DefaultModule = defaultModule;
    setting.ClientModules = std::move(modules);
    setting.ClientIcons = std::move(icons);
    return !v.Host.empty() && v.Port > 0 && v.NoopFrequency >= 0;
}

int32_t GetRunNumber()
{
    if (gValues.RunNumber > 0)
        return gValues.RunNumber;
    std::string name = ExeFolder() + "temp/clglob.bin";
    // O_CREAT without O_TRUNC: a file that exists but could not be opened a
    // moment ago is never emptied here.
    int fd = open(name.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        fd = open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return 0;
    unsigned char b[4] = {0, 0, 0, 0};
    ssize_t got = pread(fd, b, 4, 0);
    int32_t value = 1;
    if (got == 4) {
        uint32_t stored = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                          static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
        int64_t next = static_cast<int64_t>(static_cast<int32_t>(stored)) + 1;
        // A counter at its end or a damaged negative one starts again at 1:
        // run numbers name files and must stay positive.
        value = next > 0 && next <= INT32_MAX ? static_cast<int32_t>(next) : 1;
    }
    uint32_t u = static_cast<uint32_t>(value);
    unsigned char w[4] = {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
                          static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
    bool written = pwrite(fd, w, 4, 0) == 4;
    close(fd);
    if (!written)
        return 0;
    gValues.RunNumber = value;
    return value;
}
