#include "FtpConnect.h"

#include <string.h>

#include <memory>
#include <string>

#include "PlainPassword.h"

FtpCallOutcome ConnectFtpServer(HINTERNET *internet, const char *server, int port, const char *user,
                                const char *password, HINTERNET *connection)
{
    *connection = nullptr;
    // The worker's copy of the plain password, wiped once used, and freed whoever lets go of it
    // last.
    auto secret = std::make_shared<SecretText>(password, 64);
    auto made = std::make_shared<HINTERNET>(nullptr);
    HINTERNET parent = *internet;
    std::string host(server), name(user);
    INTERNET_PORT number = (INTERNET_PORT)port;
    bool worked = false;
    FtpCallOutcome outcome = RunFtpCall(
        [=] {
            *made = InternetConnectA(parent, host.c_str(), number, name.c_str(), secret->Text(), INTERNET_SERVICE_FTP,
                                     0, 0);
            DWORD error = GetLastError();
            SecureZeroMemory(secret->Buffer(), secret->Size());
            SetLastError(error);
            return *made != nullptr;
        },
        [=] {
            if (*made != nullptr)
                InternetCloseHandle(*made);
            InternetCloseHandle(parent);
        },
        &worked);
    if (outcome != FtpCallOutcome::Done) {
        *internet = nullptr;
        return outcome;
    }
    *connection = *made;
    if (worked || GetLastError() != 0)
        return outcome;
    // Wine's WinINet can fail a connect with the last error cleared; the failure line must
    // still say what failed.
    char reply[2048];
    bool replied = TakeLastFtpReply(reply, sizeof(reply)) && reply[0] != '\0';
    SetLastError(replied && strncmp(reply, "530", 3) == 0 ? ERROR_INTERNET_LOGIN_FAILURE
                                                          : ERROR_INTERNET_CANNOT_CONNECT);
    return outcome;
}
