#include "RemoteBackupSheet.h"

#include <commctrl.h>
#include <prsht.h>
#include <string.h>

#include "ConfigTable.h"
#include "DialogHelpers.h"
#include "SheetFont.h"
#include "ShellState.h"
#include "resource.h"

namespace {

struct RemotePageEntry {
    int templateId;
    DLGPROC procedure;
};

const RemotePageEntry kRemotePages[] = {
    {IDD_REMOTE_EMAIL, EmailPageProc},
    {IDD_REMOTE_FTP, FtpPageProc},
};
const int kRemotePageCount = sizeof kRemotePages / sizeof kRemotePages[0];

template <size_t N>
bool TextDiffers(const char (&before)[N], const char (&after)[N])
{
    return strncmp(before, after, N) != 0;
}

HINSTANCE ResourceInstance()
{
    return programInstance != nullptr ? programInstance : GetModuleHandleA(nullptr);
}

void ShowRemoteSheet(HWND owner)
{
    PROPSHEETPAGEA pages[kRemotePageCount];
    memset(pages, 0, sizeof pages);
    for (int i = 0; i < kRemotePageCount; ++i) {
        pages[i].dwSize = sizeof pages[i];
        pages[i].dwFlags = PSP_HASHELP;
        pages[i].hInstance = ResourceInstance();
        pages[i].pszTemplate = MAKEINTRESOURCEA(GetDialogTemplateId(kRemotePages[i].templateId));
        pages[i].pfnDlgProc = kRemotePages[i].procedure;
    }
    PROPSHEETHEADERA sheet;
    memset(&sheet, 0, sizeof sheet);
    sheet.dwSize = sizeof sheet;
    sheet.dwFlags = PSH_PROPSHEETPAGE | PSH_HASHELP;
    // The editor's whole sheet is the owner, so it stays disabled while this one is open: its
    // OK could otherwise end the edit while these pages still write into the working copy.
    sheet.hwndParent = owner != nullptr ? GetAncestor(owner, GA_ROOT) : nullptr;
    sheet.hInstance = ResourceInstance();
    sheet.pszCaption = "Remote Backup Options";
    sheet.nPages = kRemotePageCount;
    sheet.nStartPage = 0;
    sheet.ppsp = pages;
    UsePageFontForSheet(&sheet, ResourceInstance(), GetDialogTemplateId(kRemotePages[0].templateId));
    PropertySheetA(&sheet);
}

}  // namespace

int RemoteOptionsDiffer(const BackupConfig &before, const BackupConfig &after)
{
    if (before.flags != after.flags || before.emailFlags != after.emailFlags || before.smtpPort != after.smtpPort ||
        before.ftpPort != after.ftpPort)
        return 1;
    return TextDiffers(before.ftpServer, after.ftpServer) || TextDiffers(before.ftpUsername, after.ftpUsername) ||
                   TextDiffers(before.ftpPassword, after.ftpPassword) ||
                   TextDiffers(before.ftpDirectory, after.ftpDirectory) || TextDiffers(before.emailTo, after.emailTo) ||
                   TextDiffers(before.mailServer, after.mailServer) || TextDiffers(before.emailFrom, after.emailFrom) ||
                   TextDiffers(before.smtpUsername, after.smtpUsername) ||
                   TextDiffers(before.smtpPassword, after.smtpPassword)
               ? 1
               : 0;
}

int EditRemoteBackupOptions(HWND owner)
{
    BackupConfig before = editedConfig;
    ShowRemoteSheet(owner);
    return RemoteOptionsDiffer(before, editedConfig);
}
