// Dialogs 156 "Excluded Item Not In A Backup Source" (Yes / No) and 427 "Illegal Excluded
// Item" (OK), shown while an excluded item is added and the warnings are on. Either can turn
// the warnings off for good.
#include <windows.h>

#include "DialogHelpers.h"
#include "FilterOptionsDialog.h"
#include "GlobalSettings.h"
#include "resource.h"

static_assert(IDC_ILLEGAL_EXCLUDED_PATH == IDC_OUTSIDE_SOURCE_PATH &&
                  IDC_ILLEGAL_EXCLUDED_DONT_WARN == IDC_OUTSIDE_SOURCE_DONT_WARN,
              "both warnings share their controls");

namespace {

// `answers` false: every way out of the dialog ends it with 1.
INT_PTR HandleExclusionWarning(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, bool answers)
{
    switch (message) {
    case WM_INITDIALOG:
        CenterDialog(dialog);
        SetDlgItemTextA(dialog, IDC_OUTSIDE_SOURCE_PATH, reinterpret_cast<const char *>(lParam));
        return TRUE;
    case WM_COMMAND: {
        int id = LOWORD(wParam);
        if (id != IDOK && id != IDCANCEL)
            return FALSE;
        if (IsDlgButtonChecked(dialog, IDC_OUTSIDE_SOURCE_DONT_WARN) == BST_CHECKED)
            gSettings.warnBadExclusions = 0;
        EndDialog(dialog, !answers || id == IDOK ? 1 : 0);
        return TRUE;
    }
    case WM_CLOSE:
        // Closed from the title bar: No, as Escape is (never a Yes the user did not give).
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

INT_PTR CALLBACK ExcludedOutsideSourceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return HandleExclusionWarning(dialog, message, wParam, lParam, true);
}

INT_PTR CALLBACK IllegalExcludedItemDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return HandleExclusionWarning(dialog, message, wParam, lParam, false);
}
