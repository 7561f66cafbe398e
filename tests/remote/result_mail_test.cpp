// When the job-result e-mail is due, and the request block's fixed fields.
#include <gtest/gtest.h>
#include <string.h>

#include "BackupConfig.h"
#include "ConfigRuntime.h"
#include "GlobalSettings.h"
#include "JobResultMail.h"
#include "MailLibrary.h"
#include "MailRoads.h"
#include "SimpleMapi.h"

namespace {

TEST(ResultMailDue, WhenBitsAndResults)
{
    struct Case {
        int when, manual, result, due;
    } cases[] = {
        {0x01 | 0x08, 1, 2, 0}, {0x02, 1, 1, 1}, {0x02, 0, 1, 0}, {0x04, 0, 1, 1}, {0x04, 1, 1, 0},
        {0x06, 0, 2, 0},        {0x06, 1, 2, 0}, {0x18, 1, 1, 0}, {0x18, 1, 4, 0}, {0x18, 1, 5, 0},
        {0x18, 1, 6, 0},        {0x18, 1, 7, 0}, {0x18, 0, 2, 1}, {0x18, 0, 3, 1}, {0x18, 0, 0, 1},
    };
    BackupConfig config = {};
    int saved = gSettings.jrEmailWhen;
    for (const Case &c : cases) {
        gSettings.jrEmailWhen = c.when;
        SetManuallyStarted(&config, c.manual);
        config.lastResult = c.result;
        EXPECT_EQ(IsResultMailDue(&config), c.due) << c.when << " " << c.manual << " " << c.result;
    }
    gSettings.jrEmailWhen = saved;
}

TEST(SendMailRequestBlock, FilledFromSettings)
{
    SendMailRequest request;
    memset(&request, 0x55, sizeof(request));
    PrepareSendMailRequest(&request);
    char scrambled[] = {(char)('p' ^ 0xA7), (char)('w' ^ 0xA7), 0};
    uintptr_t socket = (uintptr_t)-1;
    int32_t percent = 0;
    SmtpSettings s = {UseAuthentication | DefaultPort | SecureSsl | SecureTls, "srv", 2525, "me", scrambled, true,
                      "f@x", "t@x", "tarnmail.txt", &socket, &percent};
    FillSendMailRequest(&request, s);
    EXPECT_STREQ(request.unused, "");
    EXPECT_STREQ(request.programName, "Velloran");
    EXPECT_EQ(request.port, -1);
    EXPECT_STREQ(request.password, "pw");
    EXPECT_EQ(request.security, SmtpSecurityTls);
    EXPECT_EQ(request.reserved1, 0);
    EXPECT_EQ(request.reserved2, 0);
    EXPECT_EQ(request.reserved3, 100);
    EXPECT_EQ(request.socketSlot, &socket);
    WipeSendMailRequest(&request);
    EXPECT_STREQ(request.password, "");
    PrepareSendMailRequest(&request);
    s.emailFlags = SecureSsl;
    FillSendMailRequest(&request, s);
    EXPECT_EQ(request.port, 2525);
    EXPECT_STREQ(request.user, "");
    EXPECT_STREQ(request.password, "");
    EXPECT_EQ(request.security, SmtpSecuritySsl);
    EXPECT_TRUE(IsFinalSendMailCode(17));
    EXPECT_FALSE(IsFinalSendMailCode(4));
}

TEST(SimpleMapiRecipients, SplitAtCommasSkippingBlanksAfterThem)
{
    MapiRecipients r = {};
    int failed = 0;
    ASSERT_EQ(BuildMapiRecipients(&r, " a@x ,  b@y", false, &failed), RecipientsResult::Built);
    ASSERT_EQ(r.count, 2);
    EXPECT_STREQ(r.list[0].lpszName, " a@x ");
    EXPECT_STREQ(r.list[0].lpszAddress, "SMTP: a@x ");
    EXPECT_STREQ(r.list[1].lpszName, "b@y");
    EXPECT_EQ(r.list[1].ulRecipClass, (ULONG)MAPI_TO);
    FreeMapiRecipients(&r);
    ASSERT_EQ(BuildMapiRecipients(&r, "c@z", true, &failed), RecipientsResult::Built);
    EXPECT_STREQ(r.list[0].lpszAddress, "c@z");
    FreeMapiRecipients(&r);
    EXPECT_STREQ(GetMapiErrorText(25), "One or more recipients were invalid or did not resolve to any address.");
    EXPECT_STREQ(GetMapiErrorText(99), "Unknown Error.");
}

TEST(SimpleMapiLoading, ModuleLackingAFunctionCountsAsNotLoaded)
{
    SimpleMapiTable table = {};
    table.module = LoadLibraryA("kernel32.dll");
    EXPECT_EQ(ResolveSimpleMapi(&table), 0);
    EXPECT_EQ(UnloadSimpleMapi(&table), 1);
    EXPECT_EQ(table.module, nullptr);
    EXPECT_EQ(UnloadSimpleMapi(&table), 0);
}

} // namespace
