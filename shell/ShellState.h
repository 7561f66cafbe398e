// Window-thread state of the program's shell: handles, sizes and the flags the timer keeps.
#pragma once
#include <windows.h>
#include <stdint.h>

// programInstance and shutDownDone are declared with the table, since the dialogs read them too.
#include "ConfigTable.h"

extern HMENU mainMenu;
extern HACCEL mainAccelerators;
extern HANDLE singleInstanceMutex;
extern HWND jobListWindow;
extern HWND statusBarWindow;
extern int clientWidth;
extern int clientHeight;
extern long long updateCheckBase;   // calendar time in seconds
extern int updateCheckTriggered;
extern int updateCheckDay;          // day of the month of the last trigger
extern int32_t newVersionAvailable; // set by the update check
// Calls of the main window procedure under way; above 1, a dialog, a message box or a job's
// stop entered by one of its handlers is running below the current message.
extern int mainHandlerDepth;

// Seconds since 1970 (UTC) from the program's clock.
long long GetCalendarSeconds();
