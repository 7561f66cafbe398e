// The MIME builder and its encoders, table-driven, and the SMTP library's undoing of the
// dot-stuffing, so a body goes out as it was built.
#include <gtest/gtest.h>
#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "MimeEncoders.h"
#include "MimeMessage.h"
#include "ScratchFolder.h"
#include "SendMailRequest.h"
#include "SmtpMessage.h"

namespace {

std::string Base64(const std::string &in)
{
    std::string out((in.size() / 51) * 70 + 71, '\0');
    int n = EncodeBase64(reinterpret_cast<const unsigned char *>(in.data()), &out[0], in.size());
    EXPECT_EQ((size_t)n, strlen(out.c_str()));
    out.resize(n);
    return out;
}

// The whole message as libcurl reads it from the SMTP library, in pieces of the given size.
std::string ReadAll(MessageReader &reader, size_t piece)
{
    std::string out;
    char buffer[64];
    for (size_t got; (got = reader.Read(buffer, piece)) > 0;)
        out.append(buffer, got);
    EXPECT_EQ(out.size(), reader.Size());
    return out;
}

std::string QuotedPrintable(const std::string &in)
{
    std::string buffer(kQuotedPrintableBufferSize, '\0');
    memcpy(&buffer[0], in.c_str(), in.size() + 1);
    EXPECT_EQ(EncodeQuotedPrintable(&buffer[0]), 1);
    return buffer.c_str();
}

TEST(Base64, GroupsPaddingAndLines)
{
    struct Case {
        std::string in, out;
    } cases[] = {
        {"", ""},
        {"f", "Zg==\r\n"},
        {"fo", "Zm8=\r\n"},
        {"foo", "Zm9v\r\n"},
        {"foob", "Zm9vYg==\r\n"},
        {std::string("\xff\xfe\x00", 3), "//4A\r\n"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Base64(c.in), c.out) << c.in;
    std::string line51(51, 'a');
    std::string encoded = Base64(line51);
    EXPECT_EQ(encoded.size(), 70u);
    EXPECT_EQ(encoded.substr(68), "\r\n");
    std::string encoded52 = Base64(line51 + "a");
    EXPECT_EQ(encoded52.substr(68), "\r\nYQ==\r\n");
}

TEST(QuotedPrintable, EscapesAndLineBreaks)
{
    struct Case {
        std::string in, out;
    } cases[] = {
        {"plain text\r\n", "plain text\r\n"},
        {"a=b \xe9\x7f", "a=3Db =E9=7F"},
        {"lone\rcr", "lone=0Dcr"},
        {"end space \r\nnext", "end space =\r\n\r\nnext"},
        {"end tab\t\r\nnext", "end tab\t=\r\n\r\nnext"},
        {"a\r\n.\r\nb", "a\r\n=2E\r\nb"},
        {std::string(73, 'x') + "\r\nz", std::string(73, 'x') + "\r\nz"},
        {std::string(74, 'x') + "\r\nz", std::string(74, 'x') + "=\r\n\r\nz"},
        {std::string(75, 'x'), std::string(74, 'x') + "=\r\nx"},
        {std::string(72, 'x') + "\xe9yyyy", std::string(72, 'x') + "=\r\n=E9=\r\nyyyy"},
        {std::string(73, 'x') + "\xe9yyyy", std::string(73, 'x') + "=\r\n=E9=\r\nyyyy"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(QuotedPrintable(c.in), c.out) << c.in;
}

TEST(DotStuffing, StuffedBodyIsUnstuffedToItsOriginal)
{
    const std::string original = ".first\r\nmid\r\n..two\r\n.\r\nend";
    size_t length = original.size();
    char *text = static_cast<char *>(malloc(length + 1));
    memcpy(text, original.c_str(), length + 1);
    text = DotStuff(text, &length);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "..first\r\nmid\r\n...two\r\n..\r\nend");
    // Pieces that end before, on and after a stuffed dot.
    for (size_t piece : {1, 2, 3, 64}) {
        MessageReader reader("", text, length);
        EXPECT_EQ(ReadAll(reader, piece), original) << piece;
    }
    free(text);
}

class MimeBuild : public ::testing::Test {
protected:
    ScratchFolder folder;
    std::string Write(const char *name, const std::string &data)
    {
        std::string path = folder.path + name;
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, data.data(), (DWORD)data.size(), &written, nullptr);
        CloseHandle(file);
        return path;
    }
};

TEST_F(MimeBuild, MessageHasBothPartsAndTheFileInBase64)
{
    std::string data;
    for (int i = 0; i < 70000; ++i)
        data += (char)(i * 7);
    std::string path = Write("vol.zip", data);
    char headers[256];
    char *body = nullptr;
    int32_t percent = -1, length = 0;
    uint8_t cancel = 0;
    ASSERT_EQ(BuildMimeMessage(headers, &body, "line one\nline two", path.c_str(), &cancel, &percent, &length), MimeOk);
    EXPECT_STREQ(headers, "Content-Type: multipart/mixed;\r\n\tboundary=\"unique-boundary=_-velloran1\"\r\n");
    std::string text(body);
    EXPECT_EQ((size_t)length, text.size() + 1);
    EXPECT_EQ(percent, 100);
    std::string expectedStart = "This is a multi-part message in MIME format.\r\n\r\n--unique-boundary=_-velloran1\r\n"
                                "Content-Type: text/plain;\r\n\tcharset=\"iso-8859-1\"\r\n"
                                "Content-Transfer-Encoding: quoted-printable\r\n\r\nline one\r\nline two\r\n"
                                "--unique-boundary=_-velloran1\r\nContent-Type: application/octet-stream; "
                                "name=\"vol.zip\"\r\nContent-Transfer-Encoding: base64\r\n"
                                "Content-Disposition: attachment; filename=\"vol.zip\"\r\n\r\n";
    EXPECT_EQ(text.substr(0, expectedStart.size()), expectedStart);
    EXPECT_EQ(text.substr(expectedStart.size()), Base64(data) + "\r\n--unique-boundary=_-velloran1--\r\n");
    free(body);
}

TEST_F(MimeBuild, EmptyFileFailuresAndCancel)
{
    char headers[256];
    char *body = reinterpret_cast<char *>(1);
    int32_t percent = -1, length = 0;
    uint8_t cancel = 0;
    std::string empty = Write("empty.bin", "");
    ASSERT_EQ(BuildMimeMessage(headers, &body, "t", empty.c_str(), &cancel, &percent, &length), MimeOk);
    EXPECT_EQ(percent, -1);
    EXPECT_NE(strstr(body, "filename=\"empty.bin\"\r\n\r\n\r\n--unique-boundary=_-velloran1--\r\n"), nullptr);
    free(body);
    EXPECT_EQ(BuildMimeMessage(headers, &body, "t", "no-backslash.zip", &cancel, &percent, &length), MimeNoBackslash);
    EXPECT_EQ(body, nullptr);
    std::string missing = folder.path + "missing.zip";
    EXPECT_EQ(BuildMimeMessage(headers, &body, "t", missing.c_str(), &cancel, &percent, &length), MimeOpenFailed);
    cancel = 1;
    EXPECT_EQ(BuildMimeMessage(headers, &body, "t", empty.c_str(), &cancel, &percent, &length), MimeOk);
    free(body);
    std::string one = Write("one.bin", "x");
    EXPECT_EQ(BuildMimeMessage(headers, &body, "t", one.c_str(), &cancel, &percent, &length), MimeCancelled);
    EXPECT_EQ(body, nullptr);
}

TEST(SmtpMessage, AddressesUrlAndHeaders)
{
    auto list = SplitRecipients("a@x.test, Name <b@y.test>;; c@z.test ");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1], "b@y.test");
    EXPECT_EQ(BuildServerUrl(" mail.test ", -1, SmtpSecurityNone), "smtp://mail.test:25/");
    EXPECT_EQ(BuildServerUrl("mail.test", -1, SmtpSecuritySsl), "smtps://mail.test:465/");
    EXPECT_EQ(BuildServerUrl("mail.test", 2525, SmtpSecurityTls), "smtp://mail.test:2525/");
    SendMailRequest request = {};
    strcpy(request.from, "v@x.test");
    strcpy(request.to, "a@x.test");
    strcpy(request.subject, "Evil\r\nBcc: c@z.test");
    strcpy(request.extraHeaders, "X-A: 1\r\n");
    char body[256] = "..dot\r\n";
    request.body = body;
    request.bodyLength = 256;
    MessageReader reader(BuildMessageHeader(&request, "Thu, 01 Jan 2026 00:00:00 +0000"), request.body,
                         MeasureBody(&request));
    std::string text = ReadAll(reader, 64);
    EXPECT_NE(text.find("Subject: Evil  Bcc: c@z.test\r\n"), std::string::npos);
    EXPECT_EQ(text.find("\r\nBcc:"), std::string::npos);
    EXPECT_NE(text.find("X-A: 1\r\n\r\n.dot\r\n"), std::string::npos);
}

} // namespace
