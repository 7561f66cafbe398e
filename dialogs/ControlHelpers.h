// Small helpers for the buttons of the dialogs.
#pragma once
#include <windows.h>

inline bool IsBoxChecked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

inline void SetBoxChecked(HWND dialog, int id, bool on)
{
    CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED);
}

// Checks one radio button of a pair whose ids need not be neighbours: CheckRadioButton would
// clear every button whose id lies between the two.
inline void CheckRadioPair(HWND dialog, int first, int second, bool firstChosen)
{
    SetBoxChecked(dialog, first, firstChosen);
    SetBoxChecked(dialog, second, !firstChosen);
}
