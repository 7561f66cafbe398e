// Shell links that start the program: a desktop shortcut that runs one configuration, and the
// start-up shortcut that starts it hidden at logon while `instartup` is on. The calling thread
// must have initialised COM.
#pragma once
#include <windows.h>

// 1 when the shortcut for the configuration at `index` was written.
int CreateDesktopShortcut(HWND owner, int index);
// 1 when the start-up shortcut was written (`instartup` on) or deleted (off).
int UpdateStartupShortcut(HWND owner);
// Creates or updates one link file.
HRESULT WriteShellLink(const char *target, HWND owner, const char *linkPath, const char *description,
                       const char *arguments);
