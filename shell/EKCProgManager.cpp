#include "EKCProgManager.h"

#include "EKBErrors.h"
#include "EKCInitWin.h"
#include "EKCLog.h"
#include "EKPTransport.h"
#include "EKXML.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <exception>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

TEKCProgManager *gProgManager = nullptr;
int32_t gSessionSeq = 0;
std::string gUserName;

const char kRunSource[] = "EKCProgManager.Run";

std::chrono::system_clock::time_point ModTime(const struct stat &st)
{
    using namespace std::chrono;
    return system_clock::time_point(duration_cast<system_clock::duration>(
        seconds(st.st_mtim.tv_sec) + nanoseconds(st.st_mtim.tv_nsec)));
}

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
    return s;
}

struct CleanRun
{
    bool Limit;
    std::chrono::system_clock::time_point Cutoff;

    bool Folder(const std::string &dir, bool removeSelf, bool removeSubfolders) const
    {
        struct stat st;
        if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return false;
        // Deleting the files changes the folder's own date, so the date that
        // decides its removal is the one it had before.
        bool folderIsNew = Limit && ModTime(st) >= Cutoff;
        std::vector<std::string> names;
        DIR *d = opendir(dir.c_str());
        if (!d)
            return false;
        bool complete = true;
        for (;;) {
            errno = 0;
            dirent *e = readdir(d);
            if (!e) {
                complete = errno == 0;
                break;
            }
            std::string name = e->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(d);

        bool result = true;
        std::string prefix = dir.back() == '/' ? dir : dir + "/";
        for (const std::string &name : names) {
            std::string path = prefix + name;
            struct stat est;
            if (lstat(path.c_str(), &est) != 0) {
                result = false;
                continue;
            }
            if (S_ISDIR(est.st_mode)) {
                // Every subfolder is cleaned, also after something stayed.
                bool sub = Folder(path, removeSubfolders, removeSubfolders);
                result = result && sub;
                continue;
            }
            if (Limit && ModTime(est) >= Cutoff) {
                result = false;
                continue;
            }
            if (!S_ISLNK(est.st_mode) && (est.st_mode & S_IWUSR) == 0)
                chmod(path.c_str(), (est.st_mode & 07777) | S_IWUSR);
            if (unlink(path.c_str()) != 0)
                result = false;
        }
        if (removeSelf && result && complete && dir != "/" && !folderIsNew) {
            if (rmdir(dir.c_str()) != 0)
                result = false;
        }
        return result;
    }
};

} // namespace

std::string TEKBProgManager::ErrorText(int32_t) const
{
    return "??";
}

TEKCProgManager::TEKCProgManager()
    : FSetting(std::make_unique<TEKPSetting>()),
      FProfileManager(std::make_unique<TEKBProfileManager>())
{
    if (!gProgManager)
        gProgManager = this;
}

TEKCProgManager::~TEKCProgManager()
{
    FLocales.reset();
    if (gProgManager == this)
        gProgManager = nullptr;
}

bool TEKCProgManager::Run()
{
    OpenClientLog();
    WriteLog(5, kRunSource, "start");
    bool result = false;
    try {
        result = LoginAndRun();
        if (result) {
            if (!RefreshUserProfile(true, false))
                WriteLog(9, kRunSource, "error writing user profile");
            Logout();
        }
    } catch (const std::exception &e) {
        WriteLog(9, kRunSource, e.what());
        result = false;
    } catch (...) {
        WriteLog(9, kRunSource, "unknown failure");
        result = false;
    }
    WriteLog(5, kRunSource, "stop");
    CloseClientLog();
    return result;
}

std::string TEKCProgManager::ErrorText(int32_t code) const
{
    return ErrorCodeText(code);
}

bool TEKCProgManager::LoginAndRun()
{
    if (!ExecLoginWindow())
        return false;
    FLocales = std::make_unique<TEKLocRegistry>();
    if (!LoadClientLocales(FSetting->Language))
        ShowError("Client locales cannot be opened: " + FSetting->Language);
    CleanFolder(TempFolder(), false, true, 7200);
    CleanFolder(ClientPath("logs"), false, true, 7200);
    ExecMainWindow();
    return true;
}

