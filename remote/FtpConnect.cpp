#include "FtpConnect.h"

#include <atomic>
#include <memory>

#include "PlainPassword.h"

namespace {

const int kReplyTimeoutSeconds = 60;
std::atomic<int> g_replyTimeoutSeconds(kReplyTimeoutSeconds);

enum WorkState { Running, Finished, Abandoned };

// What the job and the worker share; whichever of them lets go last frees it.
struct ConnectWork {
    HINTERNET internet = nullptr;
    std::string server, user;
    char password[64] = "";
    INTERNET_PORT port = 0;
    HANDLE done = nullptr;
    std::atomic<int> state{Running};
    HINTERNET connection = nullptr;
    DWORD error = 0;
    std::string reply;

    ~ConnectWork()
    {
        WipeSecret(password, sizeof(password));
        if (done != nullptr)
            CloseHandle(done);
    }
};

std::string ReadLastReply()
{
    char text[2048] = "";
    DWORD code = 0;
    DWORD length = sizeof(text);
    if (!InternetGetLastResponseInfoA(&code, text, &length))
        return std::string();
    text[sizeof(text) - 1] = '\0';
    std::string reply(text);
    // The last line of the reply, without its line end, so it fits in one log line.
    size_t end = reply.find_last_not_of("\r\n");
    reply.erase(end == std::string::npos ? 0 : end + 1);
    size_t start = reply.find_last_of("\r\n");
    return start == std::string::npos ? reply : reply.substr(start + 1);
}

DWORD WINAPI RunConnect(LPVOID parameter)
{
    std::unique_ptr<std::shared_ptr<ConnectWork>> held(static_cast<std::shared_ptr<ConnectWork> *>(parameter));
    ConnectWork &work = **held;
    work.connection = InternetConnectA(work.internet, work.server.c_str(), work.port, work.user.c_str(), work.password,
                                       INTERNET_SERVICE_FTP, 0, 0);
    work.error = work.connection != nullptr ? 0 : GetLastError();
    WipeSecret(work.password, sizeof(work.password));
    // The reply and the last error belong to this thread; the job reads them from here.
    work.reply = ReadLastReply();
    int expected = Running;
    if (work.state.compare_exchange_strong(expected, Finished)) {
        SetEvent(work.done);
        return 0;
    }
    if (work.connection != nullptr)
        InternetCloseHandle(work.connection);
    InternetCloseHandle(work.internet);
    return 0;
}

// Wine's WinINet can fail a connect with the last error cleared; the failure line must still
// say what failed.
DWORD FailureError(const ConnectWork &work)
{
    if (work.error != 0)
        return work.error;
    if (work.reply.compare(0, 3, "530") == 0)
        return ERROR_INTERNET_LOGIN_FAILURE;
    return ERROR_INTERNET_CANNOT_CONNECT;
}

}  // namespace

int FtpReplyTimeoutSeconds()
{
    return g_replyTimeoutSeconds.load();
}

void SetFtpReplyTimeoutForTesting(int seconds)
{
    g_replyTimeoutSeconds.store(seconds >= 1 && seconds <= kReplyTimeoutSeconds ? seconds : kReplyTimeoutSeconds);
}

FtpConnectOutcome ConnectFtpServer(HINTERNET *internet, const FtpConnectRequest &request, FtpConnectResult *result)
{
    *result = FtpConnectResult();
    auto work = std::make_shared<ConnectWork>();
    work->internet = *internet;
    work->server = request.server;
    work->user = request.user;
    work->port = (INTERNET_PORT)request.port;
    {
        PlainPassword password(request.scrambledPassword);
        lstrcpynA(work->password, password.Text(), sizeof(work->password));
    }
    work->done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    auto *parameter = new std::shared_ptr<ConnectWork>(work);
    HANDLE thread = work->done != nullptr ? CreateThread(nullptr, 0, RunConnect, parameter, 0, nullptr) : nullptr;
    if (thread == nullptr) {
        result->error = GetLastError() != 0 ? GetLastError() : ERROR_NOT_ENOUGH_MEMORY;
        delete parameter;
        return FtpConnectOutcome::Failed;
    }
    CloseHandle(thread);
    ULONGLONG deadline = GetTickCount64() + (ULONGLONG)request.timeoutSeconds * 1000;
    FtpConnectOutcome outcome = FtpConnectOutcome::Connected;
    for (;;) {
        if (WaitForSingleObject(work->done, 100) == WAIT_OBJECT_0)
            break;
        if (request.cancel != nullptr && __atomic_load_n(request.cancel, __ATOMIC_ACQUIRE) != 0)
            outcome = FtpConnectOutcome::Cancelled;
        else if (GetTickCount64() >= deadline)
            outcome = FtpConnectOutcome::TimedOut;
        else
            continue;
        int expected = Running;
        if (work->state.compare_exchange_strong(expected, Abandoned)) {
            *internet = nullptr;
            return outcome;
        }
        break;  // the worker finished just now: take its result after all
    }
    result->connection = work->connection;
    result->reply = work->reply;
    if (result->connection != nullptr)
        return FtpConnectOutcome::Connected;
    result->error = FailureError(*work);
    return FtpConnectOutcome::Failed;
}
