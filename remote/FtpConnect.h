// The plain-FTP connection of an upload, made on a worker thread. WinINet's InternetConnectA
// waits inside the call for the server's greeting and its answers to the login, and nothing
// from outside can end that wait: a server whose greeting never ends would hold the job for
// ever, out of reach of Stop. So the job waits for the worker instead, watching its cancel
// byte and a time-out. A connect the job gave up on is left to end on its own; the worker then
// closes what it opened, and the Internet handle too, which it takes over (closing that under
// a running connect would free what the connect still uses).
#pragma once
#include <windows.h>
#include <wininet.h>
#include <stdint.h>

#include <string>

enum class FtpConnectOutcome { Connected, Failed, Cancelled, TimedOut };

struct FtpConnectRequest {
    const char *server;
    int port;
    const char *user;
    const char *scrambledPassword;  // as the record holds it; made plain only for the call
    const volatile uint8_t *cancel; // the job's cancel byte; NULL never cancels
    int timeoutSeconds;             // for the connection, the greeting and the login together
};

struct FtpConnectResult {
    HINTERNET connection = nullptr;
    DWORD error = 0;    // why a connect failed; never 0 then
    std::string reply;  // the server's last reply on that connection, if it gave one
};

// Connects through the open Internet handle. When the job gives up (Cancelled, TimedOut) the
// worker owns the handle from then on and *internet is set to NULL.
FtpConnectOutcome ConnectFtpServer(HINTERNET *internet, const FtpConnectRequest &request, FtpConnectResult *result);

// The time-out of the connect and of each reply of a plain-FTP run: 60 seconds; tests shorten
// it (1 to 60 seconds, anything else restores 60).
int FtpReplyTimeoutSeconds();
void SetFtpReplyTimeoutForTesting(int seconds);
