// The folder, server and restart-reply rules of the FTP uploads, and the steps of a run that
// end before any connection.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "BackupConfig.h"
#include "ConfigRuntime.h"
#include "FtpPaths.h"
#include "FtpUpload.h"
#include "GlobalSettings.h"
#include "JobContext.h"
#include "ScratchFolder.h"

namespace {

struct FolderCase {
    const char *input;
    const char *plain;
    const char *secure;
};

TEST(FtpPaths, FoldersGetTheirSeparator)
{
    const FolderCase cases[] = {
        {"", "", ""},
        {"backup", "backup/", "backup/"},
        {"backup/", "backup/", "backup/"},
        {"a\\b", "a\\b\\", "a\\b/"},
        {"a\\b\\", "a\\b\\", "a\\b\\/"},
        {"/", "/", ""},
        {"/data", "/data/", "data/"},
        {"//data/", "//data/", "/data/"},
        {"data\\sub", "data\\sub\\", "data\\sub/"},
    };
    for (const FolderCase &c : cases) {
        char plain[260], secure[260];
        ASSERT_EQ(1, NormalizeFtpFolder(c.input, plain)) << c.input;
        EXPECT_STREQ(c.plain, plain) << c.input;
        ASSERT_EQ(1, NormalizeSecureFtpFolder(c.input, secure)) << c.input;
        EXPECT_STREQ(c.secure, secure) << c.input;
    }
}

TEST(FtpPaths, FolderLengthLimitIs258)
{
    std::string fits(258, 'x');
    std::string tooLong(259, 'x');
    char out[260];
    EXPECT_EQ(1, NormalizeFtpFolder(fits.c_str(), out));
    EXPECT_EQ(259u, strlen(out));
    EXPECT_EQ(0, NormalizeFtpFolder(tooLong.c_str(), out));
    EXPECT_EQ(1, NormalizeSecureFtpFolder(fits.c_str(), out));
    EXPECT_EQ(0, NormalizeSecureFtpFolder(tooLong.c_str(), out));
}

TEST(FtpPaths, ServerLosesSchemeAndOneTrailingSlash)
{
    const struct {
        const char *input;
        int result;
        const char *server;
    } cases[] = {
        {"ftp://host/", 1, "host"},
        {"host", 1, "host"},
        {"sftp://host.example//", 1, "host.example/"},
        {"127.0.0.1:2121", 1, "127.0.0.1:2121"},
        {"/", 1, ""},
        {"ftp://", 0, ""},
        {"", 0, ""},
    };
    for (const auto &c : cases) {
        char out[128];
        EXPECT_EQ(c.result, NormalizeFtpServer(c.input, out)) << c.input;
        EXPECT_STREQ(c.server, out) << c.input;
    }
}

TEST(FtpPaths, RestartReplyNamesItsPosition)
{
    const struct {
        const char *reply;
        int result;
        int64_t position;
    } cases[] = {
        {"350 Restarting at 1000. Send STORE or RETRIEVE.\r\n", 1, 1000},
        {"350 Restart position accepted (5368709120).\r\n", 1, 5368709120LL},
        {"350 Restarting at 0.\r\n", 1, 0},
        {"350 Restarting at 2147483647.\r\n", 1, 2147483647LL},
        {"350 Restarting at -5.\r\n", 1, -5},
        {"350 Ready.\r\n", 0, 0},
        {"350 Marker - 12\r\n", 0, 0},
        {"501 Invalid REST parameter 1000\r\n", 0, 0},
    };
    for (const auto &c : cases) {
        int64_t position = -1;
        EXPECT_EQ(c.result, ParseRestartReply(c.reply, &position)) << c.reply;
        EXPECT_EQ(c.position, position) << c.reply;
    }
}

// A job context whose run made no archive, with a log file to read back.
class FtpRunStart : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetGlobalSettings();
        memset(&config, 0, sizeof(config));
        memset(&context, 0, sizeof(context));
        context.config = &config;
        logPath = folder.path + "job.txt";
        log = fopen(logPath.c_str(), "w+");
        ASSERT_NE(nullptr, log);
        strcpy(config.ftpServer, "127.0.0.1");
    }
    void TearDown() override
    {
        if (log != nullptr)
            fclose(log);
        ResetGlobalSettings();
    }
    std::string LogText()
    {
        fflush(log);
        std::string text;
        FILE *in = fopen(logPath.c_str(), "r");
        char line[1024];
        while (in != nullptr && fgets(line, sizeof line, in) != nullptr)
            text += line;
        if (in != nullptr)
            fclose(in);
        return text;
    }
    ScratchFolder folder;
    std::string logPath;
    FILE *log = nullptr;
    BackupConfig config;
    JobContext context;
};

TEST_F(FtpRunStart, UnencryptedArchiveStaysHomeUnlessAllowed)
{
    const char warning[] = "WARNING (25e): Compressed ZIP file is not encrypted.  Skipped FTP backup.  Either turn on "
                           "encryption, or adjust option under 'File / Options...' to allow non-encyrpted remote "
                           "backup.\n";
    for (uint32_t protocol : {0u, (uint32_t)Sftp, (uint32_t)FtpsExplicit}) {
        config.flags = RemoteFtp | protocol;
        EXPECT_EQ(0, UploadVolumesByFtp(log, &context)) << protocol;
    }
    EXPECT_EQ(std::string(warning) + warning + warning, LogText());
    gSettings.remoteRequiresEncryption = 0;
    EXPECT_EQ(1, UploadVolumesByFtp(log, &context));
    EXPECT_EQ(1, IsFtpCopyAllowed(log, &config));
}

TEST_F(FtpRunStart, NothingToSendIsSuccess)
{
    config.flags = RemoteFtp | Encrypted;
    EXPECT_EQ(1, UploadVolumesByFtp(log, &context));
    config.flags |= FtpsImplicit;
    EXPECT_EQ(1, UploadVolumesByFtp(log, &context));
    EXPECT_EQ("No ZIP files need uploading\nNo ZIP files need uploading\n", LogText());
}

TEST_F(FtpRunStart, CancelBeforeTheStartIsNoFailure)
{
    config.flags = RemoteFtp;
    SetCancelRequested(&config, 1);
    SetUploadHandle(&config, &config);
    EXPECT_EQ(1, UploadVolumesByFtp(log, &context));
    EXPECT_EQ(nullptr, GetUploadHandle(&config));
    config.flags |= Sftp;
    EXPECT_EQ(1, UploadVolumesByFtp(log, &context));
    EXPECT_EQ("", LogText());
}

TEST(FtpResponse, NullArgumentsAreRefused)
{
    EXPECT_EQ(0, ProbeFtpRestart(nullptr, stdout));
    EXPECT_EQ(0, LogFtpResponse("label", nullptr));
    EXPECT_EQ(0, ShowFtpResponse(nullptr));
}

} // namespace
