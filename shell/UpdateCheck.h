// The background check for a newer version: at most once every `newversionfreq` days one
// request to the maker's server, whose reply announces a newer version with "newerEXE". The
// date of the last check is kept in the settings section `misc`.
#pragma once
#include <windows.h>
#include <stdint.h>
#include <stdio.h>

extern int32_t updateCheckRunning; // 1 from the start of the check thread until it ends
extern int32_t updateWaitFlag;     // 1 while a send or read worker is working
extern char updateReplyFile[280];

// Called by the main timer while no job runs; starts the check thread when a check is due.
void CheckForUpdateIfDue();
// 1 when a request was sent and its reply processed; 0 when the reply file or the connection
// could not be set up.
int DownloadVersionReply(const char *requestPath, char *replyBuffer);
// Reads and deletes the reply file; sets newVersionAvailable or stores today's date.
void ParseVersionReply();
// Deletes the reply file unread and stores today's date: a reply too large to be a version
// answer announces nothing.
void DiscardVersionReply();
// 0 on success (the open file in updateReplyStream), else a non-zero code.
int OpenUpdateFileForWriting();
int OpenUpdateFileForReading();
// The reply file lies in a folder the user can change, the temporary or the data folder: it is
// opened and deleted only as CheckedFile.h does it.
void DeleteUpdateReplyFile();
extern FILE *updateReplyStream;

// Two-digit years count as 19xx from 50 on, else 20xx.
int IsValidDate(int month, int day, int year);
void GetNextDay(int month, int day, int year, int *nextMonth, int *nextDay, int *nextYear);
// 1 when a check whose last run was on the stored date is due `today`.
int IsUpdateCheckDue(int frequency, const SYSTEMTIME *today);

// The server asked; `secure` 0 sends plain HTTP (tests talk to a server of their own).
void SetUpdateServerForTesting(const char *host, unsigned short port, int secure);
