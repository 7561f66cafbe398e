#include "RemoteBackupSheet.h"

#include <string.h>

#include "ConfigTable.h"
#include "PropertySheets.h"
#include "resource.h"

namespace {

const SheetPage kRemotePages[] = {
    {IDD_REMOTE_EMAIL, EmailPageProc},
    {IDD_REMOTE_FTP, FtpPageProc},
};

template <size_t N>
bool TextDiffers(const char (&before)[N], const char (&after)[N])
{
    return strncmp(before, after, N) != 0;
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
    // The editor's whole sheet is the owner, so it stays disabled while this one is open: its
    // OK could otherwise end the edit while these pages still write into the working copy.
    ShowPropertySheet(owner != nullptr ? GetAncestor(owner, GA_ROOT) : nullptr, "Remote Backup Options", kRemotePages,
                      sizeof kRemotePages / sizeof kRemotePages[0]);
    return RemoteOptionsDiffer(before, editedConfig);
}
