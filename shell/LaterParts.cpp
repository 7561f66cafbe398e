// Entry points filled by the work that owns them; until then they do nothing visible.
#include "LaterParts.h"

void ShowColumnChooser(HWND)
{
}

void ShowOptionsDialog(HWND)
{
}

void ShowAboutBox(HWND)
{
}

void CreateDesktopShortcut(HWND, int)
{
}

int OpenFilterOptions(HWND)
{
    return 0;
}

void CheckForUpdateIfDue(HWND)
{
}

void MergeColumnOrderAfterDrag(HWND)
{
}
