// The list's font and text colour, chosen in the font dialog and kept until exit.
#include "JobList.h"

#include <commctrl.h>
#include <commdlg.h>

#include "ConfigTable.h"
#include "GlobalSettings.h"
#include "MessageBoxSeam.h"
#include "MsvcrtFormat.h"
#include "ShellState.h"

int ChooseListFont()
{
    LOGFONTA chosen = listFont;
    CHOOSEFONTA dialog;
    ZeroMemory(&dialog, sizeof(dialog));
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = mainWindow;
    dialog.lpLogFont = &chosen;
    dialog.Flags = CF_SCREENFONTS | CF_EFFECTS | CF_NOVERTFONTS | CF_LIMITSIZE | CF_INITTOLOGFONTSTRUCT;
    dialog.nSizeMin = 4;
    dialog.nSizeMax = 32;
    dialog.rgbColors = gSettings.textColor;
    if (!ChooseFontA(&dialog)) {
        DWORD error = CommDlgExtendedError();
        if (error != 0) {
            char text[32];
            FormatText(text, sizeof(text), "%d", (int)error);
            ShowMessageBox(mainWindow, text, "Error", MB_ICONWARNING);
        }
        return 0;
    }
    gSettings.textColor = dialog.rgbColors;
    if (jobListWindow == nullptr)
        return 1;
    SendMessageA(jobListWindow, LVM_SETTEXTCOLOR, 0, (LPARAM)gSettings.textColor);
    // The list lets go of the old font before it is deleted.
    if (listFontHandle != nullptr) {
        SendMessageA(jobListWindow, WM_SETFONT, 0, FALSE);
        DeleteObject(listFontHandle);
        listFontHandle = nullptr;
    }
    listFont = chosen;
    listFontHandle = CreateFontIndirectA(&listFont);
    if (listFontHandle != nullptr)
        SendMessageA(jobListWindow, WM_SETFONT, (WPARAM)listFontHandle, FALSE);
    RedrawWindow(jobListWindow, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    return 1;
}
