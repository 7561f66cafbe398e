// The thread of one backup job: every step in its fixed order, the job log and the result.
#pragma once
#include <windows.h>

// Thread procedure; the argument is the configuration's record in the table. The exit code
// is the run's JobResult.
DWORD WINAPI RunBackupJob(LPVOID record);
