// The mask that keeps logins out of the SMTP library's log and of the secure uploads' trace.
#include <gtest/gtest.h>

#include "CredentialMask.h"

namespace {

TEST(CredentialMask, LoginLinesLoseTheirSecretsAndNothingElse)
{
    const struct {
        bool fromServer;
        const char *line, *logged;
    } dialogue[] = {
        {false, "AUTH TLS\r\n", "AUTH TLS\r\n"},  // FTP's upgrade to TLS names no secret
        {false, "USER anonymous\r\n", "USER anonymous\r\n"},
        {false, "pass s3cret pass\r\n", "pass (credentials not logged)\r\n"},
        {false, "ACCT billing-7", "ACCT (credentials not logged)"},
        {false, "PASV\r\n", "PASV\r\n"},
        {false, "AUTH PLAIN AHRlc3QAc2VjcmV0", "AUTH PLAIN (credentials not logged)"},
        {true, "334 VXNlcm5hbWU6", "334 VXNlcm5hbWU6"},
        {false, "dGVzdA==\r\n", "(credentials not logged)\r\n"},  // answers to the server's prompts
        {true, "235 Authentication successful", "235 Authentication successful"},
        {false, "MAIL FROM:<a@example.com>", "MAIL FROM:<a@example.com>"},  // the prompts ended
        {false, "Authorization: Basic dXNlcjpwdw==", "Authorization: (credentials not logged)"},
    };
    CredentialMask mask;
    for (const auto &d : dialogue)
        EXPECT_EQ(d.logged, mask.Mask(d.fromServer, d.line)) << d.line;
}

}  // namespace
