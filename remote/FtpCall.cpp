#include "FtpCall.h"

#include <wininet.h>

#include <atomic>
#include <memory>
#include <string>

namespace {

const int kReplyTimeoutSeconds = 60;
std::atomic<int> g_replyTimeoutSeconds(kReplyTimeoutSeconds);

thread_local const volatile uint8_t *t_cancel = nullptr;
thread_local bool t_replyKnown = false;
thread_local bool t_replyFromWorker = false;
thread_local DWORD t_replyNumber = 0;
thread_local std::string t_reply;

enum CallState { Running, Finished, Abandoned };

// What the caller and the worker share; whichever of them lets go last frees it.
struct CallWork {
    std::function<bool()> call;
    std::function<void()> release;
    HANDLE done = nullptr;
    std::atomic<int> state{Running};
    bool worked = false;
    DWORD error = 0;
    bool replyKnown = false;
    DWORD replyNumber = 0;
    std::string reply;

    ~CallWork()
    {
        if (done != nullptr)
            CloseHandle(done);
    }
};

DWORD WINAPI RunCall(LPVOID parameter)
{
    std::unique_ptr<std::shared_ptr<CallWork>> held(static_cast<std::shared_ptr<CallWork> *>(parameter));
    CallWork &work = **held;
    work.worked = work.call();
    work.error = GetLastError();
    // The reply and the last error belong to this thread; the caller takes them from here.
    char text[2048] = "";
    DWORD code = 0;
    DWORD length = sizeof(text);
    work.replyKnown = InternetGetLastResponseInfoA(&code, text, &length) != FALSE;
    text[sizeof(text) - 1] = '\0';
    work.replyNumber = code;
    work.reply = text;
    int expected = Running;
    if (work.state.compare_exchange_strong(expected, Finished)) {
        SetEvent(work.done);
        return 0;
    }
    if (work.release)
        work.release();
    return 0;
}

}  // namespace

FtpCallOutcome RunFtpCall(const std::function<bool()> &call, const std::function<void()> &release, bool *worked)
{
    *worked = false;
    auto work = std::make_shared<CallWork>();
    work->call = call;
    work->release = release;
    work->done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    auto *parameter = new std::shared_ptr<CallWork>(work);
    HANDLE thread = work->done != nullptr ? CreateThread(nullptr, 0, RunCall, parameter, 0, nullptr) : nullptr;
    if (thread == nullptr) {
        delete parameter;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FtpCallOutcome::Done;
    }
    CloseHandle(thread);
    const volatile uint8_t *cancel = t_cancel;
    ULONGLONG deadline = GetTickCount64() + (ULONGLONG)FtpReplyTimeoutSeconds() * 1000;
    while (WaitForSingleObject(work->done, 100) != WAIT_OBJECT_0) {
        bool cancelled = cancel != nullptr && __atomic_load_n(cancel, __ATOMIC_ACQUIRE) != 0;
        if (!cancelled && GetTickCount64() < deadline)
            continue;
        int expected = Running;
        if (!work->state.compare_exchange_strong(expected, Abandoned))
            break;  // it finished just now: take its result after all
        SetLastError(cancelled ? ERROR_INTERNET_OPERATION_CANCELLED : ERROR_INTERNET_TIMEOUT);
        t_replyKnown = false;
        t_replyFromWorker = true;
        return cancelled ? FtpCallOutcome::Cancelled : FtpCallOutcome::TimedOut;
    }
    *worked = work->worked;
    t_replyKnown = work->replyKnown;
    t_replyFromWorker = true;
    t_replyNumber = work->replyNumber;
    t_reply = work->reply;
    SetLastError(work->error);
    return FtpCallOutcome::Done;
}

void WatchFtpCancel(const volatile uint8_t *cancel)
{
    t_cancel = cancel;
}

bool TakeLastFtpReply(char *text, DWORD textSize)
{
    text[0] = '\0';
    if (!t_replyKnown || textSize == 0)
        return false;
    lstrcpynA(text, t_reply.c_str(), (int)textSize);
    return true;
}

bool ReadServerReply(DWORD *number, char *text, DWORD textSize)
{
    if (!t_replyFromWorker) {
        DWORD length = textSize - 1;
        if (!InternetGetLastResponseInfoA(number, text, &length))
            return false;
        text[length < textSize ? length : textSize - 1] = '\0';
        return true;
    }
    *number = t_replyNumber;
    return TakeLastFtpReply(text, textSize);
}

int FtpReplyTimeoutSeconds()
{
    return g_replyTimeoutSeconds.load();
}

void SetFtpReplyTimeoutForTesting(int seconds)
{
    g_replyTimeoutSeconds.store(seconds >= 1 && seconds <= kReplyTimeoutSeconds ? seconds : kReplyTimeoutSeconds);
}
