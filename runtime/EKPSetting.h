#pragma once

#include "EKRoot.h"

#include <cstdint>
#include <string>
#include <vector>

// The folder of the running executable with a trailing "/": the home of the
// settings file, the locale libraries, "logs" and "temp". Taken from
// /proc/self/exe at first use unless set.
std::string ExeFolder();
// Points every later ExeFolder() at folder (a trailing "/" is added); an empty
// folder returns to the executable's own. For tests and tools.
void SetExeFolder(const std::string &folder);

// Settings kept with the program manager.
class TEKPSetting : public TEKRootClass
{
public:
    std::string Language = "ENG";
    int32_t DefaultModule = 0;
    // "name=value" lines of the sections "client_modules" and "client_icons",
    // in file order.
    std::vector<std::string> ClientModules;
    std::vector<std::string> ClientIcons;
};

// Splits a "client_modules"/"client_icons" line: the name is one arbitrary
// character followed by the module's form id in decimal. False when the line
// has no "=" or the id is not a decimal integer.
bool ParseModuleLine(const std::string &line, int32_t &formId, std::string &value);

// The process-wide settings, readable from any thread once ReadSettings has run.
struct TEKPSettingValues
{
    std::string Host;
    int32_t Port = 0;
    std::string Path;
    int32_t NoopFrequency = 0; // keep-alive interval in seconds
    std::string ProxyHost;
    std::string ProxyPort;
    std::string ProxyUser;
    std::string ProxyPass;
    bool ShowLog = false; // echo log texts into the "Communications" window
    bool LogComm = false; // log every response body
    bool ModuleWinTabs = false;
    bool ModuleWinMax = false;
    int32_t RunNumber = 0;  // 0: not yet determined
    int32_t DocCounter = 0; // numbers the temporary documents of the run
};

TEKPSettingValues &SettingValues();
// Every process-wide value back to its initial value.
void ResetSettingValues();

// Reads ExeFolder() + "WEK.ini" into setting and the process-wide values. A
// missing file reads as empty. Reading stops silently at the first key whose
// value cannot be read: earlier keys keep what was read, that key and later
// ones keep their initial values. True when the server address is usable
// (host not empty, port above 0, keep-alive interval not negative).
bool ReadSettings(TEKPSetting &setting);

// The number of this run: the counter in ExeFolder() + "temp/clglob.bin"
// raised by one at the first call of the process (1 for a missing or short
// file), then the same number. 0 while the counter file cannot be opened or
// created; the next call tries again.
int32_t GetRunNumber();
