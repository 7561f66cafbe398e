#include "CombineSplitZipDialog.h"

#include <commctrl.h>
#include <process.h>
#include <string.h>

#include "CombineSplitZip.h"
#include "DialogHelpers.h"
#include "FileChoosers.h"
#include "GlobalSettings.h"
#include "HelpAccess.h"
#include "MessageBoxSeam.h"
#include "MsvcrtFormat.h"
#include "resource.h"

namespace {

const UINT kProgressInterval = 100;
const char kPopupFile[] = "CombineSplitZIP.txt";

// The joining thread of the open dialog; joined once it has cleared `running`.
HANDLE joinThread = nullptr;

bool JoinRunning()
{
    return __atomic_load_n(&combineJob.running, __ATOMIC_ACQUIRE) == 1;
}

void ShowControl(HWND dialog, int id, bool shown)
{
    ShowWindow(GetDlgItem(dialog, id), shown ? SW_SHOW : SW_HIDE);
}

void OnCombineInit(HWND dialog)
{
    CenterDialog(dialog);
    memset((void *)&combineJob, 0, sizeof combineJob);
    ShowControl(dialog, IDC_COMBINE_STATUS, false);
    ShowControl(dialog, IDC_COMBINE_PROGRESS, false);
}

void OnCombineBrowse(HWND dialog)
{
    char path[260];
    if (BrowseFirstZipPart(dialog, path))
        SetDlgItemTextA(dialog, IDC_COMBINE_FIRST_PART, path);
}

void OnCombineStart(HWND dialog)
{
    if (JoinRunning())
        return;
    GetDlgItemTextA(dialog, IDC_COMBINE_FIRST_PART, combineJob.firstPart, sizeof combineJob.firstPart);
    if (strlen(combineJob.firstPart) <= 4) {
        ShowMessageBox(dialog,
                       "Please pick the first part of the ZIP file to recombine by pressing the \"Browse...\" button",
                       kProductName, MB_OK);
        return;
    }
    __atomic_store_n(&combineJob.running, 1, __ATOMIC_RELEASE);
    __atomic_store_n(&combineJob.cancel, 0, __ATOMIC_RELEASE);
    __atomic_store_n(&combineJob.percent, 0, __ATOMIC_RELEASE);
    __atomic_store_n(&combineJob.result, CombineCancelled, __ATOMIC_RELEASE);
    joinThread = (HANDLE)_beginthreadex(nullptr, 0, CombineSplitZipThread, (void *)&combineJob, 0, nullptr);
    if (joinThread == nullptr) {
        ShowMessageBox(dialog, "Could not start recombination thread", kProductName, MB_ICONWARNING);
        __atomic_store_n(&combineJob.running, 0, __ATOMIC_RELEASE);
        return;
    }
    EnableWindow(GetDlgItem(dialog, IDC_COMBINE_START), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_COMBINE_BROWSE), FALSE);
    SetDlgItemTextA(dialog, IDC_COMBINE_STATUS, "Initializing");
    ShowControl(dialog, IDC_COMBINE_STATUS, true);
    SendDlgItemMessageA(dialog, IDC_COMBINE_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendDlgItemMessageA(dialog, IDC_COMBINE_PROGRESS, PBM_SETPOS, (WPARAM)combineJob.percent, 0);
    ShowControl(dialog, IDC_COMBINE_PROGRESS, true);
    SetTimer(dialog, IDT_COMBINE_PROGRESS, kProgressInterval, nullptr);
}

// Cancel only asks a running join to stop; the timer ends the dialog once it has.
void OnCombineCancel(HWND dialog)
{
    if (!JoinRunning()) {
        EndDialog(dialog, 0);
        return;
    }
    __atomic_store_n(&combineJob.cancel, 1, __ATOMIC_RELEASE);
    SetDlgItemTextA(dialog, IDC_COMBINE_CANCEL, "Stopping...");
    EnableWindow(GetDlgItem(dialog, IDC_COMBINE_CANCEL), FALSE);
}

void ShowProgress(HWND dialog)
{
    int percent = __atomic_load_n(&combineJob.percent, __ATOMIC_ACQUIRE);
    char text[32];
    FormatText(text, sizeof text, "%d%% Complete", percent);
    char shown[32] = "";
    GetDlgItemTextA(dialog, IDC_COMBINE_STATUS, shown, sizeof shown);
    if (strcmp(text, shown) != 0)
        SetDlgItemTextA(dialog, IDC_COMBINE_STATUS, text);
    SendDlgItemMessageA(dialog, IDC_COMBINE_PROGRESS, PBM_SETPOS, (WPARAM)percent, 0);
}

void OnCombineTimer(HWND dialog)
{
    if (JoinRunning()) {
        ShowProgress(dialog);
        return;
    }
    KillTimer(dialog, IDT_COMBINE_PROGRESS);
    if (joinThread != nullptr) {
        WaitForSingleObject(joinThread, INFINITE);
        CloseHandle(joinThread);
        joinThread = nullptr;
    }
    ShowControl(dialog, IDC_COMBINE_STATUS, false);
    ShowControl(dialog, IDC_COMBINE_PROGRESS, false);
    char message[kCombineMessageSize];
    FormatCombineResultMessage(&combineJob, message, sizeof message);
    ShowMessageBox(dialog, message, kProductName, MB_OK);
    EndDialog(dialog, 1);
}

void OnCombineHelpRequest(HWND dialog, const HELPINFO *info)
{
    if (info->iContextType == HELPINFO_WINDOW &&
        (info->iCtrlId == IDC_COMBINE_FIRST_PART || info->iCtrlId == IDC_COMBINE_BROWSE))
        ShowControlHelpPopup(dialog, info->iCtrlId, kPopupFile);
    else
        ShowHelpTopic(GetParent(dialog), IDS_HELPKEY_COMBINE_ZIP);
}

int OnCombineCommand(HWND dialog, int id)
{
    switch (id) {
    case IDC_COMBINE_BROWSE:
        OnCombineBrowse(dialog);
        return 1;
    case IDC_COMBINE_START:
        OnCombineStart(dialog);
        return 1;
    case IDC_COMBINE_CANCEL:
        OnCombineCancel(dialog);
        return 1;
    case IDC_COMBINE_HELP:
        ShowHelpTopic(GetParent(dialog), IDS_HELPKEY_COMBINE_ZIP);
        return 1;
    }
    return 0;
}

}  // namespace

INT_PTR CALLBACK CombineSplitZipDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnCombineInit(dialog);
        return TRUE;
    case WM_COMMAND:
        return OnCombineCommand(dialog, LOWORD(wParam));
    case WM_TIMER:
        if (wParam != IDT_COMBINE_PROGRESS)
            return FALSE;
        OnCombineTimer(dialog);
        return TRUE;
    case WM_CLOSE:
        OnCombineCancel(dialog);
        return TRUE;
    case WM_HELP:
        OnCombineHelpRequest(dialog, reinterpret_cast<const HELPINFO *>(lParam));
        return TRUE;
    }
    return FALSE;
}

int BrowseFirstZipPart(HWND owner, char *path)
{
    return ChooseFileInFolder(owner, path, "First ZIP part\0*.001\0All (*.*)\0*.*\0",
                              "Browse for First ZIP Part to Recombine", gSettings.combineFolder);
}

void ShowCombineSplitZip(HWND owner)
{
    OpenModalDialog(IDD_COMBINE_SPLIT_ZIP, owner, CombineSplitZipDialogProc, 0);
}
