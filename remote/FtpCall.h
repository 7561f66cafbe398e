// The blocking WinINet calls of plain FTP, each made on a worker thread. WinINet waits inside
// the call for the server's reply, and nothing from outside can end that wait: a server that
// never finishes its greeting or a reply would hold the job for ever, out of reach of Stop.
// So the caller waits for the worker instead, watching the cancel byte of its thread and a
// time-out. A call the caller gave up on is left to end on its own; `release` then frees what
// it made. The call's last error comes back as the caller's last error, and the server's last
// reply is what ReadFtpResponse reads afterwards on the caller's thread.
#pragma once
#include <windows.h>
#include <stdint.h>

#include <functional>

enum class FtpCallOutcome { Done, Cancelled, TimedOut };

// Runs call (which must hold only copies: it may outlive the caller) and gives back whether it
// worked. After Cancelled or TimedOut the result is false and the last error tells which.
FtpCallOutcome RunFtpCall(const std::function<bool()> &call, const std::function<void()> &release, bool *worked);

// The cancel byte that this thread's calls watch (NULL: none); a run sets it for its length.
void WatchFtpCancel(const volatile uint8_t *cancel);
// The server's last reply as the last call on this thread left it; false when it gave none.
bool TakeLastFtpReply(char *text, DWORD textSize);
// The error reporters' source of the reply behind WinINet's extended error: the worker's
// reply after a call of this file, else WinINet's own record of this thread's.
bool ReadServerReply(DWORD *number, char *text, DWORD textSize);

// The time-out of the connect and of each reply of plain FTP: 60 seconds; tests shorten it
// (1 to 60 seconds, anything else restores 60).
int FtpReplyTimeoutSeconds();
void SetFtpReplyTimeoutForTesting(int seconds);