bool TEKCProgManager::RefreshUserProfile(bool send, bool receive)
{
    try {
        std::unique_ptr<TEKXML> request = FProfileManager->MakeRefreshRequest(send, receive);
        std::unique_ptr<TEKXML> response;
        if (GetSrvXML(*request, response) != ekpcrOK) {
            WriteLog(9, "RefreshUserProfile", "getting profile error");
            return false;
        }
        // The answer's root name is not examined, and a partly failed load
        // keeps what was read: the profile only tunes window layouts.
        if (receive && response)
            FProfileManager->LoadFromXML(response.get());
        return true;
    } catch (...) {
        WriteLog(9, "RefreshUserProfile", "getting profile - internal error");
        return false;
    }
}

void TEKCProgManager::LoadModules()
{
    // A list from an earlier attempt must not outlive a failed reload.
    FModuleList.reset();
    TEKXML request;
    request.SetName("modules");
    std::unique_ptr<TEKXML> response;
    if (GetSrvXML(request, response) != ekpcrOK) {
        ReportCallError("Loading modules list");
        return;
    }
    std::unique_ptr<TEKModuleList> list;
    if (!response || response->Name() != "re_modules" || !LoadModuleList(response.get(), list)) {
        ReportCallError("Loading modules list from XML");
        return;
    }
    FModuleList = std::move(list);
}

void TEKCProgManager::Logout()
{
    TEKXML request;
    request.SetName("logout");
    std::unique_ptr<TEKXML> response;
    GetSrvXML(request, response);
    DestroyHttpClient();
}

bool TEKCProgManager::ExecLoginWindow()
{
    TfmClInit window;
    return window.exec() == QDialog::Accepted;
}

void TEKCProgManager::ExecMainWindow() {}

bool TEKCProgManager::LoadClientLocales(const std::string &language)
{
    TEKGetStrFunc func = nullptr;
    bool ok = LoadLocaleLibrary("WEKCli", Lower(language), func);
    SetClientTextFunc(func);
    return ok;
}

bool TEKCProgManager::LoadLocaleLibrary(const std::string &baseName, const std::string &extension,
                                        TEKGetStrFunc &func)
{
    func = nullptr;
    if (!FLocales)
        FLocales = std::make_unique<TEKLocRegistry>();
    return FLocales->LoadLocaleLibrary(baseName, extension, func);
}

TEKCProgManager *ProgManager()
{
    return gProgManager;
}

int32_t SessionSeq()
{
    return gSessionSeq;
}

void SetSessionSeq(int32_t seq)
{
    gSessionSeq = seq;
}

const std::string &UserName()
{
    return gUserName;
}

void SetUserName(const std::string &name)
{
    gUserName = name;
}

std::string TempFolder()
{
    return ExeFolder() + "temp";
}

std::string ClientPath(const std::string &name)
{
    if (!name.empty() && name.front() == '/')
        return name;
    std::string rest = !name.empty() && name.front() == '\\' ? name.substr(1) : name;
    return ExeFolder() + rest;
}

TEKDateTime FolderDate(const std::string &path)
{
    std::string p = path;
    if (p.size() > 1 && p.back() == '/')
        p.pop_back();
    struct stat st;
    if (p.empty() || lstat(p.c_str(), &st) != 0)
        return 0;
    return UnixTimeToDateTime(st.st_mtim.tv_sec, static_cast<int>(st.st_mtim.tv_nsec / 1000000));
}

bool CleanFolder(const std::string &path, bool removeSelf, bool removeSubfolders,
                 int32_t maxAgeMinutes)
{
    return CleanFolder(path, removeSelf, removeSubfolders, maxAgeMinutes,
                       std::chrono::system_clock::now());
}

bool CleanFolder(const std::string &path, bool removeSelf, bool removeSubfolders,
                 int32_t maxAgeMinutes, std::chrono::system_clock::time_point now)
{
    if (path.empty())
        return false;
    CleanRun run{maxAgeMinutes >= 1,
                 now - std::chrono::minutes(maxAgeMinutes >= 1 ? maxAgeMinutes : 0)};
    try {
        return run.Folder(path, removeSelf, removeSubfolders);
    } catch (const std::exception &e) {
        WriteLog(9, "CleanFolder", e.what());
        return false;
    }
}
