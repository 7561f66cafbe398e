#include "JobOptionsLog.h"

#include "Calendar.h"
#include "GlobalSettings.h"
#include "MsvcrtFormat.h"
#include "ResourceText.h"
#include "TextHelpers.h"
#include "WindowsVersion.h"
#include "resource.h"

static const char *Flag(uint32_t flags, uint32_t bit)
{
    return (flags & bit) ? "1" : "0";
}

// A word of the string table, or the built-in one when the program carries no such string.
static void LoadWord(UINT id, const char *fallback, char *out, int outSize)
{
    if (LoadResourceText(id, out, outSize) == 0)
        FormatText(out, (size_t)outSize, "%s", fallback);
}

static void LogGlobalOptions(FILE *log)
{
    WriteText(log, "Global Options:\n");
    WriteText(log, "\tShow Log After Scheduled Job with Warnings or Errors: %d\n", gSettings.autoShowLog);
    WriteText(log, "\tManage CD/DVD Burning: %d\n", gSettings.weBurn);
    WriteText(log, "\tWarn When Adding Unnecessary Excluded Items: %d\n", gSettings.warnBadExclusions);
    WriteText(log, "\tConfirm Before Exiting When Using Internal Scheduler: %d\n", gSettings.askExit);
    WriteText(log, "\tNever Allow Non-Encrypted Remote Backup: %d\n", gSettings.remoteRequiresEncryption);
    WriteText(log, "\tBackup Locked/Open Files: %d\n", gSettings.backupLocked);
    WriteText(log, "\tRemove Excluded Files/Folders from Uncompressed Backup: %d\n", gSettings.removeExcluded);
    WriteText(log, "\tVerbose Logging: %d\n", gSettings.logVerbose);
    WriteText(log, "\tVerbose ZIP File Logging: %d\n", gSettings.logCompression);
    WriteText(log, "\tFTP Retry Count: %d\n", gSettings.ftpRetry);
    WriteText(log, "\tSMTP Retry Count: %d\n", gSettings.smtpRetry);
    WriteText(log, "\tSMTP Send Timeout: %d\n", gSettings.emailSendTimeout);
    WriteText(log, "\tSMTP Receive Timeout: %d\n", gSettings.emailRecvTimeout);
    WriteText(log, "\n");
}

static void LogFilterOptions(FILE *log, const BackupConfig *config)
{
    WriteText(log, "\t%s Files With Extensions: ",
              (config->filterFlags & IncludeListedExtensions) ? "Including" : "Excluding");
    for (int i = 0; i < config->extensionCount; ++i) {
        char extension[sizeof(ExtensionEntry) + 1];
        FormatText(extension, sizeof(extension), "%.8s", config->extensions[i]);
        WriteText(log, ".%s ", extension);
    }
    WriteText(log, "\n");
    WriteText(log, "\tSkipping Hidden Files/Folders: %s\n", Flag((uint32_t)config->filterFlags, SkipHidden));
    WriteText(log, "\tSkipping System Files/Folders: %s\n", Flag((uint32_t)config->filterFlags, SkipSystem));
    if (config->excludedCount > 0) {
        WriteText(log, "\tExcluding Files/Folders:\n");
        for (int i = 0; i < config->excludedCount; ++i)
            WriteText(log, "\t\t%s\n", config->excludedItems[i]);
    } else {
        WriteText(log, "\tNo Excluded Files/Folders\n");
    }
}

static void LogEmailOptions(FILE *log, const BackupConfig *config)
{
    WriteText(log, "\t\tRemote E-Mail Backup: %s\n", Flag(config->flags, RemoteEmail));
    if (!(config->flags & RemoteEmail))
        return;
    WriteText(log, "\t\t\tEmail To: %s\n", config->emailTo);
    if (config->emailFlags & UseSimpleMapi) {
        WriteText(log, "\t\t\tUsing MAPI\n");
        WriteText(log, "\t\t\tUsing Netscape or AOL: %s\n", Flag(config->emailFlags, MapiPlainAddress));
        return;
    }
    WriteText(log, "\t\t\tUsing SMTP\n");
    WriteText(log, "\t\t\tMail Server: %s\n", config->mailServer);
    WriteText(log, "\t\t\tFrom E-Mail Address: %s\n", config->emailFrom);
    WriteText(log, "\t\t\tUsing Authentication: %s\n", Flag(config->emailFlags, UseAuthentication));
    if (config->emailFlags & UseAuthentication)
        WriteText(log, "\t\t\t\tUsername: %s\n", config->smtpUsername);
    if (config->emailFlags & DefaultPort)
        WriteText(log, "\t\t\tDefault Port\n");
    else
        WriteText(log, "\t\t\tPort: %d\n", config->smtpPort);
    const char *secure = (config->emailFlags & SecureSsl) ? "SSL" : (config->emailFlags & SecureTls) ? "TLS" : "no";
    WriteText(log, "\t\t\tSecure Connection: %s\n", secure);
}

