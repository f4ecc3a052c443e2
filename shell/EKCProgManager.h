#pragma once

#include "EKBModuleDef.h"
#include "EKBProfileManager.h"
#include "EKCodecs.h"
#include "EKPSetting.h"
#include "EKRes.h"
#include "EKRoot.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

// Base of the program manager: the run and the texts of error codes.
class TEKBProgManager : public TEKRootClass
{
public:
    // The whole run; true when the main window was shown and closed.
    virtual bool Run() = 0;
    // The text of an error code; "??" for every code here.
    virtual std::string ErrorText(int32_t code) const;
};

// The one program manager of the process: owns the settings, the profile
// store, the module list and the locale registry for the whole run and carries
// the run from "start" to "stop".
// Creating it makes it ProgManager(); destroying it clears that.
class TEKCProgManager : public TEKBProgManager
{
public:
    TEKCProgManager();
    ~TEKCProgManager() override;

    // Opens the client log, writes "start", logs in and runs, and always ends
    // with "stop" and the log closed. A failure that escapes the steps is
    // logged (level 9) and ends the run with false.
    bool Run() override;
    std::string ErrorText(int32_t code) const override;

    // Login window; on success loads the locale texts, cleans the temp and log
    // folders and runs the main window. True when the main window ran.
    virtual bool LoginAndRun();
    // The "refreshprofile" exchange: sends the profile values and/or receives
    // them. True on a completed exchange.
    virtual bool RefreshUserProfile(bool send, bool receive);
    // The "modules" exchange; the answer becomes ModuleList. A failed call or
    // an answer that is not a module list is reported and leaves no list.
    virtual void LoadModules();
    // The "logout" exchange, whatever its outcome; then the HTTP client goes.
    virtual void Logout();

    // Loads WEKCli.<language in lower case> into the registry and makes its
    // text function the one ClientText uses. False when it is missing or has
    // no "GetStr" (ClientText then gives "!" and the id).
    bool LoadClientLocales(const std::string &language);
    bool LoadLocaleLibrary(const std::string &baseName, const std::string &extension,
                           TEKGetStrFunc &func);

    TEKPSetting &Setting() { return *FSetting; }
    TEKBProfileManager &ProfileManager() { return *FProfileManager; }
    // The modules the user may open; absent until loaded at login.
    TEKModuleList *ModuleList() const { return FModuleList.get(); }
    void SetModuleList(std::unique_ptr<TEKModuleList> list) { FModuleList = std::move(list); }
    TEKLocRegistry *Locales() const { return FLocales.get(); }

protected:
    // The modal login window; true when it ended accepted.
    virtual bool ExecLoginWindow();
    // Creates the main window as the application's main window and runs the
    // event loop until it has closed.
    virtual void ExecMainWindow();

private:
    std::unique_ptr<TEKPSetting> FSetting;
    std::unique_ptr<TEKBProfileManager> FProfileManager;
    std::unique_ptr<TEKModuleList> FModuleList;
    std::unique_ptr<TEKLocRegistry> FLocales;
};

// The program manager of the process, or nullptr outside its lifetime.
TEKCProgManager *ProgManager();

// Set by the login window once login has succeeded: the server's session
// number (0 before) and the trimmed login name (empty before).
int32_t SessionSeq();
void SetSessionSeq(int32_t seq);
const std::string &UserName();
void SetUserName(const std::string &name);

// --- Folder housekeeping ------------------------------------------------------------

// ExeFolder() + "temp".
std::string TempFolder();
// An absolute name unchanged; otherwise the name (without one leading "\")
// under ExeFolder().
std::string ClientPath(const std::string &name);
// The modification time of the file or folder, in local time; 0 when it does
// not exist.
TEKDateTime FolderDate(const std::string &path);

// Deletes the files of the folder and, recursively, of its subfolders that were
// last changed before now minus maxAgeMinutes (no limit below 1); files
// without write permission are deleted too. A subfolder is cleaned with
// removeSubfolders as its removeSelf, and a folder is removed when asked, when
// everything in it went and its own date (taken before the clean-up) is before
// the cutoff. Symbolic links are removed as links, never followed. False when
// the path is not a folder or anything stayed or could not be removed.
bool CleanFolder(const std::string &path, bool removeSelf, bool removeSubfolders,
                 int32_t maxAgeMinutes);
bool CleanFolder(const std::string &path, bool removeSelf, bool removeSubfolders,
                 int32_t maxAgeMinutes, std::chrono::system_clock::time_point now);
