// The check thread and its request. Each blocking WinINet call runs on a short-lived worker
// thread that the check thread polls, so nothing here can block the window thread.
#include "UpdateCheck.h"

#include <process.h>
#include <stdlib.h>
#include <wininet.h>

#include "CheckedFile.h"
#include "Clock.h"
#include "GlobalSettings.h"
#include "MessageBoxSeam.h"
#include "MsvcrtFormat.h"
#include "ProgramVersion.h"
#include "ShellState.h"

int32_t updateCheckRunning = 0;
int32_t updateWaitFlag = 0;
char updateReplyFile[280];

namespace {

const size_t kRequestPathSize = 4097;
const DWORD kReplyBlockSize = 8192;
// A version reply is a line or two; anything past two blocks is not one, and is not kept.
const DWORD kReplyLimit = 2 * kReplyBlockSize;
const DWORD kRequestFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_SECURE | INTERNET_FLAG_PRAGMA_NOCACHE;

struct UpdateServer {
    char host[128];
    unsigned short port;
    int secure;
};
UpdateServer updateServer = {"www.velloran.example", INTERNET_DEFAULT_HTTPS_PORT, 1};

struct SendRequestBlock {
    HINTERNET request;
    BOOL result;
};

struct ReadReplyBlock {
    HINTERNET request;
    char *buffer;
    DWORD size;
    DWORD *bytesRead;
    BOOL result;
};

int32_t LoadFlag(const int32_t *flag)
{
    return __atomic_load_n(flag, __ATOMIC_ACQUIRE);
}

void StoreFlag(int32_t *flag, int32_t value)
{
    __atomic_store_n(flag, value, __ATOMIC_RELEASE);
}

// The result is stored before the flag drops: the waiting thread reads it right after.
void __cdecl SendRequestThread(void *argument)
{
    SendRequestBlock *block = (SendRequestBlock *)argument;
    block->result = HttpSendRequestA(block->request, nullptr, 0, nullptr, 0);
    StoreFlag(&updateWaitFlag, 0);
}

void __cdecl ReadReplyThread(void *argument)
{
    ReadReplyBlock *block = (ReadReplyBlock *)argument;
    block->result = InternetReadFile(block->request, block->buffer, block->size, block->bytesRead);
    StoreFlag(&updateWaitFlag, 0);
}

// Starts a worker and polls until it has finished; a worker that cannot start counts as a
// failed call.
void RunWorker(void(__cdecl *worker)(void *), void *block, DWORD pollMilliseconds)
{
    StoreFlag(&updateWaitFlag, 1);
    if (_beginthread(worker, 0, block) == (uintptr_t)-1L) {
        StoreFlag(&updateWaitFlag, 0);
        return;
    }
    while (LoadFlag(&updateWaitFlag) != 0)
        Sleep(pollMilliseconds);
}

void UseDataFolderReplyFile()
{
    FormatText(updateReplyFile, sizeof(updateReplyFile), "%sversion.txt", dataFolder);
}

int OpenReplyFile()
{
    char tempFolder[261];
    DWORD length = GetTempPathA(260, tempFolder);
    if (length == 0 || length > 260)
        lstrcpyA(tempFolder, ".");
    if (GetTempFileNameA(tempFolder, "int", 0, updateReplyFile) == 0)
        UseDataFolderReplyFile();
    FileCheck check;
    updateReplyStream = OpenCheckedStream(updateReplyFile, "w", FILE_SHARE_READ | FILE_SHARE_WRITE, &check);
    if (updateReplyStream != nullptr)
        return 1;
    UseDataFolderReplyFile();
    return OpenUpdateFileForWriting() == 0;
}

// Sends the request and appends the reply to the reply file. False when the reply grew past
// kReplyLimit: the reading stops there and what was stored is no answer.
bool SendAndReadReply(HINTERNET request, char *replyBuffer)
{
    SendRequestBlock send = {request, FALSE};
    RunWorker(SendRequestThread, &send, 5);
    if (!send.result)
        return true;
    DWORD total = 0;
    for (;;) {
        DWORD bytesRead = 0;
        ReadReplyBlock read = {request, replyBuffer, kReplyBlockSize, &bytesRead, FALSE};
        RunWorker(ReadReplyThread, &read, 1);
        if (!read.result)
            return true;
        if (bytesRead > kReplyBlockSize)
            bytesRead = kReplyBlockSize;
        total += bytesRead;
        if (total > kReplyLimit)
            return false;
        replyBuffer[bytesRead] = '\0';
        fputs(replyBuffer, updateReplyStream);
        if (bytesRead == 0)
            return true;
    }
}

void __cdecl UpdateCheckThread(void *)
{
    char *replyBuffer = (char *)malloc(kReplyBlockSize + 1);
    char *requestPath = (char *)malloc(kRequestPathSize);
    if (replyBuffer != nullptr && requestPath != nullptr) {
        int major = 0, minor = 0, third = 0;
        GetProgramVersion(&major, &minor, &third);
        FormatText(requestPath, kRequestPathSize, "/%s%dp%d", "cgi-bin/vlrversion.cgi?PROGVERS=", major, minor);
        DownloadVersionReply(requestPath, replyBuffer);
    }
    free(replyBuffer);
    free(requestPath);
    StoreFlag(&updateCheckRunning, 0);
}

}  // namespace

int DownloadVersionReply(const char *requestPath, char *replyBuffer)
{
    if (!OpenReplyFile())
        return 0;
    HINTERNET internet = InternetOpenA(kProductName, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    HINTERNET connection = nullptr;
    HINTERNET request = nullptr;
    if (internet != nullptr)
        connection = InternetConnectA(internet, updateServer.host, updateServer.port, nullptr, nullptr,
                                      INTERNET_SERVICE_HTTP, 0, 0);
    if (connection != nullptr)
        request = HttpOpenRequestA(connection, "GET", requestPath, nullptr, nullptr, nullptr,
                                   updateServer.secure ? kRequestFlags : kRequestFlags & ~INTERNET_FLAG_SECURE, 0);
    if (request == nullptr) {
        // Nothing is stored, so the check is tried again at its next trigger; the empty reply
        // file goes too.
        if (connection != nullptr)
            InternetCloseHandle(connection);
        if (internet != nullptr)
            InternetCloseHandle(internet);
        fclose(updateReplyStream);
        updateReplyStream = nullptr;
        DeleteUpdateReplyFile();
        return 0;
    }
    bool fits = SendAndReadReply(request, replyBuffer);
    InternetCloseHandle(request);
    InternetCloseHandle(connection);
    InternetCloseHandle(internet);
    fclose(updateReplyStream);
    updateReplyStream = nullptr;
    if (fits)
        ParseVersionReply();
    else
        DiscardVersionReply();
    return 1;
}

void CheckForUpdateIfDue()
{
    int frequency = gSettings.newVersionFrequency;
    if (frequency <= 0 || LoadFlag(&newVersionAvailable) == 1 || LoadFlag(&updateCheckRunning) == 1)
        return;
    SYSTEMTIME today;
    GetLocalNow(&today);
    if (!IsUpdateCheckDue(frequency, &today))
        return;
    StoreFlag(&updateCheckRunning, 1);
    if (_beginthread(UpdateCheckThread, 0, nullptr) == (uintptr_t)-1L)
        StoreFlag(&updateCheckRunning, 0);
}

void SetUpdateServerForTesting(const char *host, unsigned short port, int secure)
{
    lstrcpynA(updateServer.host, host, sizeof(updateServer.host));
    updateServer.port = port;
    updateServer.secure = secure;
}