static void LogFtpOptions(FILE *log, const BackupConfig *config)
{
    WriteText(log, "\t\tRemote FTP Backup: %s\n", Flag(config->flags, RemoteFtp));
    if (!(config->flags & RemoteFtp))
        return;
    // These texts go to a server as they stand; a line break in one must not split the log.
    char text[sizeof(config->ftpDirectory) * 6];
    FormatOneLine(text, sizeof(text), config->ftpServer);
    WriteText(log, "\t\t\tFTP Server: %s\n", text);
    FormatOneLine(text, sizeof(text), config->ftpUsername);
    WriteText(log, "\t\t\tUsername: %s\n", text);
    FormatOneLine(text, sizeof(text), config->ftpDirectory);
    WriteText(log, "\t\t\tDirectory: %s\n", text);
    const char *protocol = "Plain FTP (insecure)\n";
    if (config->flags & Sftp)
        protocol = "SFTP - SSH File Transfer protocol\n";
    else if (config->flags & FtpsExplicit)
        protocol = "FTPS - Explicit FTP over TLS\n";
    else if (config->flags & FtpsImplicit)
        protocol = "FTPS - Implicit FTP over TLS\n";
    WriteText(log, "\t\t\tProtocol / Encryption: %s", protocol);
    if (config->ftpPort == 0)
        WriteText(log, "\t\t\tPort: Default\n");
    else
        WriteText(log, "\t\t\tPort: %d\n", config->ftpPort);
}

static void LogDateFilterOptions(FILE *log, const BackupConfig *config)
{
    WriteText(log, "\t\tCompressed ZIP Date Filter Settings:\n");
    if (config->dateFilterFlags & AlwaysAll) {
        WriteText(log, "\t\t\tAlways Include All Source Files\n");
        return;
    }
    WriteText(log, "\t\t\tOnly Include Files Modified Since Last Successful Backup\n");
    if (!(config->dateFilterFlags & EveryNAll))
        return;
    WriteText(log, "\t\t\t\tEvery %d Backups Include All Source Files\n", config->fullBackupEvery);
    if (config->dateFilterCount <= 0) {
        WriteText(log, "\t\t\t\t\tCurrently at %d\n", config->dateFilterCount);
        return;
    }
    SYSTEMTIME local;
    char when[128];
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &config->lastCompressedRunTime, &local))
        local = config->lastCompressedRunTime;
    FormatSystemTime(when, sizeof(when), &local);
    WriteText(log, "\t\t\t\t\tCurrently at %d, last at %s\n", config->dateFilterCount, when);
}

static void LogCompressedOptions(FILE *log, const BackupConfig *config)
{
    WriteText(log, "\tCompressed ZIP File: %s\n", Flag(config->flags, Compressed));
    if (!(config->flags & Compressed))
        return;
    WriteText(log, "\t\tFilename: %s\n", config->compressedFileName);
    WriteText(log, "\t\tEncrypted: %s\n", Flag(config->flags, Encrypted));
    LogEmailOptions(log, config);
    LogFtpOptions(log, config);
    WriteText(log, "\t\tSplit Compressed ZIP: %s\n", Flag(config->flags, SplitZip));
    if (config->flags & SplitZip) {
        static const char *const units[] = {"Bytes", "KB", "MB", "GB"};
        int unit = config->splitUnit >= 0 && config->splitUnit <= 3 ? config->splitUnit : 0;
        char word[64];
        LoadWord(IDS_SPLIT_UNIT_BASE + (UINT)config->splitUnit, units[unit], word, sizeof(word));
        WriteText(log, "\t\t\tSplit Size: %d %s\n", config->splitSize, word);
    }
    LogDateFilterOptions(log, config);
}

static void LogJobSettings(FILE *log, const BackupConfig *config)
{
    WriteText(log, "Job Options:\n");
    WriteText(log, "\tJob Manually Started: %d\n", config->manuallyStarted);
    WriteText(log, "\tDescription: %s\n", config->description);
    LogFilterOptions(log, config);
    WriteText(log, "\tDestination: %s\n", config->destination);
    WriteText(log, "\tUncompressed Files/Folders: %s\n", Flag(config->flags, Uncompressed));
    if (config->flags & Uncompressed) {
        WriteText(log, "\t\tSave Revisions of Modified Files: %s\n", Flag(config->flags, SaveRevisions));
        if (config->flags & SaveRevisions)
            WriteText(log, "\t\tNumber of Revisions to Save: %d\n", config->revisionCount);
        WriteText(log, "\t\tSave Deleted Files: %s\n", Flag(config->flags, SaveDeleted));
    }
    LogCompressedOptions(log, config);
    static const char *const priorities[] = {"Very Low", "Low", "Normal", "High"};
    int priority = config->priority >= 0 && config->priority <= 3 ? config->priority : 2;
    char word[64];
    LoadWord(IDS_PRIORITY_BASE + (UINT)config->priority, priorities[priority], word, sizeof(word));
    WriteText(log, "\tPriority: %s\n", word);
    WriteText(log, "\tRun Program Before Backup Starts: %s\n", Flag(config->flags, RunProgramBefore));
    if (config->flags & RunProgramBefore)
        WriteText(log, "\t\tProgram: %s\n", config->programBefore);
    WriteText(log, "\tRun Program After Backup Ends: %s\n", Flag(config->flags, RunProgramAfter));
    if (config->flags & RunProgramAfter)
        WriteText(log, "\t\tProgram: %s\n", config->programAfter);
}

void LogJobOptions(FILE *log, const BackupConfig *config)
{
    if (!gSettings.logVerbose)
        return;
    char version[260];
    if (GetWindowsVersionName(version))
        WriteText(log, "%s\n", version);
    else
        WriteText(log, "Unknown operating system version\n");
    LogGlobalOptions(log);
    LogJobSettings(log, config);
}
