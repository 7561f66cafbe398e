// The plain-FTP connection and login of an upload or a test upload, made through FtpCall.h so
// that a server whose greeting never ends cannot hold the caller: WinINet's InternetConnectA
// waits inside the call for the greeting and the login replies.
#pragma once
#include <windows.h>
#include <wininet.h>

#include "FtpCall.h"

// Connects through the open Internet handle with the plain password, of which the worker keeps
// a copy only until its call returns. Done with *connection NULL is a failure whose last
// error says why (never 0), with the server's last reply there for TakeLastFtpReply. When the
// wait was given up the worker owns the Internet handle from then on and *internet is NULL:
// closing it under a running connect would free what the connect still uses.
FtpCallOutcome ConnectFtpServer(HINTERNET *internet, const char *server, int port, const char *user,
                                const char *password, HINTERNET *connection);
