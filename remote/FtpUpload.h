// Off-site copies by plain FTP through WinINet: the job's ZIP volumes, each verified by its
// size on the server and resumed where a broken transfer left off; the FTP page's test
// upload; and the server's last reply in the log or a message box. Configurations that ask
// for SFTP or FTPS are handed on to SecureFtpUpload.h.
#pragma once
#include <windows.h>
#include <wininet.h>
#include <stdint.h>
#include <stdio.h>

#include "JobContext.h"

// 1 when every volume is on the server (or there was nothing to send, or the job was already
// cancelled); 0 after a failure, which has its line in the log.
int UploadVolumesByFtp(FILE *log, JobContext *context);
// The "Test FTP Settings" button: values as typed (plain password, port 0 = default); the
// outcome is shown in message boxes. 1 when the test file was verified on the server.
int TestFtpUpload(HWND owner, const char *folder, const char *server, const char *user, const char *password,
                  uint32_t flags, int port);

// Test seam: the wait before a resume, 0 to 180 seconds (anything else restores 180).
void SetFtpResumeWaitForTesting(int seconds);

// The rule that only encrypted archives leave the machine, unless the user allows more; a
// refusal has its line in the log.
int IsFtpCopyAllowed(FILE *log, const BackupConfig *config);

// Sends "TYPE I" and "REST 0"; 1 when the server accepts restarts.
int ProbeFtpRestart(HINTERNET connection, FILE *log);
// "label: reply" with the last server reply; 0 without a log or a reply.
int LogFtpResponse(const char *label, FILE *log);
// The last server reply in a message box; 0 without an owner or a reply.
int ShowFtpResponse(HWND owner);

// The calls below wait for the server on a worker thread (FtpCall.h), as the connect does:
// they end on Stop of the job that runs them and after the reply time-out.

// The size of folder + name on the server from a listing of folder; 0 when the listing fails
// or does not hold the name (last error ERROR_NO_MORE_FILES then).
int FindFtpFileSize(HINTERNET connection, const char *folder, const char *name, DWORD flags, int64_t *size);
// A raw command whose reply is read afterwards with ReadFtpResponse.
int SendFtpCommand(HINTERNET connection, const char *command);
// The last server reply into text; 0 when none can be read.
int ReadFtpResponse(char *text, DWORD textSize);
// A remote file opened for a binary upload, or NULL.
HINTERNET OpenFtpFileForWriting(HINTERNET connection, const char *remotePath);
// Closes an open remote file, which waits for the server's reply to the transfer.
void CloseFtpFile(HINTERNET file);
