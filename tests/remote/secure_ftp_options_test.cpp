// The URLs, the option set, the failure hints, the two transfer callbacks and the SSH host-key
// check of the SFTP and FTPS uploads.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "BackupConfig.h"
#include "ScratchFolder.h"
#include "SecureFtpUpload.h"
#include "TextHelpers.h"

namespace {

TEST(SecureFtpUrl, ProtocolFollowsTheFirstFlagSet)
{
    EXPECT_EQ(nullptr, ChooseSecureFtpProtocol(RemoteFtp | Encrypted));
    const struct {
        uint32_t flags;
        const char *scheme;
        const char *url;
    } cases[] = {
        {Sftp, "sftp", "sftp://host/dir/a.zip"},
        {Sftp | FtpsExplicit | FtpsImplicit, "sftp", "sftp://host/dir/a.zip"},
        {FtpsExplicit | FtpsImplicit, "ftpes", "ftp://host/dir/a.zip"},
        {FtpsImplicit, "ftpis", "ftps://host/dir/a.zip"},
    };
    for (const auto &c : cases) {
        const SecureFtpProtocol *protocol = ChooseSecureFtpProtocol(c.flags);
        ASSERT_NE(nullptr, protocol);
        EXPECT_STREQ(c.scheme, protocol->scheme);
        char url[1024];
        ASSERT_EQ(1, BuildSecureFtpUrl(protocol, "host", "dir/", "a.zip", url));
        EXPECT_STREQ(c.url, url);
    }
}

TEST(SecureFtpUrl, PathsArePercentEncoded)
{
    EXPECT_EQ("plain-name_1.2~/x/", EncodeUrlPath("plain-name_1.2~/x/"));
    EXPECT_EQ("My%20Backups/2024%2B%231/", EncodeUrlPath("My Backups/2024+#1/"));
    EXPECT_EQ("data%5Csub/", EncodeUrlPath("data\\sub/"));
    EXPECT_EQ("%E9t%E9%3F%25", EncodeUrlPath("\xE9t\xE9?%"));
    char url[1024];
    ASSERT_EQ(1, BuildSecureFtpUrl(ChooseSecureFtpProtocol(Sftp), "h", "", "Job A.zip.001", url));
    EXPECT_STREQ("sftp://h/Job%20A.zip.001", url);
    std::string longName(400, ' ');
    EXPECT_EQ(0, BuildSecureFtpUrl(ChooseSecureFtpProtocol(Sftp), "h", "", longName.c_str(), url));
}

TEST(SecureFtpFailure, HintNamesTheCheckThatRefusedTheServer)
{
    const char *authenticity = "\"Verify Certificate Authenticity\"";
    const char *hostName = "\"Verify Certificate Hostname\"";
    const char *hostKey = "SSH host key";
    const uint32_t both = VerifyCertificate | VerifyHostName;
    const struct {
        uint32_t flags;
        int code;
        int refused;  // the chain (FTPS) or the host key (SFTP)
        const char *hint;
    } cases[] = {
        {FtpsExplicit | both, 60, 1, authenticity},  // untrusted: the name is never looked at
        {FtpsImplicit | both, 60, 0, hostName},      // trusted, made out for another name
        {FtpsExplicit | VerifyHostName, 60, 1, hostName},  // the chain is not checked at all
        {FtpsExplicit | VerifyCertificate, 60, 1, authenticity},
        {FtpsExplicit | VerifyCertificate, 60, 0, authenticity},
        {FtpsExplicit, 60, 1, nullptr},
        {FtpsExplicit | both, 42, 1, nullptr},  // cancelled
        {FtpsExplicit | both, 51, 0, nullptr},  // a number libcurl no longer gives
        {Sftp | both, 60, 1, hostKey},
        {Sftp | both, 60, 0, nullptr},
        {Sftp, 67, 1, nullptr},
        {RemoteFtp | both, 60, 1, nullptr},
    };
    for (const auto &c : cases) {
        CertificateCheck certificate = {c.refused};
        HostKeyCheck key = {};
        key.refused = c.refused;
        const char *hint = SecureFtpFailureHint(c.flags, c.code, certificate, key);
        if (c.hint == nullptr) {
            EXPECT_STREQ("", hint) << std::hex << c.flags << " " << c.code;
        } else {
            EXPECT_NE(nullptr, strstr(hint, c.hint)) << std::hex << c.flags << " " << c.code << ": " << hint;
            EXPECT_EQ(0, strncmp(hint, "\n", 1));
            EXPECT_NE(nullptr, strstr(hint, ".\n\n"));
        }
    }
}

class SecureFtpOptions : public ::testing::Test {
protected:
    SecureFtpTransfer Transfer(uint32_t flags, int port)
    {
        SecureFtpTransfer t = {flags, "srv", "up/", "a b.zip", port, "user", "pa:ss", 1, log, 1234567890123LL,
                               &progress, file, error, &certificate, &hostKey, &trace};
        return t;
    }
    std::vector<CURLoption> Order(const std::vector<CurlOptionSetting> &options)
    {
        std::vector<CURLoption> order;
        for (const CurlOptionSetting &o : options)
            order.push_back(o.option);
        return order;
    }
    const CurlOptionSetting *Find(const std::vector<CurlOptionSetting> &options, CURLoption option)
    {
        for (const CurlOptionSetting &o : options)
            if (o.option == option)
                return &o;
        return nullptr;
    }
    FILE *log = stderr;
    HANDLE file = (HANDLE)(intptr_t)0x1234;
    char error[CURL_ERROR_SIZE] = "";
    UploadProgress progress = {nullptr, nullptr, nullptr, -1};
    CertificateCheck certificate = {0};
    HostKeyCheck hostKey = {"srv", 2222, "C:\\data\\known_hosts.txt", nullptr, nullptr, 0, "", "",
                            "C:\\data\\known_hosts_curl.txt"};
    CurlTrace trace;
};

TEST_F(SecureFtpOptions, SftpSetsEveryOptionInOrder)
{
    std::vector<CurlOptionSetting> options = BuildSecureFtpOptions(Transfer(Sftp | VerifyCertificate, 2222));
    std::vector<CURLoption> expected = {
        CURLOPT_STDERR, CURLOPT_VERBOSE, CURLOPT_UPLOAD, CURLOPT_INFILESIZE_LARGE, CURLOPT_NOPROGRESS,
        CURLOPT_XFERINFOFUNCTION, CURLOPT_XFERINFODATA, CURLOPT_READFUNCTION, CURLOPT_READDATA,
        CURLOPT_SSH_AUTH_TYPES, CURLOPT_USE_SSL, CURLOPT_URL, CURLOPT_PORT, CURLOPT_USERPWD, CURLOPT_ERRORBUFFER,
        CURLOPT_SSL_VERIFYPEER, CURLOPT_SSL_VERIFYHOST, CURLOPT_SSH_KNOWNHOSTS, CURLOPT_SSH_HOSTKEYFUNCTION,
        CURLOPT_SSH_HOSTKEYDATA, CURLOPT_DEBUGFUNCTION, CURLOPT_DEBUGDATA, CURLOPT_CONNECTTIMEOUT,
        CURLOPT_SERVER_RESPONSE_TIMEOUT, CURLOPT_LOW_SPEED_LIMIT, CURLOPT_LOW_SPEED_TIME};
    EXPECT_EQ(expected, Order(options));
    // libcurl reads a file of this server's keys alone: it stops at a line it cannot read.
    EXPECT_EQ("C:\\data\\known_hosts_curl.txt", Find(options, CURLOPT_SSH_KNOWNHOSTS)->text);
    EXPECT_EQ(reinterpret_cast<void *>(&WriteCurlTrace), Find(options, CURLOPT_DEBUGFUNCTION)->pointer);
    EXPECT_EQ(&trace, Find(options, CURLOPT_DEBUGDATA)->pointer);
    EXPECT_EQ(60, Find(options, CURLOPT_CONNECTTIMEOUT)->number);
    EXPECT_EQ(reinterpret_cast<void *>(&CheckSshHostKey), Find(options, CURLOPT_SSH_HOSTKEYFUNCTION)->pointer);
    EXPECT_EQ(&hostKey, Find(options, CURLOPT_SSH_HOSTKEYDATA)->pointer);
    EXPECT_EQ(nullptr, Find(options, CURLOPT_SSL_OPTIONS));
    EXPECT_EQ(log, Find(options, CURLOPT_STDERR)->pointer);
    EXPECT_EQ(1, Find(options, CURLOPT_VERBOSE)->number);
    EXPECT_EQ(1234567890123LL, Find(options, CURLOPT_INFILESIZE_LARGE)->large);
    EXPECT_EQ(0, Find(options, CURLOPT_NOPROGRESS)->number);
    EXPECT_EQ(reinterpret_cast<void *>(&ReportUploadProgress), Find(options, CURLOPT_XFERINFOFUNCTION)->pointer);
    EXPECT_EQ(&progress, Find(options, CURLOPT_XFERINFODATA)->pointer);
    EXPECT_EQ(reinterpret_cast<void *>(&ReadUploadData), Find(options, CURLOPT_READFUNCTION)->pointer);
    EXPECT_EQ(file, Find(options, CURLOPT_READDATA)->pointer);
    EXPECT_EQ((long)CURLSSH_AUTH_PASSWORD, Find(options, CURLOPT_SSH_AUTH_TYPES)->number);
    EXPECT_EQ((long)CURLUSESSL_ALL, Find(options, CURLOPT_USE_SSL)->number);
    EXPECT_EQ("sftp://srv/up/a%20b.zip", Find(options, CURLOPT_URL)->text);
    EXPECT_EQ(2222, Find(options, CURLOPT_PORT)->number);
    EXPECT_EQ("user:pa:ss", Find(options, CURLOPT_USERPWD)->text);
    EXPECT_EQ(error, Find(options, CURLOPT_ERRORBUFFER)->pointer);
    EXPECT_EQ(1, Find(options, CURLOPT_SSL_VERIFYPEER)->number);
    EXPECT_EQ(0, Find(options, CURLOPT_SSL_VERIFYHOST)->number);
}

TEST_F(SecureFtpOptions, FtpsHasNoSshAuthAndDefaultPortSetsNoPort)
{
    for (uint32_t flags : {(uint32_t)FtpsExplicit, (uint32_t)FtpsImplicit}) {
        std::vector<CurlOptionSetting> options = BuildSecureFtpOptions(Transfer(flags | VerifyHostName, 0));
        EXPECT_EQ(24u, options.size());
        EXPECT_EQ(1, Find(options, CURLOPT_VERBOSE)->number);
        EXPECT_EQ(nullptr, Find(options, CURLOPT_SSH_AUTH_TYPES));
        EXPECT_EQ(nullptr, Find(options, CURLOPT_SSH_HOSTKEYFUNCTION));
        // The machine's trusted roots and the watch on the chain come after the other 15.
        EXPECT_EQ(CURLOPT_SSL_OPTIONS, options[15].option);
        EXPECT_EQ((long)CURLSSLOPT_NATIVE_CA, options[15].number);
        EXPECT_EQ(CURLOPT_SSL_CTX_FUNCTION, options[16].option);
        EXPECT_EQ(reinterpret_cast<void *>(&WatchCertificateChain), options[16].pointer);
        EXPECT_EQ(CURLOPT_SSL_CTX_DATA, options[17].option);
        EXPECT_EQ(&certificate, options[17].pointer);
        EXPECT_EQ(nullptr, Find(options, CURLOPT_PORT));
        EXPECT_EQ(0, Find(options, CURLOPT_SSL_VERIFYPEER)->number);
        EXPECT_EQ(2, Find(options, CURLOPT_SSL_VERIFYHOST)->number);
    }
    EXPECT_TRUE(BuildSecureFtpOptions(Transfer(RemoteFtp, 0)).empty());
}

TEST_F(SecureFtpOptions, EasyHandleTakesTheSetAndTextsAreWiped)
{
    ASSERT_EQ(CURLE_OK, curl_global_init(CURL_GLOBAL_ALL));
    CURL *curl = curl_easy_init();
    ASSERT_NE(nullptr, curl);
    std::vector<CurlOptionSetting> options = BuildSecureFtpOptions(Transfer(Sftp | VerifyHostName, 2222));
    EXPECT_EQ(CURLE_OK, ApplyCurlOptions(curl, options));
    const std::string &secret = Find(options, CURLOPT_USERPWD)->text;
    EXPECT_EQ(std::string(secret.size(), '\0'), secret);
    char scrambled[] = "pa:ss";
    ScramblePassword(scrambled);
    EXPECT_EQ(CURLE_OK, ApplySecureFtpOptions(curl, Transfer(FtpsExplicit, 0), scrambled));
    curl_easy_cleanup(curl);
    curl_global_cleanup();
}

TEST(UploadProgressReport, LinesOnlyWhenThePercentChanges)
{
    ScratchFolder folder;
    std::string path = folder.path + "progress.txt";
    FILE *log = fopen(path.c_str(), "w+");
    ASSERT_NE(nullptr, log);
    uint8_t cancel = 0;
    int32_t percent = -7;
    UploadProgress progress = {log, &cancel, &percent, -1};
    EXPECT_EQ(0, ReportUploadProgress(&progress, 0, 0, 0, 0));
    EXPECT_EQ(0, percent);
    EXPECT_EQ(0, ReportUploadProgress(&progress, 0, 0, 0, 0));
    EXPECT_EQ(0, ReportUploadProgress(&progress, 0, 0, 3000000000LL, 1000000000LL));
    EXPECT_EQ(33, percent);
    EXPECT_EQ(0, ReportUploadProgress(&progress, 0, 0, 3000000000LL, 1000000001LL));
    cancel = 1;
    EXPECT_EQ(1, ReportUploadProgress(&progress, 0, 0, 3000000000LL, 3000000000LL));
    EXPECT_EQ(100, percent);
    fseek(log, 0, SEEK_SET);
    std::string text;
    char line[256];
    while (fgets(line, sizeof line, log) != nullptr)
        text += line;
    fclose(log);
    EXPECT_EQ("Uploaded 0 of 0 bytes. (0%)\n"
              "Uploaded 1000000000 of 3000000000 bytes. (33%)\n"
              "Uploaded 3000000000 of 3000000000 bytes. (100%)\n"
              "Cancel request received\n",
              text);
    UploadProgress silent = {nullptr, nullptr, nullptr, -1};
    EXPECT_EQ(0, ReportUploadProgress(&silent, 0, 0, 10, 5));
}

TEST(UploadReadCallback, ReadsTheFileAndAbortsOnAReadError)
{
    ScratchFolder folder;
    std::string path = folder.path + "data.bin";
    FILE *out = fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, out);
    fwrite("0123456789", 1, 10, out);
    fclose(out);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    char buffer[16] = "";
    EXPECT_EQ(6u, ReadUploadData(buffer, 3, 2, file));
    EXPECT_EQ(0, memcmp(buffer, "012345", 6));
    EXPECT_EQ(4u, ReadUploadData(buffer, 1, 16, file));
    EXPECT_EQ(0u, ReadUploadData(buffer, 1, 16, file));
    CloseHandle(file);
    HANDLE writeOnly = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writeOnly);
    EXPECT_EQ((size_t)CURL_READFUNC_ABORT, ReadUploadData(buffer, 1, 16, writeOnly));
    CloseHandle(writeOnly);
}

} // namespace
