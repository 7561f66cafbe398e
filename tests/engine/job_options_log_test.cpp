// The options dump of the job log.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string>
#include <vector>

#include "GlobalSettings.h"
#include "JobOptionsLog.h"
#include "JobTestSupport.h"

namespace {

class OptionsLogTest : public ::testing::Test {
protected:
    std::vector<std::string> Dump(const BackupConfig *config)
    {
        std::wstring path = env.work.Wide() + L"options.txt";
        FILE *log = _wfopen(path.c_str(), L"wt");
        LogJobOptions(log, config);
        fclose(log);
        return SplitLines(ReadTextFile(path));
    }
    JobTestEnvironment env;
};

TEST_F(OptionsLogTest, NothingWithoutVerboseLogging)
{
    int index = env.AddConfig("Job", "E:\\", {"D:\\"}, Enabled | Uncompressed);
    gSettings.logVerbose = 0;
    EXPECT_TRUE(Dump(env.Config(index)).empty());
}

TEST_F(OptionsLogTest, GlobalAndJobOptionsInOrder)
{
    int index = env.AddConfig("Job", "E:\\[[YEAR]]\\", {"D:\\"}, Enabled | Uncompressed | SaveRevisions);
    BackupConfig *c = env.Config(index);
    c->revisionCount = 4;
    c->priority = 3;
    env.SetExtensions(index, {"doc", "xls"}, IncludeListedExtensions | SkipHidden);
    env.AddExcluded(index, "D:\\temp\\");
    gSettings.logVerbose = 1;
    gSettings.ftpRetry = 7;
    std::vector<std::string> lines = Dump(c);
    ASSERT_GE(lines.size(), 30u);
    std::vector<std::string> globals(lines.begin() + 1, lines.begin() + 16);
    std::vector<std::string> expectedGlobals = {
        "Global Options:",
        "\tShow Log After Scheduled Job with Warnings or Errors: " + std::to_string(gSettings.autoShowLog),
        "\tManage CD/DVD Burning: " + std::to_string(gSettings.weBurn),
        "\tWarn When Adding Unnecessary Excluded Items: " + std::to_string(gSettings.warnBadExclusions),
        "\tConfirm Before Exiting When Using Internal Scheduler: " + std::to_string(gSettings.askExit),
        "\tNever Allow Non-Encrypted Remote Backup: " + std::to_string(gSettings.remoteRequiresEncryption),
        "\tBackup Locked/Open Files: " + std::to_string(gSettings.backupLocked),
        "\tRemove Excluded Files/Folders from Uncompressed Backup: " + std::to_string(gSettings.removeExcluded),
        "\tVerbose Logging: 1",
        "\tVerbose ZIP File Logging: " + std::to_string(gSettings.logCompression),
        "\tFTP Retry Count: 7",
        "\tSMTP Retry Count: " + std::to_string(gSettings.smtpRetry),
        "\tSMTP Send Timeout: " + std::to_string(gSettings.emailSendTimeout),
        "\tSMTP Receive Timeout: " + std::to_string(gSettings.emailRecvTimeout),
        "",
    };
    EXPECT_EQ(globals, expectedGlobals);
    std::vector<std::string> job(lines.begin() + 16, lines.end());
    std::vector<std::string> expectedJob = {
        "Job Options:",
        "\tJob Manually Started: 0",
        "\tDescription: Job",
        "\tIncluding Files With Extensions: .doc .xls ",
        "\tSkipping Hidden Files/Folders: 1",
        "\tSkipping System Files/Folders: 0",
        "\tExcluding Files/Folders:",
        "\t\tD:\\temp\\",
        "\tDestination: E:\\[[YEAR]]\\",
        "\tUncompressed Files/Folders: 1",
        "\t\tSave Revisions of Modified Files: 1",
        "\t\tNumber of Revisions to Save: 4",
        "\t\tSave Deleted Files: 0",
        "\tCompressed ZIP File: 0",
        "\tPriority: High",
        "\tRun Program Before Backup Starts: 0",
        "\tRun Program After Backup Ends: 0",
    };
    EXPECT_EQ(job, expectedJob);
}

TEST_F(OptionsLogTest, CompressedRemoteOptionsFirstProtocolWinsAndNoPasswords)
{
    int index = env.AddConfig("Job", "E:\\", {"D:\\"}, Enabled | Compressed | RemoteFtp | RemoteEmail | Sftp |
                                                          FtpsExplicit | SplitZip);
    BackupConfig *c = env.Config(index);
    strcpy(c->compressedFileName, "job.zip");
    strcpy(c->ftpServer, "files.example");
    strcpy(c->ftpUsername, "me");
    strcpy(c->ftpPassword, "SECRETFTP");
    strcpy(c->smtpPassword, "SECRETSMTP");
    strcpy(c->zipPassword, "SECRETZIP");
    strcpy(c->emailTo, "to@example");
    strcpy(c->mailServer, "mail.example");
    c->emailFlags = UseAuthentication | SecureTls;
    strcpy(c->smtpUsername, "smtpuser");
    c->smtpPort = 587;
    c->ftpPort = 0;
    c->splitSize = 5;
    c->splitUnit = 2;
    c->dateFilterFlags = AlwaysAll | EveryNAll;
    c->dateFilterCount = 9;
    gSettings.logVerbose = 1;
    std::vector<std::string> lines = Dump(c);
    EXPECT_TRUE(HasLine(lines, "\t\tFilename: job.zip"));
    EXPECT_TRUE(HasLine(lines, "\t\t\tUsing SMTP"));
    EXPECT_TRUE(HasLine(lines, "\t\t\t\tUsername: smtpuser"));
    EXPECT_TRUE(HasLine(lines, "\t\t\tPort: 587"));
    EXPECT_TRUE(HasLine(lines, "\t\t\tSecure Connection: TLS"));
    EXPECT_TRUE(HasLine(lines, "\t\t\tProtocol / Encryption: SFTP - SSH File Transfer protocol"));
    EXPECT_TRUE(HasLine(lines, "\t\t\tPort: Default"));
    EXPECT_TRUE(HasLine(lines, "\t\t\tSplit Size: 5 MB"));
    EXPECT_TRUE(HasLine(lines, "\t\t\tAlways Include All Source Files"));
    EXPECT_EQ(CountLinesStartingWith(lines, "\t\t\t\tEvery "), 0);
    EXPECT_EQ(CountLinesStartingWith(lines, "\t\t\t\t\tCurrently at"), 0);
    for (const std::string &line : lines)
        EXPECT_EQ(line.find("SECRET"), std::string::npos) << line;
}

TEST_F(OptionsLogTest, DateFilterCounterLines)
{
    int index = env.AddConfig("Job", "E:\\", {"D:\\"}, Enabled | Compressed);
    BackupConfig *c = env.Config(index);
    c->dateFilterFlags = EveryNAll;
    c->fullBackupEvery = 30;
    c->dateFilterCount = 0;
    gSettings.logVerbose = 1;
    std::vector<std::string> lines = Dump(c);
    EXPECT_TRUE(HasLine(lines, "\t\t\tOnly Include Files Modified Since Last Successful Backup"));
    EXPECT_TRUE(HasLine(lines, "\t\t\t\tEvery 30 Backups Include All Source Files"));
    EXPECT_TRUE(HasLine(lines, "\t\t\t\t\tCurrently at 0"));
    c->dateFilterCount = 3;
    lines = Dump(c);
    EXPECT_EQ(CountLinesStartingWith(lines, "\t\t\t\t\tCurrently at 3, last at "), 1);
}

} // namespace
