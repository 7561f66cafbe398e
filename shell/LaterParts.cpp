// Entry points filled by the work that owns them; until then they do nothing visible.
#include "LaterParts.h"

void ShowOptionsDialog(HWND)
{
}

int OpenFilterOptions(HWND)
{
    return 0;
}
