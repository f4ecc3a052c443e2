#pragma once

#include "EKCodecs.h"

#include <cstdint>
#include <functional>
#include <string>

// --- Log-file table -------------------------------------------------------------
//
// Up to 10 log files, each named by a pattern whose placeholders "<yyyymmdd>",
// "<hh>" and "<nn>" are filled from the time of the line; a file switches to
// its next name at the start of the next day, hour or minute (the finest
// placeholder wins). Lines are windows-1250 text; every line is on disk when
// the call returns. Writing is serialized, so any thread may log. Logging never
// raises and never reports a failure.

constexpr int kMaxLogFiles = 10;

// Adds an entry; false, with id 0, when the table is full. Ids start at 1 and
// are never reused in the process.
bool RegisterLogFile(const std::string &namePattern, int32_t &id);
// Closes and removes the entry; an unknown id does nothing.
void UnregisterLogFile(int32_t id);
// Writes "level; [dd.mm.yyyy hh:nn:ss; ]source; text" to the entry's file,
// opening (or switching) the file first. An existing file is appended to after
// one empty line; a missing one is created; an existing file is never emptied.
// Each opening writes the line "file opened: " and the file name.
void WriteLogLine(int32_t id, int32_t level, const std::string &source, bool withTime,
                  const std::string &text, TEKDateTime time);

// The client's own log: ExeFolder() + "logs/WEKCl<yyyymmdd>_" + run number +
// ".log". The folder is not created; without it nothing is logged.
void OpenClientLog();
void CloseClientLog();
int32_t ClientLogId();

// Logs a line with the current local time to the client log and, with the
// "showlog" switch on, echoes the text alone into the "Communications" window.
void WriteLog(int32_t level, const std::string &source, const std::string &text);

// The clock of WriteLog; an empty function returns to the local time. For tests.
void SetLogClock(std::function<TEKDateTime()> clock);

// --- Messages, busy cursor, communications window ---------------------------------

enum TEKMsgDlgKind
{
    ekmdkError,
    ekmdkInformation,
    ekmdkConfirmation
};
enum TEKMsgDlgButton
{
    ekmdbOK,
    ekmdbYes,
    ekmdbNo
};
enum TEKCursor
{
    ekcurDefault,
    ekcurHourGlass
};

// What the user interface provides to the core. The core calls these from any
// thread; an implementation that needs its own thread marshals to it. Message
// boxes block the caller until they are answered.
class TEKGuiHooks
{
public:
    virtual ~TEKGuiHooks() = default;
    // Modal boxes titled "Information", "Error" and "Confirmation".
    virtual void ShowInfo(const std::string &text) = 0;
    virtual void ShowError(const std::string &text) = 0;
    // Yes/No box with the captions "yes" and "no"; true for Yes. Without
    // defaultYes the No button has the focus.
    virtual bool Confirm(const std::string &text, bool defaultYes) = 0;
    // The application-wide hourglass on and off. The core calls them in pairs:
    // EndBusy only after a BeginBusy.
    virtual void BeginBusy() = 0;
    virtual void EndBusy() = 0;
    // Appends a line to the "Communications" window, opening it when absent.
    virtual void AppendCommLog(const std::string &text) = 0;
};

// Installs the user interface's hooks (not owned; they must outlive their
// use). nullptr restores the silent default: no windows, messages only logged,
// Confirm answers false. Install before other threads start, remove after.
void SetGuiHooks(TEKGuiHooks *hooks);
TEKGuiHooks &GuiHooks();

// The keep-alive timer of the main window, as the transport holds it still
// around each call. Safe to call from any thread.
class IEKKeepAliveTimer
{
public:
    virtual ~IEKKeepAliveTimer() = default;
    virtual bool GetEnabled() const = 0;
    virtual void SetEnabled(bool enabled) = 0;
};

// Returns the button pressed: Yes or No for a confirmation, OK otherwise.
TEKMsgDlgButton MessageDialog(TEKMsgDlgKind kind, const std::string &text, bool defaultYes);
void ShowInfo(const std::string &text);
void ShowError(const std::string &text);
bool Confirm(const std::string &text, bool defaultYes);
// Logs (level 9, "user error", title + ": " + text) and shows the failure:
// the title, a line break and the text, or the text alone for an empty title.
void ShowUserError(const std::string &title, const std::string &text);

// BeginBusy sets the hourglass, EndBusy the default cursor (it does not
// restore an earlier one: a caller that needs to, saves CurrentCursor and puts
// it back with SetCurrentCursor). Safe from any thread.
void BeginBusy();
void EndBusy();
TEKCursor CurrentCursor();
void SetCurrentCursor(TEKCursor cursor);
