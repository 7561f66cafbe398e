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

void ShowColumnChooser(HWND)
{
}

void ShowOptionsDialog(HWND)
{
}

void ShowAboutBox(HWND)
{
}

void ShowCombineSplitZip(HWND)
{
}

void CreateDesktopShortcut(HWND, int)
{
}

void ChooseListFont(HWND)
{
}

void CallHtmlHelp(HWND, const char *, UINT)
{
}

void CheckForUpdateIfDue(HWND)
{
}

void MergeColumnOrderAfterDrag(HWND)
{
}

LRESULT OnMainWindowNotify(HWND, NMHDR *)
{
    return 0;
}
