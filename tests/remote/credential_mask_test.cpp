// Protocol traces without their secrets: the mask the SMTP library and the secure uploads
// share, and libcurl's trace of the uploads written through it.
#include <gtest/gtest.h>

#include <stdio.h>

#include <string>

#include "CurlTrace.h"
#include "FileText.h"
#include "ScratchFolder.h"

namespace {

TEST(CredentialMask, LoginLinesLoseTheirSecretsAndNothingElse)
{
    const struct {
        bool fromServer;
        const char *line, *logged;
    } dialogue[] = {
        {true, "220 ftp.example.com ready\r\n", "220 ftp.example.com ready\r\n"},
        {false, "AUTH TLS\r\n", "AUTH TLS\r\n"},  // FTP's upgrade to TLS names no secret
        {false, "USER anonymous\r\n", "USER anonymous\r\n"},
        {false, "PASS s3cret pass\r\n", "PASS (credentials not logged)\r\n"},
        {false, "pass lower\r\n", "pass (credentials not logged)\r\n"},
        {false, "ACCT billing-7\r\n", "ACCT (credentials not logged)\r\n"},
        {false, "PASSIVE\r\n", "PASSIVE\r\n"},  // another word that only begins alike
        {false, "AUTH PLAIN AHRlc3QAc2VjcmV0", "AUTH PLAIN (credentials not logged)"},
        {false, "AUTH LOGIN", "AUTH LOGIN"},
        {true, "334 VXNlcm5hbWU6", "334 VXNlcm5hbWU6"},
        {false, "dGVzdA==", "(credentials not logged)"},  // the answers to the server's prompts
        {true, "334 UGFzc3dvcmQ6", "334 UGFzc3dvcmQ6"},
        {false, "c2VjcmV0\r\n", "(credentials not logged)\r\n"},
        {true, "235 Authentication successful", "235 Authentication successful"},
        {false, "MAIL FROM:<a@example.com>", "MAIL FROM:<a@example.com>"},  // the prompts ended
        {false, "Authorization: Basic dXNlcjpwdw==\r\n", "Authorization: (credentials not logged)\r\n"},
        {false, "Proxy-Authorization: Basic eA==", "Proxy-Authorization: (credentials not logged)"},
    };
    CredentialMask mask;
    for (const auto &d : dialogue)
        EXPECT_EQ(d.logged, mask.Mask(d.fromServer, d.line)) << d.line;
}

TEST(CurlTrace, WritesLibcurlsTraceWithTheLoginMaskedAndNoticesAnSshLogin)
{
    ScratchFolder folder;
    std::string path = folder.path + "trace.txt";
    CurlTrace trace;
    trace.log = fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, trace.log);
    const struct {
        curl_infotype type;
        std::string data;
    } calls[] = {
        {CURLINFO_TEXT, "Connected to 127.0.0.1\n"},
        {CURLINFO_HEADER_IN, "220 ready\r\n"},
        {CURLINFO_HEADER_OUT, "PASS hunter2\r\n"},
        {CURLINFO_HEADER_OUT, "PUT / HTTP/1.1\r\nAuthorization: Basic eDp5\r\n\r\n"},
        {CURLINFO_DATA_OUT, "PASS in the file's own bytes"},
        {CURLINFO_SSL_DATA_OUT, "\x17\x03\x03"},
        {CURLINFO_TEXT, "Authentication complete\n"},
    };
    for (const auto &c : calls) {
        std::string data = c.data;
        EXPECT_EQ(0, WriteCurlTrace(nullptr, c.type, &data[0], data.size(), &trace));
    }
    fclose(trace.log);
    EXPECT_EQ("* Connected to 127.0.0.1\n< 220 ready\r\n> PASS (credentials not logged)\r\n"
              "> PUT / HTTP/1.1\r\nAuthorization: (credentials not logged)\r\n\r\n* Authentication complete\n",
              ReadWholeFile(path));
    EXPECT_TRUE(trace.sshLoginAccepted);

    // Without verbose logging nothing is written, but the login is still noticed.
    CurlTrace watching;
    std::string remark = "Authentication failure\n";
    WriteCurlTrace(nullptr, CURLINFO_TEXT, &remark[0], remark.size(), &watching);
    EXPECT_FALSE(watching.sshLoginAccepted);
    remark = "Authentication complete\n";
    WriteCurlTrace(nullptr, CURLINFO_TEXT, &remark[0], remark.size(), &watching);
    EXPECT_TRUE(watching.sshLoginAccepted);
}

}  // namespace
