#pragma once

#include "EKPTransport.h"
#include "EKRoot.h"
#include "EKXML.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

// Hands a step to the user-interface thread, to run there when that thread next
// handles its events. It must not wait for the step; the call thread waits.
using TEKUiPoster = std::function<void(std::function<void()> step)>;

// Installs the GUI's poster (process-wide). An empty poster restores the
// default: steps queue until RunPendingCallSteps runs them on the waiting thread.
void SetCallThreadPoster(TEKUiPoster poster);
// Runs the steps queued under the default poster; returns how many ran.
int RunPendingCallSteps();

// One background call: written on the waiting (user-interface) thread only,
// Finished last.
class TCallExchangeInfo : public TEKRootClass
{
public:
    // The request is not owned and must outlive the call.
    TCallExchangeInfo(TEKXML *request, bool wantXML) : Request(request), WantXML(wantXML) {}

    TEKXML *Request;
    bool WantXML;
    bool Finished = false;
    TEKPCallRes Result = ekpcrError;
    std::unique_ptr<TEKXML> RespXML;
    std::unique_ptr<TEKStream> RespStream;
    std::string StatusText;
};

// The thread of one background call. Its body makes the transport call and
// hands status and results over in steps that run on the user-interface thread
// while the body waits for them. The owner joins it on destruction.
class TCallThread
{
public:
    TCallThread() = default;
    virtual ~TCallThread();
    TCallThread(const TCallThread &) = delete;
    TCallThread &operator=(const TCallThread &) = delete;

    void Attach(TCallExchangeInfo *info);
    // Starts the body once; later calls do nothing.
    void Start();

protected:
    virtual void Execute();
    // Runs the step on the user-interface thread and returns when it has run.
    void Synchronize(const std::function<void()> &step);

    TCallExchangeInfo *FInfo = nullptr;
    std::string FStatusText;

private:
    std::thread FThread;
};

// What the waiting window supplies: its event handling and its status panels.
struct TEKCallWaitHooks
{
    // Handles pending user-interface events; the thread's steps run in here.
    std::function<void()> ProcessEvents;
    // Shows the record's status text and the milliseconds since the start.
    std::function<void(const std::string &status, long long elapsedMs)> ShowProgress;
};

// The waiting operation of a background call: starts a call thread and handles
// events until it has finished. Out values are set to none first; the caller
// owns the answer handed out (the document when wantXML, else the stream).
TEKPCallRes WaitForBackgroundCall(bool wantXML, TEKXML &request,
                                  std::unique_ptr<TEKStream> &respStream,
                                  std::unique_ptr<TEKXML> &respXML, const TEKCallWaitHooks &hooks);

// How long the wait sleeps after the given number of polls: nothing for the
// first 10, then as many milliseconds as polls, up to a ceiling so that the
// window still answers within a tenth of a second during a very long call.
std::chrono::milliseconds PollPause(int pollCount);

// Implemented by a window that can run a call in the background (the module
// window); a call context bound to one sends its requests that way.
class IEKBackgroundCaller
{
public:
    virtual TEKPCallRes BackgroundCallXML(TEKXML &request, std::unique_ptr<TEKXML> &response) = 0;

protected:
    ~IEKBackgroundCaller() = default;
};
