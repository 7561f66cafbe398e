// What the SMTP library takes from a request before it connects: a large body is read where the
// caller keeps it, never copied; and a line break in a field ends the send before any
// connection, in the library as in the test e-mail of the settings pages.
#include <winsock2.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <new>
#include <string>
#include <vector>

#include "BackupConfig.h"
#include "LoopbackListener.h"
#include "MessageBoxRecorder.h"
#include "SendMailRequest.h"
#include "SmtpSession.h"
#include "TestMails.h"

// While set, a C++ allocation larger than this fails, as it may in the 32-bit program's address
// space after the body itself took hundreds of megabytes.
static size_t allocationCap = 0;

void *operator new(size_t size)
{
    void *block = allocationCap != 0 && size > allocationCap ? nullptr : malloc(size != 0 ? size : 1);
    if (block == nullptr)
        throw std::bad_alloc();
    return block;
}

namespace {

SendMailRequest MakeRequest(int port, const char *body, int32_t bodyLength)
{
    SendMailRequest request = {};
    strcpy(request.programName, "Velloran");
    strcpy(request.server, "127.0.0.1");
    request.port = port;
    strcpy(request.from, "velloran@example.test");
    strcpy(request.to, "backup@example.test");
    strcpy(request.subject, "Backup.zip");
    request.body = body;
    request.bodyLength = bodyLength;
    return request;
}

TEST(SmtpRequest, ALargeBodyNeedsNoBlockOfItsSize)
{
    std::string line = std::string(76, 'A') + "\r\n";
    std::string body;
    body.reserve(40u << 20);
    while (body.size() + line.size() < (40u << 20))
        body += line;
    // No server listens there: the send gets as far as connecting.
    SendMailRequest request = MakeRequest(ClosedLoopbackPort(), body.c_str(), (int32_t)body.size() + 1);
    allocationCap = 1u << 20;
    int32_t code = -1;
    EXPECT_NO_THROW(code = SendRequestedMail(&request));
    allocationCap = 0;
    EXPECT_EQ(code, SendMailCannotConnect) << request.errorText;
}

TEST(SmtpRequest, ALineBreakInAFieldEndsTheSendBeforeConnecting)
{
    struct Case {
        const char *field, *to, *from, *user, *shown;
    } cases[] = {
        {"To address", "a@x.test>\r\nRCPT TO:<evil@x.test", "v@x.test", "", "a@x.test><CR><LF>RCPT TO:<evil@x.test"},
        {"To address", "a@x.test, b@x.test\nRCPT TO:<evil@x.test>", "v@x.test", "", "a@x.test, b@x.test<LF>RCPT TO:<evil@x.test>"},
        {"From address", "a@x.test", "v@x.test>\rRSET", "", "v@x.test><CR>RSET"},
        {"user name", "a@x.test", "v@x.test", "me\r\nRSET", "me<CR><LF>RSET"},
    };
    unsigned short port = 0;
    SOCKET server = ListenOnLoopback(&port);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.shown);
        MessageBoxRecorder recorder;
        SendSmtpTestMail(nullptr, c.to, UseAuthentication, "127.0.0.1", port, c.user, "pw", c.from);
        ASSERT_EQ(recorder.boxes.size(), 1u);
        EXPECT_EQ(recorder.boxes[0].text, std::string("E-mail ") + c.field +
                                              " holds a line break or NUL, which cannot go into an SMTP command; "
                                              "nothing was sent: " + c.shown);
    }
    // The library refuses such fields itself, and one without its terminator, which would run on
    // into the next field.
    char body[] = "text";
    SendMailRequest request = MakeRequest(port, body, sizeof(body));
    memset(request.from, 'v', sizeof(request.from));
    EXPECT_EQ(SendRequestedMail(&request), SendMailBadRequest);
    EXPECT_STREQ(request.errorText, "The From address holds a line break or NUL, which cannot go into an SMTP command.");
    u_long nonBlocking = 1;
    ioctlsocket(server, FIONBIO, &nonBlocking);
    EXPECT_EQ(accept(server, nullptr, nullptr), INVALID_SOCKET) << "a connection came";
    closesocket(server);
    WSACleanup();
}

} // namespace
