#include "EKCLog.h"

#include "EKPSetting.h"
#include "EKWin1250.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <unistd.h>

namespace {

struct TTraceFileInfo
{
    int32_t Id = 0;
    int Fd = -1;
    bool Open = false;
    std::string NamePattern;
    TEKDateTime NextSwitch = 0; // 0: never
};

std::mutex gLogLock; // guards the table, the id counter and the client log id
std::array<std::unique_ptr<TTraceFileInfo>, kMaxLogFiles> gTable;
int32_t gLastId = 0;
int32_t gClientLogId = 0;

std::mutex gClockLock;
std::function<TEKDateTime()> gClock;

TTraceFileInfo *FindEntry(int32_t id)
{
    if (id <= 0)
        return nullptr;
    for (auto &e : gTable)
        if (e && e->Id == id)
            return e.get();
    return nullptr;
}

void CloseEntry(TTraceFileInfo &e)
{
    if (e.Fd >= 0)
        close(e.Fd);
    e.Fd = -1;
    e.Open = false;
}

bool WriteAll(int fd, const std::string &bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

void ReplaceAll(std::string &s, const std::string &what, const std::string &with)
{
    for (size_t pos = s.find(what); pos != std::string::npos; pos = s.find(what, pos + with.size()))
        s.replace(pos, what.size(), with);
}

void OpenEntry(TTraceFileInfo &e, TEKDateTime time)
{
    std::string name = e.NamePattern;
    enum
    {
        none,
        day,
        hour,
        minute
    } unit = none;
    if (name.find("<yyyymmdd>") != std::string::npos) {
        ReplaceAll(name, "<yyyymmdd>", FormatDateValue("yyyymmdd", time));
        unit = day;
    }
    if (name.find("<hh>") != std::string::npos) {
        ReplaceAll(name, "<hh>", FormatDateValue("hh", time));
        unit = hour;
    }
    if (name.find("<nn>") != std::string::npos) {
        ReplaceAll(name, "<nn>", FormatDateValue("nn", time));
        unit = minute;
    }
    switch (unit) {
    case day:
        e.NextSwitch = DateOnly(time) + 1;
        break;
    case hour:
        e.NextSwitch = TruncToHour(time + 1.0 / 24);
        break;
    case minute:
        e.NextSwitch = TruncToMinute(time + 1.0 / 1440);
        break;
    case none:
        break;
    }
    int fd = open(name.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd >= 0) {
        WriteAll(fd, "\n");
    } else if (errno == ENOENT) {
        // Create only a file that does not exist: a log that exists but cannot
        // be opened now keeps its contents.
        fd = open(name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    }
    if (fd < 0)
        return;
    e.Fd = fd;
    e.Open = true;
    WriteAll(fd, Utf8ToWin1250("file opened: " + name) + "\n");
}

class TEKSilentHooks : public TEKGuiHooks
{
public:
    void ShowInfo(const std::string &text) override { WriteLog(5, "information box", text); }
    void ShowError(const std::string &text) override { WriteLog(9, "error box", text); }
    bool Confirm(const std::string &text, bool) override
    {
        WriteLog(5, "confirmation box", text + " (no)");
        return false;
    }
    void BeginBusy() override {}
    void EndBusy() override {}
    void AppendCommLog(const std::string &) override {}
};

TEKSilentHooks gSilentHooks;
std::atomic<TEKGuiHooks *> gHooks{nullptr};

std::mutex gBusyLock;
std::atomic<TEKCursor> gCursor{ekcurDefault};

} // namespace

bool RegisterLogFile(const std::string &namePattern, int32_t &id)
{
    id = 0;
    try {
        std::lock_guard<std::mutex> lock(gLogLock);
        for (auto &slot : gTable) {
            if (slot)
                continue;
            slot = std::make_unique<TTraceFileInfo>();
            slot->Id = ++gLastId;
            slot->NamePattern = namePattern;
            id = slot->Id;
            return true;
        }
    } catch (...) {
    }
    return false;
}

void UnregisterLogFile(int32_t id)
{
    std::lock_guard<std::mutex> lock(gLogLock);
    for (auto &slot : gTable) {
        if (slot && slot->Id == id) {
            CloseEntry(*slot);
            slot.reset();
        }
    }
}

void WriteLogLine(int32_t id, int32_t level, const std::string &source, bool withTime,
                  const std::string &text, TEKDateTime time)
{
    try {
        std::string line = std::to_string(level) + "; ";
        if (withTime)
            line += FormatDateValue("dd.mm.yyyy hh:nn:ss", time) + "; ";
        line += source + "; " + text;
        std::string bytes = Utf8ToWin1250(line) + "\n";

        std::lock_guard<std::mutex> lock(gLogLock);
        TTraceFileInfo *e = FindEntry(id);
        if (!e)
            return;
        if (e->Open && e->NextSwitch != 0 && time >= e->NextSwitch)
            CloseEntry(*e);
        if (!e->Open)
            OpenEntry(*e, time);
        if (e->Open)
            WriteAll(e->Fd, bytes);
    } catch (...) {
    }
}

void OpenClientLog()
{
    try {
        std::string pattern =
            ExeFolder() + "logs/WEKCl<yyyymmdd>_" + std::to_string(GetRunNumber()) + ".log";
        CloseClientLog();
        int32_t id = 0;
        RegisterLogFile(pattern, id);
        std::lock_guard<std::mutex> lock(gLogLock);
        gClientLogId = id;
    } catch (...) {
    }
}

void CloseClientLog()
{
    int32_t id;
    {
        std::lock_guard<std::mutex> lock(gLogLock);
        id = gClientLogId;
        gClientLogId = 0;
    }
    if (id != 0)
        UnregisterLogFile(id);
}

int32_t ClientLogId()
{
    std::lock_guard<std::mutex> lock(gLogLock);
    return gClientLogId;
}

void SetLogClock(std::function<TEKDateTime()> clock)
{
    std::lock_guard<std::mutex> lock(gClockLock);
    gClock = std::move(clock);
}

void WriteLog(int32_t level, const std::string &source, const std::string &text)
{
    try {
        TEKDateTime now;
        {
            std::lock_guard<std::mutex> lock(gClockLock);
            now = gClock ? gClock() : Now();
        }
        WriteLogLine(ClientLogId(), level, source, true, text, now);
        if (SettingValues().ShowLog)
            GuiHooks().AppendCommLog(text);
    } catch (...) {
    }
}

void SetGuiHooks(TEKGuiHooks *hooks)
{
    gHooks.store(hooks);
}

TEKGuiHooks &GuiHooks()
{
    TEKGuiHooks *h = gHooks.load();
    return h ? *h : gSilentHooks;
}

TEKMsgDlgButton MessageDialog(TEKMsgDlgKind kind, const std::string &text, bool defaultYes)
{
    switch (kind) {
    case ekmdkConfirmation:
        return GuiHooks().Confirm(text, defaultYes) ? ekmdbYes : ekmdbNo;
    case ekmdkInformation:
        GuiHooks().ShowInfo(text);
        return ekmdbOK;
    case ekmdkError:
        break;
    }
    GuiHooks().ShowError(text);
    return ekmdbOK;
}

void ShowInfo(const std::string &text)
{
    MessageDialog(ekmdkInformation, text, false);
}

void ShowError(const std::string &text)
{
    MessageDialog(ekmdkError, text, false);
}

bool Confirm(const std::string &text, bool defaultYes)
{
    return MessageDialog(ekmdkConfirmation, text, defaultYes) == ekmdbYes;
}

void ShowUserError(const std::string &title, const std::string &text)
{
    WriteLog(9, "user error", title + ": " + text);
    ShowError(title.empty() ? text : title + "\r\n" + text);
}

void SetCurrentCursor(TEKCursor cursor)
{
    // Serialized so that the hooks see strict Begin/End pairs even when two
    // threads switch at once.
    std::lock_guard<std::mutex> lock(gBusyLock);
    TEKCursor was = gCursor.exchange(cursor);
    if (was == cursor)
        return;
    if (cursor == ekcurHourGlass)
        GuiHooks().BeginBusy();
    else
        GuiHooks().EndBusy();
}

void BeginBusy()
{
    SetCurrentCursor(ekcurHourGlass);
}

void EndBusy()
{
    SetCurrentCursor(ekcurDefault);
}

TEKCursor CurrentCursor()
{
    return gCursor.load();
}
