#include "EKCCallThread.h"

#include "EKCLog.h"

#include <cmath>
#include <condition_variable>
#include <deque>
#include <exception>
#include <future>
#include <mutex>

namespace {

struct TCallSync
{
    std::mutex Lock;
    TEKUiPoster Poster;
    std::deque<std::function<void()>> Queue;
    // Raised whenever a step is handed over, so that a sleeping wait wakes at once.
    std::condition_variable Wake;
    unsigned long Posted = 0;
};

TCallSync &Sync()
{
    static TCallSync sync;
    return sync;
}

} // namespace

void SetCallThreadPoster(TEKUiPoster poster)
{
    std::lock_guard<std::mutex> guard(Sync().Lock);
    Sync().Poster = std::move(poster);
}

int RunPendingCallSteps()
{
    int count = 0;
    for (;;) {
        std::function<void()> step;
        {
            std::lock_guard<std::mutex> guard(Sync().Lock);
            if (Sync().Queue.empty())
                return count;
            step = std::move(Sync().Queue.front());
            Sync().Queue.pop_front();
        }
        step();
        ++count;
    }
}

TCallThread::~TCallThread()
{
    if (FThread.joinable())
        FThread.join();
}

void TCallThread::Attach(TCallExchangeInfo *info)
{
    FInfo = info;
    if (FInfo)
        FInfo->Finished = false;
}

void TCallThread::Start()
{
    if (FThread.joinable() || !FInfo)
        return;
    FThread = std::thread([this] { Execute(); });
}

void TCallThread::Synchronize(const std::function<void()> &step)
{
    std::promise<void> done;
    std::future<void> ran = done.get_future();
    auto run = [&step, &done] {
        try {
            step();
        } catch (...) {
            // A step only copies values; nothing it raises may strand the thread.
        }
        done.set_value();
    };
    TEKUiPoster poster;
    {
        std::lock_guard<std::mutex> guard(Sync().Lock);
        poster = Sync().Poster;
        if (!poster)
            Sync().Queue.push_back(run);
    }
    if (poster)
        poster(run);
    {
        std::lock_guard<std::mutex> guard(Sync().Lock);
        ++Sync().Posted;
    }
    Sync().Wake.notify_all();
    ran.wait();
}

void TCallThread::Execute()
{
    TEKPCallRes result = ekpcrError;
    std::unique_ptr<TEKXML> xml;
    std::unique_ptr<TEKStream> stream;
    try {
        FStatusText = "loading";
        Synchronize([this] { FInfo->StatusText = FStatusText; });
        if (FInfo->WantXML)
            result = GetSrvXML(*FInfo->Request, xml);
        else
            result = GetSrvStream(*FInfo->Request, stream);
    } catch (const std::exception &e) {
        // The wait ends only on Finished, so a failure here must still reach it.
        WriteLog(9, "TCallThread.Execute", e.what());
        result = ekpcrError;
    } catch (...) {
        WriteLog(9, "TCallThread.Execute", "unknown failure");
        result = ekpcrError;
    }
    FStatusText.clear();
    Synchronize([this] { FInfo->StatusText = FStatusText; });
    Synchronize([this, result, &xml, &stream] {
        FInfo->Result = result;
        FInfo->RespXML = std::move(xml);
        FInfo->RespStream = std::move(stream);
        FInfo->Finished = true;
    });
}

std::chrono::milliseconds PollPause(int pollCount)
{
    constexpr int quietPolls = 10;
    constexpr int ceilingMs = 100;
    if (pollCount <= quietPolls)
        return std::chrono::milliseconds(0);
    return std::chrono::milliseconds(pollCount < ceilingMs ? pollCount : ceilingMs);
}

TEKPCallRes WaitForBackgroundCall(bool wantXML, TEKXML &request,
                                  std::unique_ptr<TEKStream> &respStream,
                                  std::unique_ptr<TEKXML> &respXML, const TEKCallWaitHooks &hooks)
{
    respStream.reset();
    respXML.reset();
    const auto start = std::chrono::steady_clock::now();
    TCallExchangeInfo info(&request, wantXML);
    TCallThread thread;
    thread.Attach(&info);
    thread.Start();

    int polls = 0;
    for (;;) {
        unsigned long postedBefore;
        {
            std::lock_guard<std::mutex> guard(Sync().Lock);
            postedBefore = Sync().Posted;
        }
        if (hooks.ProcessEvents)
            hooks.ProcessEvents();
        RunPendingCallSteps();
        if (hooks.ShowProgress) {
            const std::chrono::duration<double, std::milli> elapsed =
                std::chrono::steady_clock::now() - start;
            hooks.ShowProgress(info.StatusText, std::llround(elapsed.count()));
        }
        if (info.Finished)
            break;
        ++polls;
        const auto pause = PollPause(polls);
        if (pause.count() > 0) {
            // A step handed over meanwhile ends the pause early.
            std::unique_lock<std::mutex> lock(Sync().Lock);
            Sync().Wake.wait_for(lock, pause, [&] { return Sync().Posted != postedBefore; });
        }
    }
    if (wantXML)
        respXML = std::move(info.RespXML);
    else
        respStream = std::move(info.RespStream);
    return info.Result;
}
