// Entry points filled by the work that owns them; until then they do nothing visible.
#include "LaterParts.h"

void EditBackupConfig(HWND, int)
{
}

void DeleteBackupConfig(HWND)
{
}

void CopyBackupConfig(HWND)
{
}

void ShowOptionsDialog(HWND)
{
}

void CallHtmlHelp(HWND, const char *, UINT)
{
}

int ShowHelpTopic(HWND, int)
{
    return 0;
}

void ShowControlHelpPopup(HWND, int, const char *)
{
}
